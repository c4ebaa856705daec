// The portable half of the tray module mod1: the tooltip field, the routing of the icon's notifications
// and the search for the server's window. The Windows calls around them live in win32/mod1.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace zandrel::launcher {

// The icon reports mouse events to its window as this message (WM_RBUTTONUP's value), the mouse
// message itself in lParam.
inline constexpr std::uint32_t kTrayCallbackMessage = 517;
inline constexpr std::intptr_t kRightButtonDown = 516;  // WM_RBUTTONDOWN
// szTip of the first-version notification record.
inline constexpr std::size_t kTipFieldSize = 64;

// The tip, a NUL, then spaces to the end of the field; tip and NUL are cut to the field if longer.
void FillTipField(std::span<char> field, std::string_view tip);

enum class TrayMessage {
    ShowMenu,      // the right button went down over the icon
    AddIconAgain,  // the shell has re-created the notification area and lost our icon
    PassOn,        // anything else: the form's own procedure handles it
};

// `taskbarCreatedMessage` is the registered "TaskbarCreated" message, 0 when it could not be registered.
TrayMessage ClassifyTrayMessage(std::uint32_t message, std::intptr_t lParam,
                                std::uint32_t taskbarCreatedMessage);

// A top-level window as a number; 0 is no window.
using WindowId = std::uintptr_t;

// The top-level windows in Z order, as the window manager reports them.
class WindowList {
  public:
    virtual ~WindowList() = default;
    virtual WindowId First() const = 0;
    virtual WindowId Next(WindowId window) const = 0;
    // True for child windows and owned pop-up windows.
    virtual bool HasParent(WindowId window) const = 0;
    // 0 when the window no longer exists.
    virtual std::uint32_t ProcessIdOf(WindowId window) const = 0;
};

// The first window in Z order that belongs to `processId` and has neither parent nor owner; 0 if none.
WindowId FindProcessWindow(const WindowList& windows, std::uint32_t processId);

// The window to send the close request to: none once the server has ended, because its id may then
// already name another process.
WindowId CloseRequestTarget(const WindowList& windows, std::uint32_t processId, bool serverRunning);

}  // namespace zandrel::launcher
