// The launcher form form1: its window with Picture1 and Timer1, and the RCPopup menu.
#pragma once

#include <windows.h>

namespace zandrel::launcher {

// The launcher's exit status. Whatever happens once its window exists, the user sees there; only a
// launcher that never got a window has no other way to say so. The number follows the probes' own
// statuses (ExitStatus.h), so that none means two things in the tool set.
enum class LauncherExitStatus : int {
    Ended = 0,     // the window was shown and is gone again: Exit, closed, or closed after the start failure
    NoWindow = 5,  // the window's classes could not be registered or the window created: nothing started
};

// Creates the form, runs its load, shows it and runs the program's message loop until it ends; the
// process's exit status.
int RunForm1(HINSTANCE instance);

}  // namespace zandrel::launcher
