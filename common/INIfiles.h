// Reads one key of one section from a settings file of the probes.
//
// The file is read in the encoding it was saved in: a UTF-8 or UTF-16 LE byte order mark decides it;
// text without one that is well-formed UTF-8 and holds at least one character beyond ASCII is UTF-8;
// anything else is the system's ANSI code page. It is read as a sequence of fields (ended by a comma,
// a line end or the end of the file), and a setting is any field after the section header whose
// folded text begins with the key. Every call opens, scans and closes the file anew: nothing is cached.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "TextCodec.h"
#include "Wipe.h"

namespace zandrel {

// What the reader answers for an absent section or key; callers compare with this exact text.
inline constexpr std::string_view kNotFound = "NOTFOUND";

// A value in the two forms the programs pass on: its characters, for calls that take wide text, and
// its text in the ANSI code page, for the ANSI calls and the result files. A value from an ANSI file
// keeps its bytes as they stand; one from a UTF-8 or UTF-16 file is converted, and a character that
// the code page lacks shows as its default character, never as a look-alike.
struct IniValue {
    std::u16string text;
    std::string ansi;
    bool exact = true;  // ansi holds every character of text as it is

    bool operator==(const IniValue&) const = default;
};

// The reader's kNotFound as the empty text, in both forms; any other value stays as read. The one
// way the programs turn an absent setting into an empty one.
inline void EmptyIfNotFound(IniValue& value) noexcept {
    if (value.ansi == kNotFound) {
        value.text.clear();
        value.ansi.clear();
    }
}

// A fixed ASCII text as a value.
IniValue PlainValue(std::string_view ascii);

// Zeroes both forms of a value (a password's), the source of a move included: a short text stays in
// the moved-from object itself.
inline void WipeValue(IniValue& value) noexcept {
    WipeText(value.text);
    WipeText(value.ansi);
}

// The scan itself, over the bytes of a settings file. `section` and `key` are ASCII (UTF-8).
IniValue FindIniValue(std::string_view fileBytes, std::string_view section, std::string_view key,
                      const TextCodec& codec);

// Reads `fileName` in `directory` and returns the value, or kNotFound. An empty optional means the
// file could not be opened: the probe must end at once without writing anything. Every buffer that
// held the file's text is wiped before the call returns.
[[nodiscard]] std::optional<IniValue> ReadIniValue(std::string_view section, std::string_view key,
                                                   std::string_view fileName, std::string_view directory,
                                                   const TextCodec& codec);

// One key of a probe's settings and the field of its settings record that takes the value.
template <typename Settings>
struct SettingKey {
    std::string_view key;
    IniValue Settings::*field;
};

// Reads each key in turn from `fileName` in `directory`, the section being the file's own name, one
// ReadIniValue each, into its field (kNotFound when absent). Nothing when the file cannot be opened:
// the keys after that are not read.
template <typename Settings>
[[nodiscard]] std::optional<Settings> ReadSettings(std::string_view fileName, std::string_view directory,
                                                   std::span<const SettingKey<Settings>> keys,
                                                   const TextCodec& codec) {
    Settings settings{};
    for (const SettingKey<Settings>& key : keys) {
        std::optional<IniValue> value = ReadIniValue(fileName, key.key, fileName, directory, codec);
        if (!value) {
            return std::nullopt;
        }
        settings.*key.field = std::move(*value);
        WipeValue(*value);
    }
    return settings;
}

}  // namespace zandrel
