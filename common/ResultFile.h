// The probes' result files: text lines in the system ANSI code page, each ended by CR LF, and each
// written by one complete open, append and close, so the file is never held between lines.
#pragma once

#include <string>
#include <string_view>

namespace zandrel {

// Appends `text` and CR LF to the file at `path`, creating it when absent. Bytes are written as they
// are, NULs and line breaks included. False when the file could not be opened or fully written.
[[nodiscard]] bool AppendResultLine(const std::string& path, std::string_view text);

}  // namespace zandrel
