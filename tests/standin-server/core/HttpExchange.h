// The stand-in server's one conversation per connection: collect a request's head, answer it, close.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace zandrel::standin {

inline constexpr unsigned short kPort = 1272;
// A request head longer than this is refused rather than buffered.
inline constexpr std::size_t kMaxRequestHead = 8192;
inline constexpr std::string_view kLogFileName = "zandrel-server.log";

struct Reply {
    std::string logLine;   // what the request log records for this request
    std::string response;  // the whole HTTP response, headers and body
};

class RequestReader {
  public:
    // Adds received bytes; gives the reply once the head is complete or cannot become valid.
    std::optional<Reply> Feed(std::string_view bytes);

  private:
    std::string head_;
    bool answered_ = false;
};

// The reply to one complete request head (without its closing blank line).
Reply ReplyTo(std::string_view head);

// Lines of the request log other than requests.
std::string ListeningLogLine();
std::string ListenFailedLogLine(int error);
std::string ClosingLogLine();
// How the server was started, as its starter asked for it: the whole command line, and the show state
// of its first window when the starter gave one (STARTF_USESHOWWINDOW).
std::string CommandLineLogLine(std::string_view commandLine);
std::string ShowStateLogLine(std::optional<int> showState);

}  // namespace zandrel::standin
