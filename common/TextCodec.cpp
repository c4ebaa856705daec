#include "TextCodec.h"

namespace zandrel {
namespace {

constexpr char16_t kReplacement = 0xFFFD;

unsigned char Byte(std::string_view text, std::size_t at) {
    return static_cast<unsigned char>(text[at]);
}

void AppendCodePoint(char32_t code, std::u16string& wide) {
    if (code < 0x10000) {
        wide += static_cast<char16_t>(code);
    } else {
        code -= 0x10000;
        wide += static_cast<char16_t>(0xD800 + (code >> 10));
        wide += static_cast<char16_t>(0xDC00 + (code & 0x3FF));
    }
}

}  // namespace

std::size_t Utf8SequenceLength(std::string_view text) {
    if (text.empty()) {
        return 0;
    }
    const unsigned char lead = Byte(text, 0);
    if (lead < 0x80) {
        return 1;
    }
    // The range of the second byte depends on the lead: it rules out overlong forms, surrogates and
    // anything above U+10FFFF.
    std::size_t length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    if (text.size() < length || Byte(text, 1) < low || Byte(text, 1) > high) {
        return 0;
    }
    for (std::size_t i = 2; i < length; ++i) {
        if (Byte(text, i) < 0x80 || Byte(text, i) > 0xBF) {
            return 0;
        }
    }
    return length;
}

bool IsUtf8(std::string_view text) {
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t length = Utf8SequenceLength(text.substr(at));
        if (length == 0) {
            return false;
        }
        at += length;
    }
    return true;
}

void AppendUtf8AsWide(std::string_view text, std::u16string& wide) {
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t length = Utf8SequenceLength(text.substr(at));
        if (length == 0) {
            wide += kReplacement;
            ++at;
            continue;
        }
        static constexpr unsigned char kLeadMask[] = {0, 0x7F, 0x1F, 0x0F, 0x07};
        char32_t code = Byte(text, at) & kLeadMask[length];
        for (std::size_t i = 1; i < length; ++i) {
            code = (code << 6) | (Byte(text, at + i) & 0x3F);
        }
        AppendCodePoint(code, wide);
        at += length;
    }
}

std::string WideToUtf8(std::u16string_view wide) {
    std::string text;
    for (std::size_t at = 0; at < wide.size();) {
        const std::size_t length = WideCharacterLength(wide.substr(at));
        char32_t code = wide[at];
        if (length == 2) {
            code = 0x10000 + ((code - 0xD800) << 10) + (wide[at + 1] - 0xDC00);
        } else if (code >= 0xD800 && code <= 0xDFFF) {
            code = kReplacement;
        }
        at += length;
        if (code < 0x80) {
            text += static_cast<char>(code);
        } else if (code < 0x800) {
            text += static_cast<char>(0xC0 | (code >> 6));
            text += static_cast<char>(0x80 | (code & 0x3F));
        } else if (code < 0x10000) {
            text += static_cast<char>(0xE0 | (code >> 12));
            text += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            text += static_cast<char>(0x80 | (code & 0x3F));
        } else {
            text += static_cast<char>(0xF0 | (code >> 18));
            text += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
            text += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            text += static_cast<char>(0x80 | (code & 0x3F));
        }
    }
    return text;
}

}  // namespace zandrel
