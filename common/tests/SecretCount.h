// Counts the blocks of secret storage that are alive. While a count lives it is the default memory
// resource, where every secret made meanwhile takes its storage (nothing else in the programs uses
// that resource), and gives each block back to the resource it replaced.
#pragma once

#include <cstddef>
#include <memory_resource>

namespace zandrel::testing {

class SecretCount final : public std::pmr::memory_resource {
  public:
    SecretCount() : previous_(std::pmr::set_default_resource(this)) {}
    ~SecretCount() override { std::pmr::set_default_resource(previous_); }
    SecretCount(const SecretCount&) = delete;
    SecretCount& operator=(const SecretCount&) = delete;

    std::size_t Held() const noexcept { return held_; }

  private:
    void* do_allocate(std::size_t bytes, std::size_t alignment) override {
        void* block = previous_->allocate(bytes, alignment);
        ++held_;
        return block;
    }
    void do_deallocate(void* block, std::size_t bytes, std::size_t alignment) override {
        previous_->deallocate(block, bytes, alignment);
        --held_;
    }
    bool do_is_equal(const std::pmr::memory_resource& other) const noexcept override {
        return this == &other;
    }

    std::pmr::memory_resource* previous_;
    std::size_t held_ = 0;
};

}  // namespace zandrel::testing
