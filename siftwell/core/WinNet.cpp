#include "siftwell/core/WinNet.h"

#include "siftwell/core/Lines.h"

namespace zandrel::siftwell {
namespace {

constexpr std::int32_t kFirstNetworkManagementError = 2100;
constexpr std::int32_t kLastNetworkManagementError = 2999;

}  // namespace

std::string RemoteName(std::string_view serverName) {
    std::string name = "\\\\";
    name += serverName;
    name += "\\ipc$";
    return name;
}

std::string NetErrorText(NetworkSession& network, std::int32_t error) {
    const bool fromNetworkMessages =
        error >= kFirstNetworkManagementError && error <= kLastNetworkManagementError;
    std::int32_t formatError = 0;
    std::optional<std::string> message = network.NetworkMessage(error, fromNetworkMessages, formatError);
    if (!message) {
        network.Notify(FormatMessageNotice(formatError));
    }
    return NetErrorLine(error, message.value_or(std::string()));
}

bool OpenTargetSession(CaptureContext& context, const std::string& serverName, const std::string& userName,
                       const std::string& password) {
    NetworkSession& network = context.platform().network;
    const std::int32_t result = network.AddConnection(RemoteName(serverName), userName, password);
    if (result == 0) {
        return true;
    }
    context.LogLine(ConnectionFailedLine(serverName, userName));
    context.LogLine(ConnectionDetailLine(NetErrorText(network, result)));
    if (password.empty()) {
        context.LogLine(PasswordNoteLine());
    }
    return false;
}

void CloseTargetSession(NetworkSession& network, const std::string& remoteName) {
    network.CancelConnection(remoteName);
}

}  // namespace zandrel::siftwell
