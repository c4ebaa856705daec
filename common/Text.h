// Small text helpers that the programs share.
#pragma once

#include <cstddef>
#include <string_view>

namespace zandrel {

// `text` without the blanks (U+0020 only: tabs and line breaks stay) at either end.
inline std::string_view TrimBlanks(std::string_view text) {
    const std::size_t first = text.find_first_not_of(' ');
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

}  // namespace zandrel
