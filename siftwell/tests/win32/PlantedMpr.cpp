// A DLL named MPR.dll as someone who can write into the probe's folder would plant it: when it is
// loaded, it leaves the file "planted-dll-ran" beside itself. Its connection calls answer success,
// which the real ones under Wine never do.
#include <windows.h>
#include <winnetwk.h>

#include "UniqueHandle.h"

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        char path[MAX_PATH + 32];
        DWORD length = GetModuleFileNameA(self, path, MAX_PATH);
        while (length > 0 && path[length - 1] != '\\') {
            --length;
        }
        lstrcpyA(path + length, "planted-dll-ran");
        const zandrel::UniqueFile marker(
            CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    }
    return TRUE;
}

extern "C" DWORD WINAPI WNetAddConnection2W(LPNETRESOURCEW, LPCWSTR, LPCWSTR, DWORD) {
    return NO_ERROR;
}

extern "C" DWORD WINAPI WNetCancelConnection2A(LPCSTR, DWORD, BOOL) {
    return NO_ERROR;
}
