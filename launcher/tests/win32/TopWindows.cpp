#include "launcher/tests/win32/TopWindows.h"

#include "launcher/tests/win32/Polling.h"

namespace zandrel::launcher {

std::vector<HWND> TopWindowsOf(DWORD processId, const std::string& className) {
    std::vector<HWND> found;
    for (HWND window = GetTopWindow(nullptr); window != nullptr; window = GetWindow(window, GW_HWNDNEXT)) {
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        if (owner == processId && ClassOf(window) == className) {
            found.push_back(window);
        }
    }
    return found;
}

HWND FirstTopWindowOf(DWORD processId, const std::string& className, bool visibleOnly) {
    for (HWND window : TopWindowsOf(processId, className)) {
        if (!visibleOnly || IsWindowVisible(window)) {
            return window;
        }
    }
    return nullptr;
}

HWND WaitForTopWindow(DWORD processId, const std::string& className, std::chrono::milliseconds timeout) {
    HWND window = nullptr;
    WaitUntil(
        [&] {
            window = FirstTopWindowOf(processId, className, true);
            return window != nullptr;
        },
        timeout);
    return window;
}

std::string ClassOf(HWND window) {
    char name[256] = {};
    const int length = GetClassNameA(window, name, sizeof name);
    return std::string(name, length > 0 ? static_cast<size_t>(length) : 0);
}

std::string TextOf(HWND window) {
    char text[1024] = {};
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutA(window, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text),
                             SMTO_ABORTIFHUNG, 5000, &length)) {
        return {};
    }
    return std::string(text, length);
}

}  // namespace zandrel::launcher
