#include <windows.h>

#include "siftwell/win32/Adapters.h"
#include "SystemMessage.h"

namespace zandrel::siftwell {

std::string Win32SystemErrors::SystemErrorText(std::int32_t error) {
    // A number without a text (or with one longer than the 256 characters the line allows) reads empty.
    Result<std::string> text = SystemMessage(static_cast<DWORD>(error), 256);
    std::string* found = std::get_if<std::string>(&text);
    return found != nullptr ? std::move(*found) : std::string();
}

}  // namespace zandrel::siftwell
