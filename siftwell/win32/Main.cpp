// Siftwell.exe: one capture run with the settings beside the executable; the exit status tells
// only what event.log cannot (see ExitStatus.h).
#include <windows.h>

#include "siftwell/win32/Adapters.h"
#include "AbnormalEnd.h"
#include "AnsiText.h"
#include "ExecutableDirectory.h"
#include "siftwell/core/Module1.h"
#include "siftwell/core/Lines.h"
#include "ResultFile.h"

// A window-less program has WinMain as its entry point with every toolchain.
int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    using namespace zandrel;
    using namespace zandrel::siftwell;
    // Started unattended by the server: no box may wait for a click, whatever happens.
    PrepareForAbnormalEnds();
    // Before anything can load a DLL: a DLL that is no KnownDLL (MPR.dll, delay-loaded) comes from
    // System32 only, never from this folder, which someone else may be able to write into.
    if (!SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32)) {
        return static_cast<int>(ExitStatus::DllSearchOpen);
    }
    return RunToAnEnd([] {
        // A folder that the ANSI code page cannot name exactly is no folder the run may read or write.
        const Result<std::string> executableDirectory = ExecutableDirectory();
        if (FailureOf(executableDirectory)) {
            return ExitStatus::SettingsUnusable;
        }
        const std::string& directory = ValueOf(executableDirectory);
        const Win32TextCodec codec;
        Win32EventSource events;
        Win32MessageCatalogue messages;
        Win32NetworkSession network;
        Win32SystemErrors errors;
        Win32DateText dates;
        ResultFileAt log(directory, kResultFileName);
        Win32LogFiles files(directory);
        const Platform platform{events, messages, network, errors, dates, log, files, codec};
        return RunCapture(platform, directory);
    });
}
