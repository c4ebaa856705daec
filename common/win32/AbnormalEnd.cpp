#include "AbnormalEnd.h"

#include <windows.h>

#include <cstddef>
#include <cstdlib>
#include <exception>

#include "ExitStatus.h"

namespace zandrel {

namespace {

// WerSetFlags' flag for "report, but show nothing" (werapi.h).
constexpr DWORD kWerFaultReportingNoUi = 0x20;

// Whether Windows Error Reporting was told to show no dialog for a crash; it still writes its report
// and any dump. kernel32 has exported WerSetFlags since Vista. Taken from there rather than through
// wer.dll's import library: a static import of a DLL that is no KnownDLL is looked for in the
// program's folder first, before WinMain could limit the search.
bool CrashesReportedWithoutAsking() noexcept {
    using WerSetFlagsCall = HRESULT(WINAPI*)(DWORD);
    const HMODULE kernel32 = GetModuleHandleA("kernel32.dll");
    if (kernel32 == nullptr) {
        return false;
    }
    const auto werSetFlags =
        reinterpret_cast<WerSetFlagsCall>(reinterpret_cast<void*>(GetProcAddress(kernel32, "WerSetFlags")));
    return werSetFlags != nullptr && SUCCEEDED(werSetFlags(kWerFaultReportingNoUi));
}

// Below this size a block that cannot be had means that memory is exhausted. The runtime's own blocks
// are all far smaller: the start's copies of the arguments, the thread library's records and the
// mutexes that it sets up at their first lock, exception objects. A larger request's failure is left
// to its caller (an event record of the size that the log claims is reported as unreadable).
constexpr std::size_t kSmallBlock = 64 * 1024;

void* EndUnlessHad(void* block, std::size_t size) noexcept {
    if (block == nullptr && size != 0 && size < kSmallBlock) {
        EndAbnormally();
    }
    return block;
}

}  // namespace

// The programs link with --wrap for malloc, calloc, realloc and abort: every call of the runtime and
// the libraries comes here. Parts of the runtime never check for a null block: the start copies the
// command line's arguments through it before WinMain; the thread library's bookkeeping of a
// pthread_once writes through it; the thread library sets up a statically initialised mutex at its
// first lock, the lock fails when that allocation does, and libstdc++'s emergency exception pool,
// whose lock it is, then throws, which needs the pool again, until the stack overflows. So an
// exhausted memory ends the run here, before anything writes or reads through a null pointer.
// abort() would show msvcrt's "Runtime Error" box in a windowed program and end with 3.
extern "C" {
void* __real_malloc(std::size_t size);
void* __real_calloc(std::size_t count, std::size_t size);
void* __real_realloc(void* block, std::size_t size);

void* __wrap_malloc(std::size_t size) {
    return EndUnlessHad(__real_malloc(size), size);
}

void* __wrap_calloc(std::size_t count, std::size_t size) {
    const std::size_t total =
        size != 0 && count > static_cast<std::size_t>(-1) / size ? kSmallBlock : count * size;
    return EndUnlessHad(__real_calloc(count, size), total);
}

void* __wrap_realloc(void* block, std::size_t size) {
    return EndUnlessHad(__real_realloc(block, size), size);
}

[[noreturn]] void __wrap_abort() {
    EndAbnormally();
}
}

void EndAbnormally() noexcept {
    TerminateProcess(GetCurrentProcess(), static_cast<UINT>(ExitStatus::AbnormalEnd));
    // TerminateProcess does not return for the calling process; should it fail, the runtime's end.
    _exit(static_cast<int>(ExitStatus::AbnormalEnd));
}

void PrepareForAbnormalEnds() noexcept {
    std::set_terminate([] { EndAbnormally(); });
    // Microsoft's advice for every program: no critical-error box, no box for a missing file.
    UINT mode = SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX;
    // SEM_NOGPFAULTERRORBOX would keep Windows Error Reporting from running at all, report and dump
    // included: only where it cannot be told to show nothing does no box come first.
    if (!CrashesReportedWithoutAsking()) {
        mode |= SEM_NOGPFAULTERRORBOX;
    }
    SetErrorMode(mode);
}

}  // namespace zandrel
