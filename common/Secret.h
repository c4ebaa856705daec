// A password on its way from the settings file to the one call that needs it.
//
// Its characters live in heap storage that the secret owns, never inside the object itself: a short
// std::string keeps its text in the object, and a move then leaves a copy behind in the source. A
// secret cannot be copied, hands its storage on when moved (the source keeps nothing) and wipes the
// storage before it lets it go: when destroyed, when assigned over and when resized.
#pragma once

#include <algorithm>
#include <cstddef>
#include <memory>
#include <memory_resource>
#include <random>
#include <string_view>
#include <utility>

#include "Wipe.h"

namespace zandrel {

// Storage from the memory resource that was the default when the secret was made (the heap, unless a
// test counts the blocks), given back to that same resource. Unlike std::pmr::polymorphic_allocator
// it can be assigned, as a secret's move assignment needs.
template <typename Char>
class SecretAllocator {
  public:
    using value_type = Char;

    SecretAllocator() noexcept : resource_(std::pmr::get_default_resource()) {}
    template <typename Other>
    SecretAllocator(const SecretAllocator<Other>& other) noexcept : resource_(other.Resource()) {}

    Char* allocate(std::size_t count) {
        return static_cast<Char*>(resource_->allocate(count * sizeof(Char), alignof(Char)));
    }
    void deallocate(Char* block, std::size_t count) noexcept {
        resource_->deallocate(block, count * sizeof(Char), alignof(Char));
    }
    std::pmr::memory_resource* Resource() const noexcept { return resource_; }

  private:
    std::pmr::memory_resource* resource_;
};

template <typename Char, typename Allocator = SecretAllocator<Char>>
class BasicSecret {
  public:
    BasicSecret() noexcept = default;

    // `size` characters, all NUL.
    explicit BasicSecret(std::size_t size, const Allocator& allocator = Allocator()) : allocator_(allocator) {
        Allocate(size);
    }

    explicit BasicSecret(std::basic_string_view<Char> text, const Allocator& allocator = Allocator())
        : BasicSecret(text.size(), allocator) {
        CopyChars(text.data(), text.size(), data_);
    }

    BasicSecret(BasicSecret&& other) noexcept
        : allocator_(other.allocator_),
          data_(std::exchange(other.data_, nullptr)),
          size_(std::exchange(other.size_, 0)) {}

    BasicSecret& operator=(BasicSecret&& other) noexcept {
        if (this != &other) {
            Release();
            allocator_ = other.allocator_;
            data_ = std::exchange(other.data_, nullptr);
            size_ = std::exchange(other.size_, 0);
        }
        return *this;
    }

    BasicSecret(const BasicSecret&) = delete;
    BasicSecret& operator=(const BasicSecret&) = delete;

    ~BasicSecret() { Release(); }

    std::basic_string_view<Char> View() const noexcept { return {c_str(), size_}; }
    // NUL-terminated, for the calls that take a C string; the empty text when nothing is held.
    const Char* c_str() const noexcept {
        static constexpr Char kEmpty[1] = {};
        return data_ != nullptr ? data_ : kEmpty;
    }
    Char* data() noexcept { return data_; }
    std::size_t size() const noexcept { return size_; }
    bool empty() const noexcept { return size_ == 0; }

    // Keeps the first `size` characters (the new ones are NUL) in new storage; the old is wiped once
    // they have been copied out of it, as it is let go.
    void Resize(std::size_t size) {
        BasicSecret resized(size, allocator_);
        CopyChars(data_, std::min(size, size_), resized.data_);
        *this = std::move(resized);
    }

  private:
    // One character at a time, so that this copy leaves no sixteen-byte piece of the text in a
    // vector register for a later system call to save to memory. That covers the secret's own
    // copies only: the conversions and the calls the text is handed to move it as they please.
    static void CopyChars(const Char* from, std::size_t count, Char* to) noexcept {
        volatile Char* const at = to;
        for (std::size_t i = 0; i < count; ++i) {
            at[i] = from[i];
        }
    }

    void Allocate(std::size_t size) {
        // One more for the terminating NUL, zeroed with the rest.
        data_ = allocator_.allocate(size + 1);
        std::fill_n(data_, size + 1, Char{});
        size_ = size;
    }

    void Release() noexcept {
        if (data_ == nullptr) {
            return;
        }
        WipeBytes(data_, (size_ + 1) * sizeof(Char));
        allocator_.deallocate(data_, size_ + 1);
        data_ = nullptr;
        size_ = 0;
    }

    [[no_unique_address]] Allocator allocator_;
    Char* data_ = nullptr;
    std::size_t size_ = 0;
};

// The ANSI form, for the ANSI calls; the characters, for the calls that take wide text.
using Secret = BasicSecret<char>;
using WideSecret = BasicSecret<char16_t>;

// A secret that is needed for several calls, kept between them as its characters XOR a pad of random
// ones, so that the program's own memory holds its text only while a call that needs it runs (what
// the callee keeps of it is out of the program's reach). Not encryption: whoever reads both can undo
// it; it keeps the text itself out of a dump taken between the calls.
template <typename Char>
class MaskedSecret {
  public:
    MaskedSecret() = default;
    // Takes the secret's storage and masks the text where it stands.
    explicit MaskedSecret(BasicSecret<Char>&& secret) : masked_(std::move(secret)), pad_(masked_.size()) {
        std::random_device random;
        volatile Char* const text = masked_.data();
        volatile Char* const pad = pad_.data();
        for (std::size_t i = 0; i < masked_.size(); ++i) {
            pad[i] = static_cast<Char>(random());
            text[i] = static_cast<Char>(text[i] ^ pad[i]);
        }
    }

    // The text, for one call: a secret of its own, wiped when that call's statement ends.
    BasicSecret<Char> Reveal() const {
        BasicSecret<Char> text(masked_.size());
        volatile Char* const at = text.data();
        for (std::size_t i = 0; i < masked_.size(); ++i) {
            at[i] = static_cast<Char>(masked_.View()[i] ^ pad_.View()[i]);
        }
        return text;
    }

  private:
    BasicSecret<Char> masked_;
    BasicSecret<Char> pad_;
};

}  // namespace zandrel
