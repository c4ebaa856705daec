// Every text and address the launcher shows or opens, in one place.
#pragma once

#include <string>
#include <string_view>

#include "Failure.h"

namespace zandrel::launcher {

inline constexpr std::string_view kServerFileName = "zandrel-server.exe";
// The server's configuration page: the loopback host by name, its port, no path.
inline constexpr std::string_view kConfigurationPageAddress = "http://localhost:1272";
// A placeholder under the reserved .example domain until the vendor's site is known.
inline constexpr std::string_view kHelpPageAddress = "http://zandrel.example/help";
inline constexpr std::string_view kTrayTip = "Zandrel Configuration Server is running";
inline constexpr std::string_view kErrorTitle = "Error";
inline constexpr std::string_view kWindowTitle = "Zandrel";

// The system's text for a failure without the line break it ends with, or "Error N" when the system
// has no text for the number.
std::string SystemErrorDescription(const Failure& failure);
// The text of the box shown when the server cannot be started.
std::string StartFailureText(const Failure& failure);

}  // namespace zandrel::launcher
