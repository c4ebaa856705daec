// A stand-in for the monitoring server zandrel-server.exe, for trying and testing the launcher: it
// serves a small configuration page on 127.0.0.1:1272, owns a hidden top-level window without owner,
// and ends when that window receives WM_CLOSE. One thread: the sockets report to the window.
// Each request, and the close, is logged to zandrel-server.log beside the executable.
#include "Socket.h"
#include <windows.h>

#include <map>
#include <string>

#include "ExecutableDirectory.h"
#include "Paths.h"
#include "ResultFile.h"
#include "WindowProc.h"
#include "tests/standin-server/core/HttpExchange.h"

namespace zandrel::standin {
namespace {

constexpr char kWindowClass[] = "Zandrel.StandInServer";
constexpr UINT kSocketMessage = WM_APP + 1;
constexpr int kReceiveChunk = 4096;

struct Connection {
    UniqueSocket socket;
    RequestReader reader;
    std::string unsent;
    bool answered = false;
};

class Server {
  public:
    explicit Server(HWND window)
        : window_(window), logPath_(JoinPath(ValueOf(ExecutableDirectory()), kLogFileName)) {}

    bool Listen() {
        listener_.reset(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(kPort);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        // Exclusive: a second server on the port must fail, not share it.
        BOOL exclusive = TRUE;
        if (!listener_ ||
            setsockopt(listener_.get(), SOL_SOCKET, SO_EXCLUSIVEADDRUSE,
                       reinterpret_cast<const char*>(&exclusive), sizeof exclusive) != 0 ||
            bind(listener_.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
            listen(listener_.get(), SOMAXCONN) != 0 ||
            WSAAsyncSelect(listener_.get(), window_, kSocketMessage, FD_ACCEPT) != 0) {
            const int error = WSAGetLastError();
            Log(ListenFailedLogLine(error));
            return false;
        }
        Log(ListeningLogLine());
        return true;
    }

    void OnSocketEvent(SOCKET socket, WORD event, WORD error) {
        if (socket == listener_.get()) {
            Accept();
            return;
        }
        const auto found = connections_.find(socket);
        if (found == connections_.end()) {
            return;
        }
        Connection& connection = found->second;
        if (error != 0 || event == FD_CLOSE) {
            connections_.erase(found);
        } else if (event == FD_READ) {
            Receive(connection);
        } else if (event == FD_WRITE) {
            SendUnsent(connection);
        }
    }

    void Log(const std::string& line) const {
        // The log serves the tests; a log that cannot be written must not stop the server.
        (void)AppendResultLine(logPath_, line);
    }

  private:
    void Accept() {
        UniqueSocket accepted(accept(listener_.get(), nullptr, nullptr));
        if (!accepted ||
            WSAAsyncSelect(accepted.get(), window_, kSocketMessage, FD_READ | FD_WRITE | FD_CLOSE) != 0) {
            return;
        }
        const SOCKET id = accepted.get();
        connections_[id].socket = std::move(accepted);
    }

    void Receive(Connection& connection) {
        char buffer[kReceiveChunk];
        const int received = recv(connection.socket.get(), buffer, sizeof buffer, 0);
        if (received == SOCKET_ERROR && WSAGetLastError() == WSAEWOULDBLOCK) {
            return;
        }
        if (received <= 0) {
            connections_.erase(connection.socket.get());
            return;
        }
        if (std::optional<Reply> reply = connection.reader.Feed(std::string_view(buffer, received))) {
            Log(reply->logLine);
            connection.unsent = std::move(reply->response);
            connection.answered = true;
            SendUnsent(connection);
        }
    }

    void SendUnsent(Connection& connection) {
        while (!connection.unsent.empty()) {
            const int sent = send(connection.socket.get(), connection.unsent.data(),
                                  static_cast<int>(connection.unsent.size()), 0);
            if (sent == SOCKET_ERROR) {
                if (WSAGetLastError() != WSAEWOULDBLOCK) {
                    connections_.erase(connection.socket.get());
                }
                return;  // FD_WRITE tells when the rest can go
            }
            connection.unsent.erase(0, static_cast<std::size_t>(sent));
        }
        if (connection.answered) {
            shutdown(connection.socket.get(), SD_SEND);
            connections_.erase(connection.socket.get());
        }
    }

    HWND window_;
    std::string logPath_;
    UniqueSocket listener_;
    std::map<SOCKET, Connection> connections_;
};

Server* TheServer = nullptr;

LRESULT HandleServerMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case kSocketMessage:
            if (TheServer != nullptr) {
                TheServer->OnSocketEvent(static_cast<SOCKET>(wParam), WSAGETSELECTEVENT(lParam),
                                         WSAGETSELECTERROR(lParam));
            }
            return 0;
        case WM_CLOSE:
            if (TheServer != nullptr) {
                TheServer->Log(ClosingLogLine());
            }
            DestroyWindow(window);
            return 0;
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
        default:
            return DefWindowProcA(window, message, wParam, lParam);
    }
}

int Run(HINSTANCE instance) {
    WNDCLASSEXA windowClass{};
    windowClass.cbSize = sizeof windowClass;
    // A request that failed by throwing is dropped.
    windowClass.lpfnWndProc = &GuardedWindowProc<HandleServerMessage>;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = kWindowClass;
    if (RegisterClassExA(&windowClass) == 0) {
        return 1;
    }
    // Top-level, no owner, never shown: the window that the launcher's Exit closes.
    const HWND window =
        CreateWindowExA(0, kWindowClass, "Zandrel stand-in server", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                        CW_USEDEFAULT, 320, 200, nullptr, nullptr, instance, nullptr);
    if (window == nullptr) {
        return 1;
    }
    const WinsockSession winsock;
    Server server(window);
    // What the launcher's start looked like from here: the tests compare it with what it asked for.
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    GetStartupInfoA(&startup);
    server.Log(CommandLineLogLine(GetCommandLineA()));
    server.Log(ShowStateLogLine((startup.dwFlags & STARTF_USESHOWWINDOW) != 0
                                    ? std::optional<int>(startup.wShowWindow)
                                    : std::nullopt));
    if (!winsock || !server.Listen()) {
        DestroyWindow(window);
        return 1;
    }
    TheServer = &server;
    RunMessageLoop();
    TheServer = nullptr;
    return 0;
}

}  // namespace
}  // namespace zandrel::standin

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    return zandrel::standin::Run(instance);
}
