// The launcher form form1: its window with Picture1 and Timer1, and the RCPopup menu.
#pragma once

#include <windows.h>

namespace zandrel::launcher {

// Creates the form, runs its load, shows it and runs the program's message loop until it ends.
int RunForm1(HINSTANCE instance);

}  // namespace zandrel::launcher
