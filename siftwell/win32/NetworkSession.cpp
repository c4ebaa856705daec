#include <windows.h>
#include <winnetwk.h>

#include <string>

#include "AnsiText.h"
#include "siftwell/win32/Adapters.h"
#include "siftwell/win32/SystemDirectory.h"
#include "SystemMessage.h"
#include "UniqueHandle.h"

namespace zandrel::siftwell {
namespace {

constexpr DWORD kNetworkTextSize = 256;
constexpr wchar_t kNetworkProvider[] = L"Microsoft Windows Network";

// The system's wide characters are UTF-16, as the secret's are.
static_assert(sizeof(wchar_t) == sizeof(char16_t));

}  // namespace

Status Win32NetworkSession::AddConnection(const std::string& remoteName, const std::string& userName,
                                          const WideSecret& password) {
    // The wide call, the one exception among the probe's network calls: the ANSI one would convert
    // the password into a heap copy of its own that it frees unwiped. The settings reader holds the
    // password's characters exactly (the run stops before this when any has no ANSI form), and the
    // names are plain text that converts both ways.
    std::wstring remote = AnsiToWide(remoteName);
    const std::wstring user = AnsiToWide(userName);
    std::wstring provider = kNetworkProvider;
    wchar_t noLocalDevice[] = L"";
    NETRESOURCEW resource{};
    resource.dwScope = 0;
    resource.dwType = RESOURCETYPE_ANY;
    resource.dwDisplayType = 0;
    resource.dwUsage = 0;
    resource.lpLocalName = noLocalDevice;
    resource.lpRemoteName = remote.data();
    resource.lpComment = nullptr;
    resource.lpProvider = provider.data();
    // Straight from the secret's own storage, which is wiped once the call has returned. What MPR and
    // the network provider keep of it on their side is out of the program's reach.
    const DWORD result =
        WNetAddConnection2W(&resource, reinterpret_cast<const wchar_t*>(password.c_str()), user.c_str(), 0);
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
