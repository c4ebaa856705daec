// Gaugewell.exe: one run of the resource probe on the settings beside the executable.
#include <windows.h>

#include "ExecutableDirectory.h"
#include "gaugewell/core/Module1.h"
#include "gaugewell/win32/WbemService.h"

// A window-less program has WinMain as its entry point with every toolchain.
int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    zandrel::gaugewell::WbemService service;
    zandrel::gaugewell::WindowsLocale locale;
    return static_cast<int>(zandrel::gaugewell::Main(service, locale, zandrel::ExecutableDirectory()));
}
