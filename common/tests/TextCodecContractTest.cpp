// What the settings reader takes from a TextCodec, checked against the fake the core tests read
// settings with (in each code page it has) and, in the Windows build, against the system's codec in
// the code page the run is in: the locale runs give it 932, 1254 and UTF-8 (see common/CMakeLists.txt).
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "TextCodec.h"

#ifdef _WIN32
#include <windows.h>

#include "AnsiText.h"
#else
#include "FakeTextCodec.h"
#endif

namespace zandrel {
namespace {

struct CodecUnderTest {
    unsigned codePage;
    std::shared_ptr<const TextCodec> codec;
};

std::vector<CodecUnderTest> CodecsUnderTest() {
#ifdef _WIN32
    return {{GetACP(), std::make_shared<Win32TextCodec>()}};
#else
    std::vector<CodecUnderTest> codecs;
    for (const unsigned codePage : {1252u, 1254u, 932u, 65001u}) {
        codecs.push_back({codePage, std::make_shared<testing::FakeTextCodec>(static_cast<int>(codePage))});
    }
    return codecs;
#endif
}

// Text that the code page holds, as its bytes and as its characters: each reads as the other.
TEST(TextCodecContract, ACodePagesOwnCharactersGoBothWays) {
    const struct {
        unsigned codePage;
        std::string ansi;
        std::u16string wide;
    } kRows[] = {
        {1252, "M\xFCller \x80", u"M\u00FCller \u20AC"},
        {1252, "\x81", u"\u0081"},  // a byte 1252 leaves undefined is its C1 control
        {1254, "\xDD\xFD\xD0", u"\u0130\u0131\u011E"},
        {932, "\x81\x81\x95\x5C", u"\uFF1D\u8868"},  // 0x5C as a trail byte is no backslash
        {65001, "\xEF\xBC\x9D\xC3\xA4", u"\uFF1D\u00E4"},
    };
    for (const CodecUnderTest& under : CodecsUnderTest()) {
        // The suite runs only in code pages it has rows for.
        EXPECT_TRUE(std::any_of(std::begin(kRows), std::end(kRows),
                                [&under](const auto& row) { return row.codePage == under.codePage; }))
            << "no rows for code page " << under.codePage;
        for (const auto& row : kRows) {
            if (row.codePage != under.codePage) {
                continue;
            }
            SCOPED_TRACE(row.codePage);
            std::u16string wide = u"<";
            under.codec->AppendWide(row.ansi, wide);
            EXPECT_EQ(wide, u"<" + row.wide);
            std::string ansi = "<";
            EXPECT_TRUE(under.codec->AppendAnsi(row.wide, ansi));
            EXPECT_EQ(ansi, "<" + row.ansi);
        }
    }
}

// A character the code page lacks becomes its default character, never a look-alike, and says so.
TEST(TextCodecContract, ACharacterTheCodePageLacksIsNoLookAlike) {
    const struct {
        unsigned codePage;
        std::u16string wide;
        std::string ansi;
    } kRows[] = {
        {1252, u"\u03A9mega", "?mega"},
        {1252, u"\u0142", "?"},  // best fit would give "l"
        {1254, u"\u0142", "?"},
        {932, u"\u00C4", "?"},  // best fit would give "A"
        {65001, u"\xD800x", "\xEF\xBF\xBDx"},
    };
    for (const CodecUnderTest& under : CodecsUnderTest()) {
        for (const auto& row : kRows) {
            if (row.codePage != under.codePage) {
                continue;
            }
            SCOPED_TRACE(row.codePage);
            std::string ansi;
            EXPECT_FALSE(under.codec->AppendAnsi(row.wide, ansi));
            EXPECT_EQ(ansi, row.ansi);
        }
    }
}

// A key is found by its characters: a double-byte character is never split, so its trail byte is
// never read as a separator or a backslash.
TEST(TextCodecContract, CharacterLengthsInBytes) {
    const struct {
        unsigned codePage;
        std::string ansi;
        std::size_t length;
    } kRows[] = {
        {1252, "\xE4=", 1},          {1254, "\xDD=", 1},  {932, "\x95\x5C=", 2},
        {932, "\x81\x81", 2},        {932, "\x95", 1},  // a lead byte at the end stands alone
        {932, "\xB1=", 1},                              // a half-width katakana is one byte
        {65001, "\xEF\xBC\x9D=", 3}, {65001, "\xFF=", 1},
    };
    for (const CodecUnderTest& under : CodecsUnderTest()) {
        for (const auto& row : kRows) {
            if (row.codePage == under.codePage) {
                EXPECT_EQ(under.codec->AnsiCharacterLength(row.ansi), row.length) << row.codePage;
            }
        }
    }
}

// UTF-8 settings files are decoded without the system, by rules that must be the system's own: each
// boundary of the encoding once from each side, in both directions. The Windows build checks every
// well-formed row against the system's UTF-8 as well, and every ill-formed one is refused by it.
TEST(TextCodecContract, Utf8AtEveryBoundaryOfTheEncoding) {
    const struct {
        std::string utf8;
        std::u16string wide;  // what the bytes read as: U+FFFD for each byte that begins no character
        bool wellFormed;
    } kRows[] = {
        {"", u"", true},
        {"\x7F", u"\x7F", true},
        {"\xC2\x80", u"\u0080", true},  // the lowest lead byte: the no-break space, "£", "§", "°", "µ"
        {"\xC2\xBF", u"\u00BF", true},
        {"\xDF\xBF", u"\u07FF", true},
        {"\xE0\xA0\x80", u"\u0800", true},
        {"\xED\x9F\xBF", u"\uD7FF", true},
        {"\xEE\x80\x80", u"\uE000", true},
        {"\xEF\xBF\xBF", u"\uFFFF", true},
        {"\xF0\x90\x80\x80", u"\U00010000", true},
        {"\xF0\x9F\x98\x80", u"\U0001F600", true},
        {"\xF4\x8F\xBF\xBF", u"\U0010FFFF", true},
        {"\xC0\x80", u"\uFFFD\uFFFD", false},  // overlong forms
        {"\xC1\xBF", u"\uFFFD\uFFFD", false},
        {"\xE0\x9F\xBF", u"\uFFFD\uFFFD\uFFFD", false},
        {"\xF0\x8F\xBF\xBF", u"\uFFFD\uFFFD\uFFFD\uFFFD", false},
        {"\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD", false},  // surrogates
        {"\xED\xBF\xBF", u"\uFFFD\uFFFD\uFFFD", false},
        {"\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD", false},  // above U+10FFFF
        {"\xF5\x80\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD", false},
        {"\x80", u"\uFFFD", false},
        {"\xFF", u"\uFFFD", false},
        {"\xC2\x7F", u"\uFFFD\x7F", false},  // a trail byte out of range on each side
        {"\xC2\xC0", u"\uFFFD\uFFFD", false},
        {"\xE1\x80\x7F", u"\uFFFD\uFFFD\x7F", false},
        {"\xE1\xC0\x80", u"\uFFFD\uFFFD\uFFFD", false},
        {"\xE1\x80\xC0", u"\uFFFD\uFFFD\uFFFD", false},
        {"\xF1\x80\x80\xC0", u"\uFFFD\uFFFD\uFFFD\uFFFD", false},
        {"\xC2", u"\uFFFD", false},  // cut off by the end of the text
        {"\xE0\xA0", u"\uFFFD\uFFFD", false},
        {"\xF0\x90\x80", u"\uFFFD\uFFFD\uFFFD", false},
    };
    for (const auto& row : kRows) {
        SCOPED_TRACE(::testing::PrintToString(row.utf8));
        std::u16string wide = u"<";
        AppendUtf8AsWide(row.utf8, wide);
        EXPECT_EQ(wide, u"<" + row.wide);
        EXPECT_EQ(IsUtf8("a" + row.utf8 + "b"), row.wellFormed);
        EXPECT_EQ(Utf8SequenceLength(row.utf8), row.wellFormed ? row.utf8.size() : 0);
        if (row.wellFormed) {
            EXPECT_EQ(WideToUtf8(row.wide), row.utf8);
        }
#ifdef _WIN32
        const int size = static_cast<int>(row.utf8.size());
        std::wstring system(row.utf8.size(), L'\0');
        const int length =
            MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, row.utf8.data(), size, system.data(), size);
        if (row.wellFormed) {
            system.resize(static_cast<std::size_t>(length > 0 ? length : 0));
            EXPECT_EQ(std::u16string(system.begin(), system.end()), row.wide);
        } else {
            EXPECT_EQ(length, 0) << "the system takes an ill-formed sequence";
        }
#endif
    }
}

// Wide text goes out as UTF-8 by the same boundaries; a surrogate that is not half of a pair has no
// UTF-8 form and becomes U+FFFD (the system refuses it).
TEST(TextCodecContract, WideToUtf8AtTheSurrogatesEdges) {
    const struct {
        std::u16string wide;
        std::string utf8;
    } kRows[] = {
        {u"\xD800", "\xEF\xBF\xBD"},
        {u"\xDFFF", "\xEF\xBF\xBD"},
        {u"\xD7FF\xDC00", "\xED\x9F\xBF\xEF\xBF\xBD"},
        {u"\xDC00\xDC00", "\xEF\xBF\xBD\xEF\xBF\xBD"},
        {u"\xD800\xDBFF", "\xEF\xBF\xBD\xEF\xBF\xBD"},
        {u"\xDBFF\xE000", "\xEF\xBF\xBD\xEE\x80\x80"},
        {u"\xDC00\xD800", "\xEF\xBF\xBD\xEF\xBF\xBD"},
        {u"x\xD800", "x\xEF\xBF\xBD"},
    };
    for (const auto& row : kRows) {
        SCOPED_TRACE(::testing::PrintToString(row.utf8));
        EXPECT_EQ(WideToUtf8(row.wide), row.utf8);
#ifdef _WIN32
        const std::wstring wide(row.wide.begin(), row.wide.end());
        EXPECT_EQ(WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, wide.data(),
                                      static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr),
                  0);
#endif
    }
}

// Keys fold the same way in every locale: "I" is "i" in Turkish too, and U+0130 is "i" everywhere.
TEST(TextCodecContract, FoldingIsTheSameInEveryCodePage) {
    const struct {
        std::u16string text;
        std::u16string folded;
    } kRows[] = {
        {u"LogType=Ab", u"logtype=ab"},
        {u"\u00C4\u00D6\u00DC\u00D7\u00E4", u"\u00E4\u00F6\u00FC\u00D7\u00E4"},
        {u"\u03A9\u03A3", u"\u03C9\u03C3"},
        {u"\uFF24\uFF29\uFF33\uFF2B", u"\uFF44\uFF49\uFF53\uFF4B"},
        {u"DISK D\u0130SK", u"disk disk"},
        {u"\t Server ", u"\t server "},
    };
    for (const CodecUnderTest& under : CodecsUnderTest()) {
        for (const auto& row : kRows) {
            std::u16string folded = u"stale";
            under.codec->FoldCase(row.text, folded);
            EXPECT_EQ(folded, row.folded) << under.codePage;
        }
    }
}

}  // namespace
}  // namespace zandrel
