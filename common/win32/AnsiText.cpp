#include "AnsiText.h"

#include <windows.h>

namespace zandrel {
namespace {

// The system's wide characters are UTF-16, as char16_t is.
const wchar_t* Wide(const char16_t* text) {
    return reinterpret_cast<const wchar_t*>(text);
}
wchar_t* Wide(char16_t* text) {
    return reinterpret_cast<wchar_t*>(text);
}

// Appends `wide` in `codePage` to `ansi`; false when a character had no form of its own there. UTF-8
// takes neither the best-fit flag nor the used-default flag (the call fails with them): there only a
// lone surrogate has no form, and the strict flag finds it.
bool AppendInCodePage(UINT codePage, const wchar_t* wide, int length, std::string& ansi) {
    if (length == 0) {
        return true;
    }
    const bool utf8 = codePage == CP_UTF8;
    BOOL usedDefault = FALSE;
    BOOL* const usedDefaultFlag = utf8 ? nullptr : &usedDefault;
    DWORD flags = utf8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
    int size = WideCharToMultiByte(codePage, flags, wide, length, nullptr, 0, nullptr, usedDefaultFlag);
    const bool strict = size > 0;
    if (!strict) {
        // The strict UTF-8 conversion refuses the whole text; the plain one shows what it can.
        flags = 0;
        size = WideCharToMultiByte(codePage, flags, wide, length, nullptr, 0, nullptr, nullptr);
        if (size <= 0) {
            return false;
        }
    }
    const std::size_t start = ansi.size();
    ansi.resize(start + static_cast<std::size_t>(size));
    usedDefault = FALSE;
    const int converted = WideCharToMultiByte(codePage, flags, wide, length, ansi.data() + start, size,
                                              nullptr, strict ? usedDefaultFlag : nullptr);
    ansi.resize(start + static_cast<std::size_t>(converted > 0 ? converted : 0));
    return strict && converted == size && !usedDefault;
}

}  // namespace

std::wstring AnsiToWide(std::string_view text) {
    if (text.empty()) {
        return {};
    }
    const int size = static_cast<int>(text.size());
    const int length = MultiByteToWideChar(CP_ACP, 0, text.data(), size, nullptr, 0);
    std::wstring wide(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.data(), size, wide.data(), length);
    return wide;
}

std::string WideToAnsi(std::wstring_view text) {
    if (text.empty()) {
        return {};
    }
    const int size = static_cast<int>(text.size());
    const int length = WideCharToMultiByte(CP_ACP, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
    std::string ansi(static_cast<size_t>(length), '\0');
    WideCharToMultiByte(CP_ACP, 0, text.data(), size, ansi.data(), length, nullptr, nullptr);
    return ansi;
}

std::optional<std::string> ExactAnsi(std::wstring_view text, unsigned codePage) {
    std::string ansi;
    if (!AppendInCodePage(codePage == CP_ACP ? GetACP() : codePage, text.data(),
                          static_cast<int>(text.size()), ansi)) {
        return std::nullopt;
    }
    return ansi;
}

void Win32TextCodec::AppendWide(std::string_view ansi, std::u16string& wide) const {
    if (ansi.empty()) {
        return;
    }
    const int size = static_cast<int>(ansi.size());
    const int length = MultiByteToWideChar(CP_ACP, 0, ansi.data(), size, nullptr, 0);
    if (length <= 0) {
        return;
    }
    const std::size_t start = wide.size();
    wide.resize(start + static_cast<std::size_t>(length));
    const int converted =
        MultiByteToWideChar(CP_ACP, 0, ansi.data(), size, Wide(wide.data() + start), length);
    wide.resize(start + static_cast<std::size_t>(converted > 0 ? converted : 0));
}

std::size_t Win32TextCodec::AnsiCharacterLength(std::string_view ansi) const {
    const UINT codePage = GetACP();
    if (codePage == CP_UTF8) {
        const std::size_t length = Utf8SequenceLength(ansi);
        return length == 0 ? 1 : length;
    }
    // The double-byte code pages are the only ANSI ones with characters longer than a byte.
    return ansi.size() >= 2 && IsDBCSLeadByteEx(codePage, static_cast<BYTE>(ansi[0])) ? 2 : 1;
}

bool Win32TextCodec::AppendAnsi(std::u16string_view wide, std::string& ansi) const {
    return AppendInCodePage(GetACP(), Wide(wide.data()), static_cast<int>(wide.size()), ansi);
}

void Win32TextCodec::FoldCase(std::u16string_view text, std::u16string& folded) const {
    folded.assign(text);
    if (text.empty()) {
        return;
    }
    // Linguistic casing in the invariant locale is Unicode's simple mapping, the same in every
    // locale; file-system casing (the default) has no lower case for U+0130.
    const int length = static_cast<int>(text.size());
    const int mapped =
        LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_LOWERCASE | LCMAP_LINGUISTIC_CASING, Wide(text.data()),
                      length, Wide(folded.data()), length, nullptr, nullptr, 0);
    // A mapping that fails or changes the length compares as the text unfolded.
    if (mapped != length) {
        folded.assign(text);
    }
}

}  // namespace zandrel
