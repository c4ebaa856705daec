// Small text helpers that the programs share.
#pragma once

#include <cstddef>
#include <string_view>

namespace zandrel {

// `text` without the blanks (U+0020 only: tabs and line breaks stay) at either end.
template <typename Char>
std::basic_string_view<Char> TrimBlanks(std::basic_string_view<Char> text) {
    const std::size_t first = text.find_first_not_of(Char{' '});
    if (first == std::basic_string_view<Char>::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(Char{' '}) - first + 1);
}

inline std::string_view TrimBlanks(std::string_view text) {
    return TrimBlanks<char>(text);
}

}  // namespace zandrel
