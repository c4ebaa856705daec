// The tray module against Wine's real window manager and notification area, in this process: the
// module's state lives once per process, so the cases build on each other in the order written.
#include "launcher/win32/mod1.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "UniqueHandle.h"

namespace zandrel::launcher {
namespace {

// Stands in for the form's SysTrayMouseEventHandler.
int MenuRequests = 0;
void CountMenuRequest() {
    ++MenuRequests;
}

struct Received {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};
std::vector<Received> FormMessages;

constexpr LRESULT kFormAnswer = 1234;

LRESULT CALLBACK FormProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == 517 || message == WM_CLOSE) {
        FormMessages.push_back({message, wParam, lParam});
        return kFormAnswer;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

using UniqueWindow = UniqueHandle<NullHandleTraits<HWND, &DestroyWindow>>;

UniqueWindow CreateTopWindow(HWND owner = nullptr) {
    static const bool registered = [] {
        WNDCLASSA windowClass{};
        windowClass.lpfnWndProc = &FormProc;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.lpszClassName = "Zandrel.Test.form1";
        return RegisterClassA(&windowClass) != 0;
    }();
    EXPECT_TRUE(registered);
    return UniqueWindow(CreateWindowExA(0, "Zandrel.Test.form1", "form1",
                                        owner ? WS_POPUP : WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, owner,
                                        nullptr, GetModuleHandleA(nullptr), nullptr));
}

void PumpMessages() {
    MSG message{};
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        DispatchMessageA(&message);
    }
}

bool IconPresent(HWND window, UINT id) {
    NOTIFYICONDATAA record{};
    record.cbSize = NOTIFYICONDATAA_V1_SIZE;
    record.hWnd = window;
    record.uID = id;
    return Shell_NotifyIconA(NIM_MODIFY, &record) != FALSE;
}

bool DeleteIcon(HWND window, UINT id) {
    NOTIFYICONDATAA record{};
    record.cbSize = NOTIFYICONDATAA_V1_SIZE;
    record.hWnd = window;
    record.uID = id;
    return Shell_NotifyIconA(NIM_DELETE, &record) != FALSE;
}

class TrayModule : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { form_ = CreateTopWindow().release(); }
    static void TearDownTestSuite() { UniqueWindow destroyed(form_); }
    void SetUp() override {
        FormMessages.clear();
        MenuRequests = 0;
    }
    static HWND form_;
};
HWND TrayModule::form_ = nullptr;

constexpr UINT kIconId = 0x4711;
const HICON kIcon = LoadIconA(nullptr, IDI_APPLICATION);

TEST_F(TrayModule, HookWindowSubclassesOnceOnly) {
    HookWindow(form_, &CountMenuRequest);
    EXPECT_EQ(GetWindowLongPtrA(form_, GWLP_WNDPROC), reinterpret_cast<LONG_PTR>(&TrayWindowProc));
    EXPECT_EQ(CurrentPreviousWindowProc(), &FormProc);
    // Again, with the same or another window: nothing changes, so the procedure never forwards to itself.
    HookWindow(form_, &CountMenuRequest);
    UniqueWindow other = CreateTopWindow();
    HookWindow(other.get(), &CountMenuRequest);
    EXPECT_EQ(CurrentPreviousWindowProc(), &FormProc);
    EXPECT_EQ(GetWindowLongPtrA(other.get(), GWLP_WNDPROC), reinterpret_cast<LONG_PTR>(&FormProc));
}

TEST_F(TrayModule, RightButtonDownOpensTheMenuEverythingElseReachesTheForm) {
    EXPECT_EQ(SendMessageA(form_, 517, kIconId, 516), -1);
    EXPECT_EQ(MenuRequests, 1);
    EXPECT_TRUE(FormMessages.empty());
    for (LPARAM mouse : {512, 513, 514, 517, 518}) {
        EXPECT_EQ(SendMessageA(form_, 517, kIconId, mouse), kFormAnswer);
    }
    EXPECT_EQ(MenuRequests, 1);
    ASSERT_EQ(FormMessages.size(), 5u);
    EXPECT_EQ(FormMessages[3].wParam, kIconId);
    EXPECT_EQ(FormMessages[3].lParam, 517);
}

TEST_F(TrayModule, TheIconIsAddedWithTheFirstVersionRecordAndRemovedWithTheSame) {
    AddTrayIcon(form_, kIconId, kIcon, "Zandrel Configuration Server is running");
    const NOTIFYICONDATAA& record = CurrentTrayIconData();
    EXPECT_EQ(record.cbSize, static_cast<DWORD>(NOTIFYICONDATAA_V1_SIZE));
    EXPECT_EQ(record.hWnd, form_);
    EXPECT_EQ(record.uID, kIconId);
    EXPECT_EQ(record.uFlags, 7u);
    EXPECT_EQ(record.uCallbackMessage, 517u);
    EXPECT_EQ(std::string(record.szTip, 64),
              std::string("Zandrel Configuration Server is running") + '\0' + std::string(24, ' '));
    EXPECT_TRUE(IconPresent(form_, kIconId));

    RemoveTrayIcon();
    EXPECT_EQ(record.cbSize, static_cast<DWORD>(NOTIFYICONDATAA_V1_SIZE));
    EXPECT_EQ(record.hWnd, form_);
    EXPECT_EQ(record.uID, kIconId);
    EXPECT_FALSE(IconPresent(form_, kIconId));
}

TEST_F(TrayModule, TheIconComesBackWhenTheShellRecreatesTheNotificationArea) {
    AddTrayIcon(form_, kIconId, kIcon, "Zandrel Configuration Server is running");
    ASSERT_TRUE(IconPresent(form_, kIconId));
    // What a restarting shell does: the icons are gone, then "TaskbarCreated" is broadcast.
    ASSERT_TRUE(DeleteIcon(form_, kIconId));
    SendMessageA(form_, RegisterWindowMessageA("TaskbarCreated"), 0, 0);
    EXPECT_TRUE(IconPresent(form_, kIconId));
    EXPECT_EQ(MenuRequests, 0);
    RemoveTrayIcon();
}

TEST_F(TrayModule, TheCloseRequestGoesToTheFirstUnownedWindowOfALiveServerOnly) {
    // This process plays the server: a hidden unowned window with an owned pop-up above it.
    UniqueWindow main = CreateTopWindow();
    UniqueWindow popup = CreateTopWindow(main.get());
    SetWindowPos(main.get(), HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    SetWindowPos(popup.get(), HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    EXPECT_EQ(FindProcessWindow(GetCurrentProcessId()), main.get());

    struct Case {
        const char* what;
        DWORD processId;
        bool processRunning;
        std::size_t closeRequests;
    };
    const Case cases[] = {
        {"running server", GetCurrentProcessId(), true, 1},
        {"server already ended", GetCurrentProcessId(), false, 0},
        {"no window of that process", 0x7FFFFFF0, true, 0},
    };
    for (const Case& c : cases) {
        // A signalled event stands for a process handle whose process has ended.
        const UniqueKernelHandle process(c.processRunning
                                             ? OpenProcess(SYNCHRONIZE, FALSE, GetCurrentProcessId())
                                             : CreateEventA(nullptr, TRUE, TRUE, nullptr));
        FormMessages.clear();
        CloseProcessWindow(c.processId, process.get());
        PumpMessages();
        EXPECT_EQ(FormMessages.size(), c.closeRequests) << c.what;
    }
    // Nothing was posted to a null window, which would reach this thread's queue as a window-less message.
    MSG stray{};
    EXPECT_FALSE(PeekMessageA(&stray, reinterpret_cast<HWND>(-1), WM_CLOSE, WM_CLOSE, PM_REMOVE));
}

}  // namespace
}  // namespace zandrel::launcher
