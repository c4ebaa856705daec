// Ownership of Windows handles: each handle type is one traits struct over one template, so that no
// logic code ever closes anything by hand. Closing never disturbs the thread's last-error value,
// which the caller may still have to read.
#pragma once

#include <windows.h>

#include <utility>

namespace zandrel {

template <typename Traits>
class UniqueHandle {
  public:
    using Handle = typename Traits::Handle;

    UniqueHandle() = default;
    explicit UniqueHandle(Handle handle) noexcept : handle_(handle) {}
    UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) {
            reset(other.release());
        }
        return *this;
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    ~UniqueHandle() { reset(); }

    Handle get() const noexcept { return handle_; }
    explicit operator bool() const noexcept { return handle_ != Traits::Invalid(); }

    // For calls that hand a handle out through a pointer argument.
    Handle* put() noexcept {
        reset();
        return &handle_;
    }

    Handle release() noexcept { return std::exchange(handle_, Traits::Invalid()); }

    void reset(Handle handle = Traits::Invalid()) noexcept {
        if (handle_ != Traits::Invalid()) {
            const DWORD lastError = GetLastError();
            Traits::Close(handle_);
            SetLastError(lastError);
        }
        handle_ = handle;
    }

  private:
    Handle handle_ = Traits::Invalid();
};

// Traits for a handle whose "none" is null and which one call closes.
template <typename H, auto CloseCall>
struct NullHandleTraits {
    using Handle = H;
    static Handle Invalid() noexcept { return nullptr; }
    static void Close(Handle handle) noexcept { CloseCall(handle); }
};

// Traits for a handle whose "none" is INVALID_HANDLE_VALUE.
template <auto CloseCall>
struct InvalidValueHandleTraits {
    using Handle = HANDLE;
    static Handle Invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void Close(Handle handle) noexcept { CloseCall(handle); }
};

using UniqueKernelHandle = UniqueHandle<NullHandleTraits<HANDLE, &CloseHandle>>;
// CreateFileA answers INVALID_HANDLE_VALUE, not null, when it fails.
using UniqueFile = UniqueHandle<InvalidValueHandleTraits<&CloseHandle>>;
using UniqueFindHandle = UniqueHandle<InvalidValueHandleTraits<&FindClose>>;
using UniqueModule = UniqueHandle<NullHandleTraits<HMODULE, &FreeLibrary>>;
using UniqueRegKey = UniqueHandle<NullHandleTraits<HKEY, &RegCloseKey>>;
// Memory that the system allocated for the caller with LocalAlloc (a SDDL text, a message).
using UniqueLocal = UniqueHandle<NullHandleTraits<HLOCAL, &LocalFree>>;

}  // namespace zandrel
