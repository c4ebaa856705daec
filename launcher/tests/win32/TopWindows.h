// Other processes' top-level windows, found by process and class, and their texts.
#pragma once

#include <windows.h>

#include <chrono>
#include <string>
#include <vector>

namespace zandrel::launcher {

// The top-level windows of a process whose class is `className`, in Z order.
std::vector<HWND> TopWindowsOf(DWORD processId, const std::string& className);
HWND FirstTopWindowOf(DWORD processId, const std::string& className, bool visibleOnly);
// The first visible one of them once it appears, or null when none has appeared in time.
HWND WaitForTopWindow(DWORD processId, const std::string& className, std::chrono::milliseconds timeout);
std::string ClassOf(HWND window);
std::string TextOf(HWND window);

}  // namespace zandrel::launcher
