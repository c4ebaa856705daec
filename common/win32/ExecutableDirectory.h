#pragma once

#include <windows.h>

#include <string>

#include "Failure.h"

namespace zandrel {

// The directory that holds the running executable, without a trailing backslash, in the ANSI code
// page for the ANSI calls. A failure when its name has no exact form in the code page
// (ERROR_NO_UNICODE_TRANSLATION): the ANSI module path would name a look-alike folder, another
// install's perhaps, whose files must not be read or written. The failure carries the system's text.
Result<std::string> ExecutableDirectory();

// The same over a given GetModuleFileNameW, for the tests.
using ModuleFileNameCall = DWORD(WINAPI*)(HMODULE, LPWSTR, DWORD);
Result<std::string> ExecutableDirectory(ModuleFileNameCall moduleFileName);

}  // namespace zandrel
