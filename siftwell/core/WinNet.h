// The authenticated connection to the target host's IPC$ share, and the text of its failures.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "INIfiles.h"
#include "siftwell/core/CaptureContext.h"
#include "siftwell/core/Ports.h"

namespace zandrel::siftwell {

// Two backslashes, the server exactly as configured, "\ipc$".
std::string RemoteName(std::string_view serverName);

// "ERROR: " + number + " - " + the system's text, untrimmed. Texts of 2100 to 2999 come first
// from the network management messages. No text found leaves the message empty; the probe runs
// unattended, so that is only told to a debugger, never in a box that would wait for a click.
std::string NetErrorText(NetworkSession& network, std::int32_t error);

// True when the connection stands; otherwise its failure lines are written. The password is used up:
// it is wiped as soon as the connection call has returned.
bool OpenTargetSession(CaptureContext& context, const std::string& serverName, const std::string& userName,
                       SecretValue&& password);

void CloseTargetSession(NetworkSession& network, const std::string& remoteName);

// An opened connection, cancelled on every way out of the run: one left behind would make later
// runs with other credentials fail.
class TargetSession {
  public:
    TargetSession(NetworkSession& network, std::string remoteName)
        : network_(network), remoteName_(std::move(remoteName)) {}
    TargetSession(const TargetSession&) = delete;
    TargetSession& operator=(const TargetSession&) = delete;
    ~TargetSession() { CloseTargetSession(network_, remoteName_); }

  private:
    NetworkSession& network_;
    std::string remoteName_;
};

}  // namespace zandrel::siftwell
