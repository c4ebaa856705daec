#include <windows.h>

#include "SystemMessage.h"
#include "siftwell/win32/Adapters.h"

namespace zandrel::siftwell {

std::string Win32SystemErrors::SystemErrorText(std::int32_t error) {
    // A number without a text (or with one longer than the 256 characters the line allows) reads empty.
    return SystemMessageText(static_cast<DWORD>(error), 256);
}

}  // namespace zandrel::siftwell
