// Ownership of COM objects, texts and variants, so that no adapter code releases anything by hand, and
// the COM apartment of a thread.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <utility>

namespace zandrel {

// Holds one reference to an interface and releases it.
template <typename T>
class ComPtr {
  public:
    ComPtr() = default;
    ComPtr(ComPtr&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
    ComPtr& operator=(ComPtr&& other) noexcept {
        if (this != &other) {
            Reset(std::exchange(other.object_, nullptr));
        }
        return *this;
    }
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;
    ~ComPtr() { Reset(); }

    T* get() const noexcept { return object_; }
    T* operator->() const noexcept { return object_; }
    explicit operator bool() const noexcept { return object_ != nullptr; }
    // For calls that hand out a new reference through a pointer argument.
    T** put() noexcept {
        Reset();
        return &object_;
    }
    void** put_void() noexcept { return reinterpret_cast<void**>(put()); }
    void Reset(T* object = nullptr) noexcept {
        if (object_ != nullptr) {
            object_->Release();
        }
        object_ = object;
    }

  private:
    T* object_ = nullptr;
};

class UniqueBstr {
  public:
    explicit UniqueBstr(const wchar_t* text) : text_(SysAllocString(text)) {}
    UniqueBstr() = default;
    UniqueBstr(const UniqueBstr&) = delete;
    UniqueBstr& operator=(const UniqueBstr&) = delete;
    ~UniqueBstr() { SysFreeString(text_); }

    BSTR get() const noexcept { return text_; }
    BSTR* put() noexcept {
        SysFreeString(std::exchange(text_, nullptr));
        return &text_;
    }

  private:
    BSTR text_ = nullptr;
};

class UniqueVariant {
  public:
    UniqueVariant() noexcept { VariantInit(&value_); }
    UniqueVariant(const UniqueVariant&) = delete;
    UniqueVariant& operator=(const UniqueVariant&) = delete;
    ~UniqueVariant() { VariantClear(&value_); }

    VARIANT& get() noexcept { return value_; }
    VARIANT* put() noexcept {
        VariantClear(&value_);
        return &value_;
    }

  private:
    VARIANT value_;
};

// COM on this thread, apartment-threaded, for the life of the object; uninitialised only when the
// start succeeded.
class ComApartment {
  public:
    explicit ComApartment(DWORD extraFlags = 0) noexcept
        : started_(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | extraFlags))) {}
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;
    ~ComApartment() {
        if (started_) {
            CoUninitialize();
        }
    }

  private:
    bool started_;
};

}  // namespace zandrel
