// Ownership of Windows Sockets: the library's start-up for a scope, and a socket. Include this before
// <windows.h>, which otherwise brings the first version's declarations.
#pragma once

#include <winsock2.h>

#include "UniqueHandle.h"

namespace zandrel {

// socket() and accept() answer INVALID_SOCKET, not null, when they fail.
struct SocketTraits {
    using Handle = SOCKET;
    static Handle Invalid() noexcept { return INVALID_SOCKET; }
    static void Close(Handle socket) noexcept { closesocket(socket); }
};

using UniqueSocket = UniqueHandle<SocketTraits>;

// Windows Sockets 2.2 for the life of the object; cleaned up only when the start-up succeeded.
class WinsockSession {
  public:
    WinsockSession() noexcept {
        WSADATA data{};
        started_ = WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }
    WinsockSession(const WinsockSession&) = delete;
    WinsockSession& operator=(const WinsockSession&) = delete;
    ~WinsockSession() {
        if (started_) {
            WSACleanup();
        }
    }

    explicit operator bool() const noexcept { return started_; }

  private:
    bool started_ = false;
};

}  // namespace zandrel
