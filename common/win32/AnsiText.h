// Conversion between wide text and the system's ANSI code page, in which the programs make their
// Windows calls and write their result files.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "TextCodec.h"

namespace zandrel {

// For the texts that come from the system (dates, the management service's answers) and go only into
// a line: characters that the code page lacks become its best-fit look-alike or its default character.
std::wstring AnsiToWide(std::string_view text);
std::string WideToAnsi(std::wstring_view text);

// `text` in code page `codePage` (0: the ANSI code page) when every character has a form of its
// own there; nothing when any would become a look-alike or the default character.
std::optional<std::string> ExactAnsi(std::wstring_view text, unsigned codePage = 0);

// The settings reader's view of the system: MultiByteToWideChar and WideCharToMultiByte with the
// ANSI code page, IsDBCSLeadByteEx, and LCMapStringEx with the invariant locale's linguistic lower
// case (the plain one leaves U+0130 as it is).
class Win32TextCodec final : public TextCodec {
  public:
    void AppendWide(std::string_view ansi, std::u16string& wide) const override;
    std::size_t AnsiCharacterLength(std::string_view ansi) const override;
    bool AppendAnsi(std::u16string_view wide, std::string& ansi) const override;
    void FoldCase(std::u16string_view text, std::u16string& folded) const override;
};

}  // namespace zandrel
