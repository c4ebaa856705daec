#include <windows.h>
#include <winnetwk.h>

#include "Adapters.h"
#include "UniqueHandle.h"

namespace zandrel::siftwell {
namespace {

constexpr DWORD kNetworkTextSize = 256;
constexpr char kNetworkProvider[] = "Microsoft Windows Network";

}  // namespace

std::int32_t Win32NetworkSession::AddConnection(const std::string& remoteName, const std::string& userName,
                                                const std::string& password) {
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
    return static_cast<std::int32_t>(WNetAddConnection2A(&resource, password.c_str(), userName.c_str(), 0));
}

void Win32NetworkSession::CancelConnection(const std::string& remoteName) {
    WNetCancelConnection2A(remoteName.c_str(), 0, FALSE);
}

std::optional<std::string> Win32NetworkSession::NetworkMessage(std::int32_t error, bool fromNetworkMessages,
                                                               std::int32_t& formatError) {
    // No insert values exist for these texts: markers are shown as they stand instead of failing
    // the lookup.
    DWORD flags = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
    UniqueModule module;
    if (fromNetworkMessages) {
        module.reset(LoadLibraryExA("netmsg.dll", nullptr, LOAD_LIBRARY_AS_DATAFILE));
        if (module) {
            flags |= FORMAT_MESSAGE_FROM_HMODULE;
        }
    }
    char buffer[kNetworkTextSize];
    const DWORD length =
        FormatMessageA(flags, module.get(), static_cast<DWORD>(error), 0, buffer, kNetworkTextSize, nullptr);
    if (length == 0) {
        formatError = static_cast<std::int32_t>(GetLastError());
        return std::nullopt;
    }
    return std::string(buffer, length < kNetworkTextSize ? length : kNetworkTextSize);
}

void Win32NetworkSession::Notify(std::string_view text) {
    // The probe runs unattended: a debugger may listen, nobody clicks boxes.
    OutputDebugStringA(std::string(text).c_str());
}

}  // namespace zandrel::siftwell
