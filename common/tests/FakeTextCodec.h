// The ANSI code pages that the tests read settings in, as far as the tests need them: ASCII in
// each; in 1252 and 1254 every upper byte one character (the bytes that 1252 leaves undefined are
// the C1 controls, as Windows has them); in 932, 936, 949 and 950 their lead bytes and the pairs the
// tests use, any other pair being U+FFFD; 65001 is UTF-8. Lower case folds ASCII, Latin-1, Greek and
// full-width Latin capitals, and U+0130 to "i".
#pragma once

#include <algorithm>
#include <map>
#include <string>
#include <string_view>

#include "TextCodec.h"

namespace zandrel::testing {

class FakeTextCodec final : public TextCodec {
  public:
    explicit FakeTextCodec(int codePage = 1252) : codePage_(codePage) {
        switch (codePage) {
            case 1254:
                upper_ = {{0xD0, u'\u011E'}, {0xDD, u'\u0130'}, {0xDE, u'\u015E'},
                          {0xF0, u'\u011F'}, {0xFD, u'\u0131'}, {0xFE, u'\u015F'}};
                break;
            case 932:
                pairs_ = {{"\x81\x81", u'\uFF1D'}, {"\x95\x5C", u'\u8868'}};
                break;
            case 936:
            case 949:
                pairs_ = {{"\xA3\xBD", u'\uFF1D'}};
                break;
            case 950:
                pairs_ = {{"\xA1\xD7", u'\uFF1D'}};
                break;
            default:
                break;
        }
    }

    void AppendWide(std::string_view ansi, std::u16string& wide) const override {
        if (codePage_ == 65001) {
            AppendUtf8AsWide(ansi, wide);
            return;
        }
        for (std::size_t at = 0; at < ansi.size();) {
            const std::size_t length = AnsiCharacterLength(ansi.substr(at));
            wide += Character(ansi.substr(at, length));
            at += length;
        }
    }

    std::size_t AnsiCharacterLength(std::string_view ansi) const override {
        if (codePage_ == 65001) {
            return std::max<std::size_t>(Utf8SequenceLength(ansi), 1);
        }
        return IsDoubleByte() && IsLead(static_cast<unsigned char>(ansi[0])) && ansi.size() >= 2 ? 2 : 1;
    }

    bool AppendAnsi(std::u16string_view wide, std::string& ansi) const override {
        if (codePage_ == 65001) {
            ansi += WideToUtf8(wide);
            for (std::size_t at = 0; at < wide.size(); at += WideCharacterLength(wide.substr(at))) {
                if (wide[at] >= 0xD800 && wide[at] <= 0xDFFF && WideCharacterLength(wide.substr(at)) == 1) {
                    return false;
                }
            }
            return true;
        }
        bool exact = true;
        for (const char16_t c : wide) {
            const std::string bytes = Bytes(c);
            exact = exact && !bytes.empty();
            ansi += bytes.empty() ? std::string("?") : bytes;
        }
        return exact;
    }

    void FoldCase(std::u16string_view text, std::u16string& folded) const override {
        folded.assign(text);
        for (char16_t& c : folded) {
            if ((c >= u'A' && c <= u'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7) ||
                (c >= 0x391 && c <= 0x3A9 && c != 0x3A2) || (c >= 0xFF21 && c <= 0xFF3A)) {
                c = static_cast<char16_t>(c + 0x20);
            } else if (c == 0x130) {
                c = u'i';
            }
        }
    }

  private:
    bool IsDoubleByte() const {
        return codePage_ == 932 || codePage_ == 936 || codePage_ == 949 || codePage_ == 950;
    }
    bool IsLead(unsigned char byte) const {
        return codePage_ == 932 ? (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC)
                                : byte >= 0x81 && byte <= 0xFE;
    }

    char16_t Character(std::string_view bytes) const {
        const auto byte = static_cast<unsigned char>(bytes[0]);
        if (bytes.size() == 2) {
            const auto pair = pairs_.find(std::string(bytes));
            return pair == pairs_.end() ? u'\uFFFD' : pair->second;
        }
        if (byte < 0x80) {
            return byte;
        }
        if (IsDoubleByte()) {
            return u'\uFFFD';
        }
        if (const auto upper = upper_.find(byte); upper != upper_.end()) {
            return upper->second;
        }
        return byte == 0x80 ? u'\u20AC' : byte;
    }

    // The code page's bytes for `c`, or nothing when it has none.
    std::string Bytes(char16_t c) const {
        if (c < 0x80) {
            return std::string(1, static_cast<char>(c));
        }
        for (const auto& [bytes, character] : pairs_) {
            if (character == c) {
                return bytes;
            }
        }
        if (IsDoubleByte()) {
            return {};
        }
        for (unsigned byte = 0x80; byte <= 0xFF; ++byte) {
            if (Character(std::string(1, static_cast<char>(byte))) == c) {
                return std::string(1, static_cast<char>(byte));
            }
        }
        return {};
    }

    int codePage_;
    std::map<unsigned char, char16_t> upper_;
    std::map<std::string, char16_t> pairs_;
};

}  // namespace zandrel::testing
