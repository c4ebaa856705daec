#include "tests/standin-server/core/HttpExchange.h"

#include <algorithm>

namespace zandrel::standin {
namespace {

const std::string& Page() {
    static const std::string page =
        "<!DOCTYPE html>\n"
        "<html><head><meta charset=\"utf-8\"><title>Zandrel Configuration</title></head>\n"
        "<body style=\"font-family:sans-serif;margin:2em\">\n"
        "<h1>Zandrel Configuration</h1>\n"
        "<p>Stand-in server for trying and testing the launcher. The monitoring server's own page "
        "appears here in a real installation.</p>\n"
        "<table><tr><th align=\"left\">Port</th><td>" +
        std::to_string(kPort) +
        "</td></tr>\n"
        "<tr><th align=\"left\">Status</th><td>Running</td></tr></table>\n"
        "</body></html>\n";
    return page;
}

std::string Response(std::string_view status, std::string_view contentType, std::string_view body) {
    std::string response = "HTTP/1.0 ";
    response += status;
    response += "\r\nContent-Type: ";
    response += contentType;
    response += "\r\nContent-Length: ";
    response += std::to_string(body.size());
    response += "\r\nConnection: close\r\n\r\n";
    response += body;
    return response;
}

// The request line as the log shows it: printable ASCII only, cut to a readable length.
std::string Printable(std::string_view line) {
    constexpr std::size_t kMaxLogged = 200;
    std::string text(line.substr(0, kMaxLogged));
    std::replace_if(
        text.begin(), text.end(), [](char c) { return c < 0x20 || c > 0x7e; }, '?');
    return text;
}

}  // namespace

Reply ReplyTo(std::string_view head) {
    const std::string_view line = head.substr(0, head.find("\r\n"));
    const std::size_t methodEnd = line.find(' ');
    const std::size_t targetEnd =
        methodEnd == std::string_view::npos ? methodEnd : line.find(' ', methodEnd + 1);
    Reply reply{"request: " + Printable(line), {}};
    if (targetEnd == std::string_view::npos || !line.substr(targetEnd + 1).starts_with("HTTP/")) {
        reply.response = Response("400 Bad Request", "text/plain", "Bad request\n");
        return reply;
    }
    const std::string_view method = line.substr(0, methodEnd);
    const std::string_view target = line.substr(methodEnd + 1, targetEnd - methodEnd - 1);
    if (method != "GET" && method != "HEAD") {
        reply.response = Response("405 Method Not Allowed", "text/plain", "Method not allowed\n");
    } else if (target != "/" && target != "/index.html") {
        reply.response = Response("404 Not Found", "text/plain", "Not found\n");
    } else {
        reply.response = Response("200 OK", "text/html; charset=utf-8", Page());
        if (method == "HEAD") {
            reply.response.resize(reply.response.size() - Page().size());
        }
    }
    return reply;
}

std::optional<Reply> RequestReader::Feed(std::string_view bytes) {
    if (answered_) {
        return std::nullopt;
    }
    // Look for the blank line only in the new bytes and the three before them.
    const std::size_t searchFrom = head_.size() < 3 ? 0 : head_.size() - 3;
    head_.append(bytes.substr(0, kMaxRequestHead + 4 - std::min(head_.size(), kMaxRequestHead + 4)));
    const std::size_t end = head_.find("\r\n\r\n", searchFrom);
    if (end != std::string::npos && end <= kMaxRequestHead) {
        answered_ = true;
        return ReplyTo(std::string_view(head_).substr(0, end));
    }
    if (head_.size() > kMaxRequestHead) {
        answered_ = true;
        return Reply{"request: (head too long)",
                     Response("431 Request Header Fields Too Large", "text/plain", "Request too long\n")};
    }
    return std::nullopt;
}

std::string ListeningLogLine() {
    return "listening on 127.0.0.1:" + std::to_string(kPort);
}

std::string ListenFailedLogLine(int error) {
    return "cannot listen on port " + std::to_string(kPort) + ": error " + std::to_string(error);
}

std::string ClosingLogLine() {
    return "WM_CLOSE received: ending";
}

std::string CommandLineLogLine(std::string_view commandLine) {
    return "command line: " + std::string(commandLine);
}

std::string ShowStateLogLine(std::optional<int> showState) {
    return "show state: " + (showState ? std::to_string(*showState) : std::string("not given"));
}

}  // namespace zandrel::standin
