#include <windows.h>
#include <winnetwk.h>

#include <array>

#include "siftwell/win32/Adapters.h"
#include "siftwell/win32/SystemDirectory.h"
#include "SystemMessage.h"
#include "UniqueHandle.h"

namespace zandrel::siftwell {
namespace {

constexpr DWORD kNetworkTextSize = 256;
constexpr char kNetworkProvider[] = "Microsoft Windows Network";

// The ANSI network call passes the password on as wide text, in a copy of its own on the process
// heap that it frees without wiping (Wine's does so). A heap hands out the block that was freed last
// first, for a request of that block's size class: blocks asked for zeroed right after the call take
// the copy's place. The class may hold more than the copy needed, so the sizes go from two units of
// the heap's granularity (16 bytes) beyond the copy's down to the copy's own: the first request that
// lands on the copy's block zeroes all of it. Best effort, for a copy out of the program's reach.
void ScrubFreedWideCopy(std::size_t characters) {
    constexpr std::size_t kGranularity = 16;
    const std::size_t copy =
        ((characters + 1) * sizeof(WCHAR) + kGranularity - 1) / kGranularity * kGranularity;
    const HANDLE heap = GetProcessHeap();
    for (std::size_t size = copy + 2 * kGranularity; size >= copy; size -= kGranularity) {
        std::array<void*, 8> blocks{};
        for (void*& block : blocks) {
            block = HeapAlloc(heap, HEAP_ZERO_MEMORY, size);
        }
        for (void* block : blocks) {
            if (block != nullptr) {
                HeapFree(heap, 0, block);
            }
        }
    }
}

}  // namespace

Status Win32NetworkSession::AddConnection(const std::string& remoteName, const std::string& userName,
                                          const Secret& password) {
    std::string remote = remoteName;
    std::string provider = kNetworkProvider;
    char noLocalDevice[] = "";
    NETRESOURCEA resource{};
    resource.dwScope = 0;
    resource.dwType = RESOURCETYPE_ANY;
    resource.dwDisplayType = 0;
    resource.dwUsage = 0;
    resource.lpLocalName = noLocalDevice;
    resource.lpRemoteName = remote.data();
    resource.lpComment = nullptr;
    resource.lpProvider = provider.data();
    // The password goes to the call in the secret's own storage, which is wiped once the call has
    // returned: no copy of it is made here.
    const DWORD result = WNetAddConnection2A(&resource, password.c_str(), userName.c_str(), 0);
    ScrubFreedWideCopy(password.size());
    return result == NO_ERROR ? Status() : Status::Failed(static_cast<std::int32_t>(result));
}

void Win32NetworkSession::CancelConnection(const std::string& remoteName) {
    // Nothing is left to report once the pass has written its lines: a connection that will not go
    // away ends with the process, so the result is not examined.
    static_cast<void>(WNetCancelConnection2A(remoteName.c_str(), 0, FALSE));
}

Result<std::string> Win32NetworkSession::NetworkMessage(std::int32_t error, bool fromNetworkMessages) {
    // Without the module (it may be missing) the system's own table alone answers. By its full path:
    // a data-file load by name would take a netmsg.dll planted in the program's folder first.
    UniqueModule module;
    if (fromNetworkMessages) {
        if (const std::string path = SystemDirectoryPath("netmsg.dll"); !path.empty()) {
            module.reset(LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
        }
    }
    return SystemMessage(static_cast<DWORD>(error), kNetworkTextSize, module.get());
}

void Win32NetworkSession::Notify(std::string_view text) {
    // The probe runs unattended: a debugger may listen, nobody clicks boxes.
    OutputDebugStringA(std::string(text).c_str());
}

}  // namespace zandrel::siftwell
