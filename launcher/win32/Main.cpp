// Zandrel, the tray launcher: starts the monitoring server beside it, shows its start-up window, opens
// the server's configuration page and lives on as a notification-area icon. Takes no arguments.
#include <windows.h>

#include "launcher/win32/form1.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    return zandrel::launcher::RunForm1(instance);
}
