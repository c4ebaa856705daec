// Window procedures that let nothing be thrown across the system's dispatch.
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

}  // namespace zandrel
