// What the settings reader needs to know of the system's text: the characters of its ANSI code
// page and its lower-case mapping. Wide text is UTF-16, as the system's own wide characters are.
//
// The Windows adapter is Win32TextCodec (common/win32/AnsiText.h); the tests use a fake with a few
// code pages of its own (common/tests/FakeTextCodec.h). UTF-8 and UTF-16 need no system and are read
// by the helpers below.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace zandrel {

class TextCodec {
  public:
    virtual ~TextCodec() = default;

    // Appends the characters of `ansi`, text in the system's ANSI code page, to `wide`.
    virtual void AppendWide(std::string_view ansi, std::u16string& wide) const = 0;

    // The bytes of the character that `ansi` (not empty) begins with in the ANSI code page: 1, or
    // the length of a longer character when all its bytes are there.
    virtual std::size_t AnsiCharacterLength(std::string_view ansi) const = 0;

    // Appends `wide` in the ANSI code page to `ansi`: each character the code page holds as it is,
    // any other as the code page's default character, never as a look-alike. False when any
    // character was not held as it is.
    [[nodiscard]] virtual bool AppendAnsi(std::u16string_view wide, std::string& ansi) const = 0;

    // `text` in lower case into `folded` (replacing what it held), by the system's simple mapping of
    // single characters that is the same in every locale: "I" is "i" in Turkish too.
    virtual void FoldCase(std::u16string_view text, std::u16string& folded) const = 0;
};

// The length of the well-formed UTF-8 sequence that `text` begins with; 0 when it begins with none.
std::size_t Utf8SequenceLength(std::string_view text);

// Whether all of `text` is well-formed UTF-8.
bool IsUtf8(std::string_view text);

// Appends the characters of UTF-8 `text` to `wide`; a byte that begins no well-formed sequence
// becomes U+FFFD.
void AppendUtf8AsWide(std::string_view text, std::u16string& wide);

// `wide` as UTF-8; a lone surrogate becomes U+FFFD.
std::string WideToUtf8(std::u16string_view wide);

// The UTF-16 units of the character that `wide` (not empty) begins with: 2 for a surrogate pair.
inline std::size_t WideCharacterLength(std::u16string_view wide) {
    return wide.size() >= 2 && wide[0] >= 0xD800 && wide[0] <= 0xDBFF && wide[1] >= 0xDC00 &&
                   wide[1] <= 0xDFFF
               ? 2
               : 1;
}

}  // namespace zandrel
