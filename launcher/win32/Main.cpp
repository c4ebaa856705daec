// Zandrel, the tray launcher: starts the monitoring server beside it, shows its start-up window, opens
// the server's configuration page and lives on as a notification-area icon. Takes no arguments.
#include <windows.h>

#include "AbnormalEnd.h"
#include "ExitStatus.h"
#include "launcher/win32/form1.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    // Started at logon with nobody watching: no box may wait for a click, whatever happens.
    zandrel::PrepareForAbnormalEnds();
    // Before anything can load a DLL (the shell and COM load many by name): System32 only, never the
    // installed folder.
    if (!SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32)) {
        return static_cast<int>(zandrel::ExitStatus::DllSearchOpen);
    }
    return zandrel::RunToAnEnd([instance] { return zandrel::launcher::RunForm1(instance); });
}
