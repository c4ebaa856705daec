// Gaugewell.exe: one run of the resource probe on the settings beside the executable.
#include "ExecutableDirectory.h"
#include "Module1.h"
#include "WbemService.h"

int main() {
    zandrel::WbemService service;
    zandrel::WindowsLocale locale;
    return static_cast<int>(zandrel::Main(service, locale, zandrel::ExecutableDirectory()));
}
