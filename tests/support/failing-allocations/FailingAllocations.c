/* msvcrX.dll, the C runtime of a program under test whose allocations fail at will: a copy of the
 * program imports it in place of msvcrt.dll (the import's name patched to one of the same length),
 * every other import is forwarded to msvcrt.dll by the .def, and malloc, calloc and realloc return
 * NULL from the N-th call (of the three together) on, N from ZANDREL_FAIL_ALLOCATIONS_FROM (unset or
 * 0: none fails). ZANDREL_ALLOCATIONS_COUNTED names a file that always holds how many calls there
 * have been, also for a program that never ends by itself. Built against kernel32 alone: it is
 * loaded before the program's runtime is. */
#include <stddef.h>
#include <windows.h>

typedef void* (*MallocCall)(size_t);
typedef void* (*CallocCall)(size_t, size_t);
typedef void* (*ReallocCall)(void*, size_t);

static volatile LONG calls;
static LONG failFrom;
static MallocCall realMalloc;
static CallocCall realCalloc;
static ReallocCall realRealloc;
static HANDLE countFile = INVALID_HANDLE_VALUE;

static LONG NumberFromEnvironment(const char* name) {
    char text[16];
    const DWORD length = GetEnvironmentVariableA(name, text, sizeof text);
    LONG value = 0;
    if (length == 0 || length >= sizeof text) {
        return 0;
    }
    for (DWORD i = 0; i < length && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i] - '0');
    }
    return value;
}

/* Ten digits, so that a count written over a greater one leaves none of its digits behind. */
static void WriteCount(LONG count) {
    char digits[10];
    for (int i = sizeof digits - 1; i >= 0; --i, count /= 10) {
        digits[i] = (char)('0' + count % 10);
    }
    DWORD written = 0;
    SetFilePointer(countFile, 0, NULL, FILE_BEGIN);
    WriteFile(countFile, digits, sizeof digits, &written, NULL);
}

/* Whether this call fails; the runtime's calls are looked up at the first one. */
static int Fails(void) {
    const LONG call = InterlockedIncrement(&calls);
    if (realMalloc == NULL) {
        HMODULE crt = GetModuleHandleA("msvcrt.dll");
        if (crt == NULL) {
            crt = LoadLibraryA("msvcrt.dll");
        }
        realMalloc = (MallocCall)(void*)GetProcAddress(crt, "malloc");
        realCalloc = (CallocCall)(void*)GetProcAddress(crt, "calloc");
        realRealloc = (ReallocCall)(void*)GetProcAddress(crt, "realloc");
    }
    if (countFile != INVALID_HANDLE_VALUE) {
        WriteCount(call);
    }
    return failFrom != 0 && call >= failFrom;
}

void* malloc(size_t size) {
    return Fails() ? NULL : realMalloc(size);
}

void* calloc(size_t count, size_t size) {
    return Fails() ? NULL : realCalloc(count, size);
}

void* realloc(void* block, size_t size) {
    return Fails() ? NULL : realRealloc(block, size);
}

BOOL WINAPI FailingAllocationsEntry(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    (void)instance;
    (void)reserved;
    if (reason == DLL_PROCESS_ATTACH) {
        failFrom = NumberFromEnvironment("ZANDREL_FAIL_ALLOCATIONS_FROM");
        char path[MAX_PATH];
        const DWORD length = GetEnvironmentVariableA("ZANDREL_ALLOCATIONS_COUNTED", path, sizeof path);
        if (length != 0 && length < sizeof path) {
            countFile =
                CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                            CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
        }
    }
    return TRUE;
}
