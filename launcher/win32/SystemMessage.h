// The system's own text for an error number (FormatMessageA over the system table).
#pragma once

#include <windows.h>

#include <string>

namespace zandrel::launcher {

// The text as the system gives it, line break and all; empty when it has none for `error`.
std::string SystemMessageText(DWORD error);

}  // namespace zandrel::launcher
