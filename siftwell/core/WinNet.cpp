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
    const Result<std::string> message = network.NetworkMessage(error, fromNetworkMessages);
    if (const Failure* failure = FailureOf(message)) {
        network.Notify(FormatMessageNotice(failure->number));
        return NetErrorLine(error, std::string());
    }
    return NetErrorLine(error, ValueOf(message));
}

bool OpenTargetSession(CaptureContext& context, const std::string& serverName, const std::string& userName,
                       SecretValue&& password) {
    NetworkSession& network = context.Ports().network;
    const bool noPassword = password.ansi.empty();
    Status added;
    {
        // Taken over here and wiped as the call returns, before any line is written.
        const SecretValue spent = std::move(password);
        added = network.AddConnection(RemoteName(serverName), userName, spent.text);
    }
    if (added.Ok()) {
        return true;
    }
    context.LogLine(ConnectionFailedLine(serverName, userName));
    context.LogLine(ConnectionDetailLine(NetErrorText(network, FailureOf(added)->number)));
    if (noPassword) {
        context.LogLine(PasswordNoteLine());
    }
    return false;
}

void CloseTargetSession(NetworkSession& network, const std::string& remoteName) {
    network.CancelConnection(remoteName);
}

}  // namespace zandrel::siftwell
