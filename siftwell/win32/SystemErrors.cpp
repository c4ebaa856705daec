#include <windows.h>

#include "Adapters.h"

namespace zandrel::siftwell {

std::string Win32SystemErrors::SystemErrorText(std::int32_t error) {
    constexpr DWORD kSize = 256;
    char buffer[kSize];
    const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                        static_cast<DWORD>(error), 0, buffer, kSize, nullptr);
    return std::string(buffer, length < kSize ? length : 0);
}

}  // namespace zandrel::siftwell
