#include "launcher/win32/mod1.h"

#include <span>
#include <utility>

#include "launcher/core/Tray.h"

namespace zandrel::launcher {
namespace {

// The core's numbers are the system's messages.
static_assert(kTrayCallbackMessage == WM_RBUTTONUP);
static_assert(kRightButtonDown == WM_RBUTTONDOWN);

// The first-version ANSI record, passed at that version's size: the icon keeps the old callback
// protocol, the mouse message in lParam.
NOTIFYICONDATAA TrayIconData{};
// The name the launcher's documentation gives it; nothing reads it back.
HWND HookedWindow = nullptr;
WNDPROC PreviousWindowProc = nullptr;
bool IsHooked = false;
std::function<void()> SysTrayMouseEventHandler;
// Broadcast when the shell re-creates the notification area, which forgets every icon.
UINT TaskbarCreatedMessage = 0;

class Win32WindowList final : public WindowList {
  public:
    WindowId First() const override { return Id(FindWindowA(nullptr, nullptr)); }
    WindowId Next(WindowId window) const override { return Id(GetWindow(Handle(window), GW_HWNDNEXT)); }
    bool HasParent(WindowId window) const override { return GetParent(Handle(window)) != nullptr; }
    std::uint32_t ProcessIdOf(WindowId window) const override {
        DWORD processId = 0;
        GetWindowThreadProcessId(Handle(window), &processId);
        return processId;
    }

  private:
    static WindowId Id(HWND window) { return reinterpret_cast<WindowId>(window); }
    static HWND Handle(WindowId window) { return reinterpret_cast<HWND>(window); }
};

}  // namespace

void AddTrayIcon(HWND window, std::uint32_t id, HICON icon, std::string_view tip) {
    TrayIconData.hWnd = window;
    TrayIconData.uID = id;
    TrayIconData.hIcon = icon;
    TrayIconData.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    TrayIconData.uCallbackMessage = static_cast<UINT>(kTrayCallbackMessage);
    FillTipField(std::span<char>(TrayIconData.szTip, kTipFieldSize), tip);
    TrayIconData.cbSize = NOTIFYICONDATAA_V1_SIZE;
    // A refusal (no shell yet, or one without a notification area) is not checked: the launcher has
    // nowhere to report it, and the record stays filled in, so the icon is added once a shell
    // announces itself with "TaskbarCreated".
    Shell_NotifyIconA(NIM_ADD, &TrayIconData);
}

void RemoveTrayIcon() {
    // On the way out: an icon that was never added, or is gone with its shell, leaves nothing to undo.
    Shell_NotifyIconA(NIM_DELETE, &TrayIconData);
}

void HookWindow(HWND window, std::function<void()> sysTrayMouseEventHandler) {
    // Once per run: a second subclassing would make TrayWindowProc forward to itself.
    if (IsHooked) {
        return;
    }
    HookedWindow = window;
    SysTrayMouseEventHandler = std::move(sysTrayMouseEventHandler);
    TaskbarCreatedMessage = RegisterWindowMessageA("TaskbarCreated");
    PreviousWindowProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&TrayWindowProc)));
    IsHooked = true;
}

LRESULT CALLBACK TrayWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
    switch (ClassifyTrayMessage(message, lParam, TaskbarCreatedMessage)) {
        case TrayMessage::ShowMenu:
            // No exception may cross the system's dispatch; the notification is taken all the same.
            try {
                if (SysTrayMouseEventHandler) {
                    SysTrayMouseEventHandler();
                }
            } catch (...) {
            }
            return -1;
        case TrayMessage::AddIconAgain:
            // The same record as before: same window, id, icon, tip and protocol.
            if (TrayIconData.cbSize != 0) {
                // Unchecked for the same reason as the first time: the next shell announces itself.
                Shell_NotifyIconA(NIM_ADD, &TrayIconData);
            }
            break;
        case TrayMessage::PassOn:
            break;
    }
    return CallWindowProcA(PreviousWindowProc, window, message, wParam, lParam);
}

HWND FindProcessWindow(DWORD processId) {
    return reinterpret_cast<HWND>(launcher::FindProcessWindow(Win32WindowList(), processId));
}

void CloseProcessWindow(DWORD processId, HANDLE serverProcess) {
    const bool serverRunning =
        serverProcess != nullptr && WaitForSingleObject(serverProcess, 0) == WAIT_TIMEOUT;
    const WindowId target = CloseRequestTarget(Win32WindowList(), processId, serverRunning);
    if (target != 0) {
        PostMessageA(reinterpret_cast<HWND>(target), WM_CLOSE, 0, 0);
    }
}

const NOTIFYICONDATAA& CurrentTrayIconData() {
    return TrayIconData;
}

WNDPROC CurrentPreviousWindowProc() {
    return PreviousWindowProc;
}

}  // namespace zandrel::launcher
