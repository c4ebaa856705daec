#include "siftwell/core/MessageRules.h"

#include <cstddef>

namespace zandrel::siftwell {
namespace {

// "%11" to "%99": what a reference to an insert that no record can fill shows.
constexpr std::size_t kFirstUnfilledInsert = 11;
using InsertReference = std::array<char, 4>;
constexpr auto kUnfilledInsertTexts = [] {
    std::array<InsertReference, kInsertTableSize + 1 - kFirstUnfilledInsert> texts{};
    for (std::size_t i = 0; i < texts.size(); ++i) {
        const std::size_t number = i + kFirstUnfilledInsert;
        texts[i] = {'%', static_cast<char>('0' + number / 10), static_cast<char>('0' + number % 10), '\0'};
    }
    return texts;
}();

// The printf form of one insert: flags, width and precision as digits only, then s or hs.
bool IsNarrowStringFormat(std::string_view format) {
    std::size_t i = 0;
    while (i < format.size() && std::string_view("-+ #0").find(format[i]) != std::string_view::npos) {
        ++i;
    }
    const auto skipDigits = [&] {
        while (i < format.size() && format[i] >= '0' && format[i] <= '9') {
            ++i;
        }
    };
    skipDigits();
    if (i < format.size() && format[i] == '.') {
        ++i;
        skipDigits();
    }
    const std::string_view conversion = format.substr(i);
    return conversion == "s" || conversion == "hs";
}

}  // namespace

InsertArguments InsertTable(const MessageArgs& args) {
    InsertArguments table{};
    for (std::size_t i = 0; i < args.size(); ++i) {
        table[i] = args[i] ? args[i]->c_str() : nullptr;
    }
    for (std::size_t i = args.size(); i < table.size(); ++i) {
        table[i] = kUnfilledInsertTexts[i - args.size()].data();
    }
    return table;
}

bool HasUnsafeInsert(std::string_view messageTemplate) {
    const std::string_view text = messageTemplate;
    for (std::size_t i = 0; i + 1 < text.size(); ++i) {
        if (text[i] != '%') {
            continue;
        }
        if (text[i + 1] < '1' || text[i + 1] > '9') {
            ++i;  // an escape such as %% or %n
            continue;
        }
        std::size_t next = i + 2;
        if (next < text.size() && text[next] >= '0' && text[next] <= '9') {
            ++next;
        }
        if (next >= text.size() || text[next] != '!') {
            i = next - 1;  // a plain insert: its own string
            continue;
        }
        const std::size_t close = text.find('!', next + 1);
        if (close == std::string_view::npos ||
            !IsNarrowStringFormat(text.substr(next + 1, close - next - 1))) {
            return true;
        }
        i = close;
    }
    return false;
}

}  // namespace zandrel::siftwell
