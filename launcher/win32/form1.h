// The launcher form form1: its window with Picture1 and Timer1, and the RCPopup menu.
#pragma once

#include <windows.h>

#include "ExitStatus.h"

namespace zandrel::launcher {

// Creates the form, runs its load, shows it and runs the program's message loop until it ends; the
// process's exit status. Whatever happens once the window exists, the user sees there: only a
// launcher that never got a window (NoWindow) has no other way to say so.
ExitStatus RunForm1(HINSTANCE instance);

}  // namespace zandrel::launcher
