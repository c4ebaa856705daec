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
#include <type_traits>
#include <variant>

#include "Secret.h"
#include "TextCodec.h"

namespace zandrel {

// What the reader answers for an absent section or key; callers compare with this exact text.
inline constexpr std::string_view kNotFound = "NOTFOUND";
inline constexpr std::u16string_view kNotFoundWide = u"NOTFOUND";

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

// A value that must not outlive its use, the password: the same two forms, each a Secret, so that
// neither is ever kept inside the object or left behind by a move.
struct SecretValue {
    WideSecret text;
    Secret ansi;
    bool exact = true;
};

inline void EmptyIfNotFound(SecretValue& value) noexcept {
    if (value.ansi.View() == kNotFound) {
        value = SecretValue{};
    }
}

inline void EmptyIfNotFound(WideSecret& value) noexcept {
    if (value.View() == kNotFoundWide) {
        value = WideSecret{};
    }
}

// A fixed ASCII text as a value.
IniValue PlainValue(std::string_view ascii);

// The scan itself, over the bytes of a settings file. `section` and `key` are ASCII (UTF-8). `Value`
// is IniValue or SecretValue; a SecretValue is built in its own storage straight from the file's
// text, through scratch buffers that are wiped.
template <typename Value = IniValue>
Value FindIniValue(std::string_view fileBytes, std::string_view section, std::string_view key,
                   const TextCodec& codec);

// Reads `fileName` in `directory` and returns the value, or kNotFound. An empty optional means the
// file could not be opened: the probe must end at once without writing anything. Every buffer that
// held the file's text is wiped before the call returns; the C runtime reads it unbuffered.
template <typename Value = IniValue>
[[nodiscard]] std::optional<Value> ReadIniValue(std::string_view section, std::string_view key,
                                                std::string_view fileName, std::string_view directory,
                                                const TextCodec& codec);

extern template IniValue FindIniValue<IniValue>(std::string_view, std::string_view, std::string_view,
                                                const TextCodec&);
extern template SecretValue FindIniValue<SecretValue>(std::string_view, std::string_view, std::string_view,
                                                      const TextCodec&);
extern template std::optional<IniValue> ReadIniValue<IniValue>(std::string_view, std::string_view,
                                                               std::string_view, std::string_view,
                                                               const TextCodec&);
extern template std::optional<SecretValue> ReadIniValue<SecretValue>(std::string_view, std::string_view,
                                                                     std::string_view, std::string_view,
                                                                     const TextCodec&);

// One key of a probe's settings and the field of its settings record that takes the value: an
// IniValue, or for the password a SecretValue, or a WideSecret when only its characters are passed on
// (the ANSI form is then wiped as soon as it is read).
template <typename Settings>
struct SettingKey {
    std::string_view key;
    std::variant<IniValue Settings::*, SecretValue Settings::*, WideSecret Settings::*> field;
};

// Reads each key in turn from `fileName` in `directory`, the section being the file's own name, one
// ReadIniValue each, into its field (kNotFound when absent). Nothing when the file cannot be opened:
// the keys after that are not read, and the secrets read before are wiped.
template <typename Settings>
[[nodiscard]] std::optional<Settings> ReadSettings(std::string_view fileName, std::string_view directory,
                                                   std::span<const SettingKey<Settings>> keys,
                                                   const TextCodec& codec) {
    // Built where it is returned from, never moved: only the one record ever holds the values.
    std::optional<Settings> settings(std::in_place);
    for (const SettingKey<Settings>& key : keys) {
        const bool read = std::visit(
            [&](auto field) {
                using Field = std::remove_cvref_t<decltype(*settings.*field)>;
                using Value = std::conditional_t<std::is_same_v<Field, WideSecret>, SecretValue, Field>;
                std::optional<Value> value =
                    ReadIniValue<Value>(fileName, key.key, fileName, directory, codec);
                if (!value) {
                    return false;
                }
                if constexpr (std::is_same_v<Field, WideSecret>) {
                    *settings.*field = std::move(value->text);
                } else {
                    *settings.*field = std::move(*value);
                }
                return true;
            },
            key.field);
        if (!read) {
            settings.reset();
            break;
        }
    }
    return settings;
}

}  // namespace zandrel
