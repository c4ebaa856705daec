// A DLL that someone who can write into a program's folder plants there under the name of one that the
// program or a component it loads takes from the system (netmsg.dll, wbemcomn.dll): when it is loaded it
// leaves the file "planted-NAME-ran" (NAME its own file name) beside itself. It does nothing else, so
// that a process that took it instead of the system's would also fail at what it needed the DLL for.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        char path[MAX_PATH + 64];
        const DWORD length = GetModuleFileNameA(self, path, MAX_PATH);
        DWORD folder = length;
        while (folder > 0 && path[folder - 1] != '\\') {
            --folder;
        }
        char name[MAX_PATH];
        lstrcpynA(name, path + folder, MAX_PATH);
        lstrcpyA(path + folder, "planted-");
        lstrcatA(path, name);
        lstrcatA(path, "-ran");
        const HANDLE marker = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        if (marker != INVALID_HANDLE_VALUE) {
            CloseHandle(marker);
        }
    }
    return TRUE;
}
