// Reads one key of one section from a settings file of the probes.
//
// The file is read as a sequence of fields (ended by a comma, a line end or the end of the file),
// and a setting is any field after the section header whose folded text begins with the key.
// Every call opens, scans and closes the file anew: nothing is cached.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace zandrel {

// What the reader answers for an absent section or key; callers compare with this exact text.
inline constexpr std::string_view kNotFound = "NOTFOUND";

// The scan itself, over the bytes of a settings file.
std::string FindIniValue(std::string_view fileText, std::string_view section, std::string_view key);

// Reads `fileName` in `directory` and returns the value, or kNotFound. An empty optional means the
// file could not be opened: the probe must end at once without writing anything.
[[nodiscard]] std::optional<std::string> ReadIniValue(std::string_view section, std::string_view key,
                                                      std::string_view fileName, std::string_view directory);

// One key of a probe's settings and the field of its settings record that takes the value.
template <typename Settings>
struct SettingKey {
    std::string_view key;
    std::string Settings::*field;
};

// Reads each key in turn from `fileName` in `directory`, the section being the file's own name, one
// ReadIniValue each, into its field (kNotFound when absent). Nothing when the file cannot be opened:
// the keys after that are not read.
template <typename Settings>
[[nodiscard]] std::optional<Settings> ReadSettings(std::string_view fileName, std::string_view directory,
                                                   std::span<const SettingKey<Settings>> keys) {
    Settings settings{};
    for (const SettingKey<Settings>& key : keys) {
        std::optional<std::string> value = ReadIniValue(fileName, key.key, fileName, directory);
        if (!value) {
            return std::nullopt;
        }
        settings.*key.field = std::move(*value);
    }
    return settings;
}

}  // namespace zandrel
