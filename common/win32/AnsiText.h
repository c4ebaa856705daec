// Conversion between the wide texts of COM and the system's ANSI code page, in which the probes read
// their settings and write their result files. Characters that the code page lacks become its
// default character.
#pragma once

#include <string>
#include <string_view>

namespace zandrel {

std::wstring AnsiToWide(std::string_view text);
std::string WideToAnsi(std::wstring_view text);

}  // namespace zandrel
