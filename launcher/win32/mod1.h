// The tray module mod1: the notification-area icon, the subclassing of the form's window that routes
// the icon's notifications to the form, and the close request to the server's window.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include <cstdint>
#include <functional>
#include <string_view>

namespace zandrel::launcher {

void AddTrayIcon(HWND window, std::uint32_t id, HICON icon, std::string_view tip);
void RemoveTrayIcon();
// `sysTrayMouseEventHandler` is the form's operation that TrayWindowProc calls when the right button
// goes down over the icon; the form hands it over with its window.
void HookWindow(HWND window, std::function<void()> sysTrayMouseEventHandler);
LRESULT CALLBACK TrayWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept;
HWND FindProcessWindow(DWORD processId);
// Posts WM_CLOSE to the server's window; `serverProcess` proves that the id still names our server.
void CloseProcessWindow(DWORD processId, HANDLE serverProcess);

// The module's state, for the tests of this module.
const NOTIFYICONDATAA& CurrentTrayIconData();
WNDPROC CurrentPreviousWindowProc();

}  // namespace zandrel::launcher
