// Window procedures that let nothing be thrown across the system's dispatch, and the message loop.
#pragma once

#include <windows.h>

namespace zandrel {

// The window procedure of `Handler`: whatever the handler throws ends that one message, answered 0,
// instead of unwinding through the system's frames.
template <LRESULT (*Handler)(HWND, UINT, WPARAM, LPARAM)>
LRESULT CALLBACK GuardedWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
    try {
        return Handler(window, message, wParam, lParam);
    } catch (...) {
        return 0;
    }
}

// Dispatches this thread's messages until WM_QUIT (or until GetMessageA fails).
inline void RunMessageLoop() {
    MSG message{};
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

}  // namespace zandrel
