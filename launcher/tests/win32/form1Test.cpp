// The form's start against Wine's window manager, in this process: a launcher that cannot have its
// window must not end as if it had run.
#include "launcher/win32/form1.h"

#include <gtest/gtest.h>

#include "UniqueHandle.h"

namespace zandrel::launcher {
namespace {

using UniqueHook = UniqueHandle<NullHandleTraits<HHOOK, &UnhookWindowsHookEx>>;

// Refuses every window that this thread creates.
LRESULT CALLBACK RefuseWindows(int code, WPARAM wParam, LPARAM lParam) {
    return code == HCBT_CREATEWND ? 1 : CallNextHookEx(nullptr, code, wParam, lParam);
}

TEST(RunForm1, WithoutItsWindowTheLauncherEndsWithAStatusOfItsOwn) {
    const HINSTANCE instance = GetModuleHandleA(nullptr);
    // The form's class is taken already.
    WNDCLASSA taken{};
    taken.lpfnWndProc = &DefWindowProcA;
    taken.hInstance = instance;
    taken.lpszClassName = "Zandrel.form1";
    ASSERT_NE(RegisterClassA(&taken), 0);
    EXPECT_EQ(RunForm1(instance), ExitStatus::NoWindow) << "class taken";
    ASSERT_TRUE(UnregisterClassA("Zandrel.form1", instance));

    // The window cannot be created.
    const UniqueHook refuse(SetWindowsHookExA(WH_CBT, &RefuseWindows, nullptr, GetCurrentThreadId()));
    ASSERT_TRUE(refuse);
    EXPECT_EQ(RunForm1(instance), ExitStatus::NoWindow) << "window refused";
}

}  // namespace
}  // namespace zandrel::launcher
