// Gaugewell.exe: one run of the resource probe on the settings beside the executable.
#include <windows.h>

#include "ExecutableDirectory.h"
#include "Module1.h"
#include "WbemService.h"

// A window-less program has WinMain as its entry point with every toolchain.
int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    zandrel::WbemService service;
    zandrel::WindowsLocale locale;
    return static_cast<int>(zandrel::Main(service, locale, zandrel::ExecutableDirectory()));
}
