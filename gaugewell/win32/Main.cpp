// Gaugewell.exe: one run of the resource probe on the settings beside the executable.
#include <windows.h>

#include "AbnormalEnd.h"
#include "AnsiText.h"
#include "ExecutableDirectory.h"
#include "ResultFile.h"
#include "gaugewell/core/Lines.h"
#include "gaugewell/core/Module1.h"
#include "gaugewell/win32/WbemService.h"

// A window-less program has WinMain as its entry point with every toolchain.
int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    using namespace zandrel::gaugewell;
    // Started unattended by a scheduler or the server: no box may wait for a click, whatever happens.
    zandrel::PrepareForAbnormalEnds();
    // Before anything can load a DLL (COM loads several): System32 only, never this folder.
    if (!SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32)) {
        return static_cast<int>(zandrel::ExitStatus::DllSearchOpen);
    }
    return zandrel::RunToAnEnd([] {
        WbemService service;
        WindowsLocale locale;
        // A folder that the ANSI code page cannot name exactly is no folder the run may read or write.
        const zandrel::Result<std::string> executableDirectory = zandrel::ExecutableDirectory();
        if (zandrel::FailureOf(executableDirectory)) {
            return zandrel::ExitStatus::SettingsUnusable;
        }
        const std::string& directory = zandrel::ValueOf(executableDirectory);
        const zandrel::Win32TextCodec codec;
        zandrel::ResultFileAt resultFile(directory, kResultFileName);
        return Main(service, locale, codec, resultFile, directory);
    });
}
