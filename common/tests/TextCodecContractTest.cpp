// What the settings reader takes from a TextCodec, checked against the fake the core tests read
// settings with (in each code page it has) and, in the Windows build, against the system's codec in
// the code page the run is in: the locale runs give it 932 and 1254 (see common/CMakeLists.txt).
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
