#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <fstream>
#include <memory>
#include <string>
#include <thread>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include "FakeTextCodec.h"
#include "INIfiles.h"
#include "Scratch.h"
#include "SecretCount.h"

namespace zandrel {
namespace {

struct IniCase {
    const char* name;
    std::string file;
    const char* key;
    const char* expected;
};

std::ostream& operator<<(std::ostream& out, const IniCase& c) {
    return out << c.name;
}

class FindIniValueTest : public ::testing::TestWithParam<IniCase> {};

const testing::FakeTextCodec kWestern(1252);

// The file's bytes in a block of their exact size: a read past their end is the sanitizer's to see.
std::string Find(std::string_view file, std::string_view key) {
    const std::unique_ptr<char[]> exact(new char[file.size()]);
    std::copy(file.begin(), file.end(), exact.get());
    return FindIniValue(std::string_view(exact.get(), file.size()), "event.conf", key, kWestern).ansi;
}

TEST_P(FindIniValueTest, AnswersAsTheFileSays) {
    const IniCase& c = GetParam();
    EXPECT_EQ(Find(c.file, c.key), c.expected);
    EXPECT_EQ(FindIniValue<SecretValue>(c.file, "event.conf", c.key, kWestern).ansi.View(), c.expected);
}

const std::string kHeader = "[event.conf]\r\n";

INSTANTIATE_TEST_SUITE_P(
    Cases, FindIniValueTest,
    ::testing::Values(
        // Headers
        IniCase{"HeaderInCapitals", "[EVENT.CONF]\r\nServer=HostA\r\n", "Server", "HostA"},
        IniCase{"HeaderWithBlanksAround", "   [event.conf]   \r\nServer=HostA\r\n", "Server", "HostA"},
        IniCase{"HeaderWithBlanksInside", "[ event.conf ]\r\nServer=HostA\r\n", "Server", "NOTFOUND"},
        // A tab in front of a field is skipped like a blank, but a trailing one is no blank.
        IniCase{"TabBeforeHeaderSkipped", "\t[event.conf]\r\nServer=HostA\r\n", "Server", "HostA"},
        IniCase{"TabAfterHeaderStays", "[event.conf]\t\r\nServer=HostA\r\n", "Server", "NOTFOUND"},
        IniCase{"OtherSectionOnly", "[memory.conf]\r\nServer=HostA\r\n", "Server", "NOTFOUND"},
        IniCase{"HeaderIsLastField", "Server=HostA\r\n[event.conf]", "Server", "NOTFOUND"},
        IniCase{"KeyOnlyAboveHeader", "Server=HostA\r\n[event.conf]\r\nLogType=System\r\n", "Server",
                "NOTFOUND"},
        IniCase{"KeyUnderLaterSection", "[event.conf]\r\n[other]\r\nServer=HostA\r\n", "Server", "HostA"},
        IniCase{"EmptyFile", "", "Server", "NOTFOUND"},
        // Keys and separators
        IniCase{"KeyInCapitalsValueKeepsCase", kHeader + "SERVER=HostA\r\n", "Server", "HostA"},
        IniCase{"BlankBeforeSeparator", kHeader + "Server = HostA\r\n", "Server", "= HostA"},
        IniCase{"BlanksAfterSeparator", kHeader + "Server=  HostA\r\n", "Server", "  HostA"},
        IniCase{"AnySeparator", kHeader + "Server:HostA\r\n", "Server", "HostA"},
        IniCase{"EmptyValue", kHeader + "Server=\r\n", "Server", ""},
        IniCase{"BareKey", kHeader + "Server\r\n", "Server", ""},
        IniCase{"KeyIsPrefix", kHeader + "ServerName=abc\r\n", "Server", "ame=abc"},
        IniCase{"TrailingBlanksTrimmed", kHeader + "  Server=HostA   \r\n", "Server", "HostA"},
        IniCase{"TabsStay", kHeader + "Server=\tHostA\t\r\n", "Server", "\tHostA\t"},
        IniCase{"FirstOccurrenceAnswers", kHeader + "Server=one\r\nServer=two\r\n", "Server", "one"},
        IniCase{"CommentLineIsJustAField", kHeader + ";Server=x\r\nServer=y\r\n", "Server", "y"},
        // Fields
        IniCase{"CommaEndsField", kHeader + "Server=HostA,HostB\r\n", "Server", "HostA"},
        IniCase{"FieldAfterComma", kHeader + "LogType=System,Server=HostB\r\n", "Server", "HostB"},
        IniCase{"QuotedFieldKeepsCommas", kHeader + "\"Server=HostA,HostB\"\r\n", "Server", "HostA,HostB"},
        IniCase{"QuotedFieldSpansLines", kHeader + "\"Password=a\r\nb\"\r\n", "Password", "a\r\nb"},
        IniCase{"TextAfterClosingQuoteDropped", kHeader + "\"Server=A\"junk,x\r\n", "Server", "A"},
        // A quoted field still open at the end of the file cannot be built: its value stays empty.
        IniCase{"UnbalancedQuoteRunsToEnd", kHeader + "\"Server=A,B\r\nC", "Server", ""},
        IniCase{"UnclosedQuoteOnLastLine", kHeader + "Server=HostA\r\n\"Password=abc", "Password", ""},
        IniCase{"UnclosedQuoteOfAnotherKey", kHeader + "\"Password=abc", "Server", "NOTFOUND"},
        IniCase{"KeyBeforeUnclosedQuote", kHeader + "Server=HostA\r\n\"Password=abc", "Server", "HostA"},
        IniCase{"NoLineEndAtAll", "[event.conf],Server=HostA", "Server", "HostA"},
        IniCase{"LoneLineFeeds", "[event.conf]\nServer=HostA\n", "Server", "HostA"},
        IniCase{"LoneCarriageReturns", "[event.conf]\rServer=HostA\r", "Server", "HostA"},
        IniCase{"BlanksAfterTheLastLineEnd", kHeader + "Server=HostA\r\n  ", "Disk", "NOTFOUND"},
        IniCase{"EmptyLinesBetween", "\r\n\r\n[event.conf]\r\n\r\nServer=HostA", "Server", "HostA"},
        IniCase{"EmptyKeyMatchesFirstField", kHeader + "LogType=System\r\n", "", "ogType=System"}),
    [](const ::testing::TestParamInfo<IniCase>& param) { return std::string(param.param.name); });

// A file in the code pages and encodings the probes meet; the value in both its forms.
struct CharacterCase {
    const char* name;
    int codePage;
    std::string file;
    const char* key;
    std::string ansi;
    std::u16string text;
    bool exact = true;
};

std::ostream& operator<<(std::ostream& out, const CharacterCase& c) {
    return out << c.name;
}

std::string Utf16Le(std::u16string_view text) {
    std::string bytes;
    for (const char16_t unit : text) {
        bytes += static_cast<char>(unit & 0xFF);
        bytes += static_cast<char>(unit >> 8);
    }
    return bytes;
}

class CharactersTest : public ::testing::TestWithParam<CharacterCase> {};

TEST_P(CharactersTest, ReadsCharactersNotBytes) {
    const CharacterCase& c = GetParam();
    const testing::FakeTextCodec codec(c.codePage);
    const IniValue value = FindIniValue(c.file, "event.conf", c.key, codec);
    EXPECT_EQ(value.ansi, c.ansi);
    EXPECT_EQ(value.text, c.text);
    EXPECT_EQ(value.exact, c.exact);
    // A password is built by its own path, through scratch buffers sized in advance.
    const SecretValue secret = FindIniValue<SecretValue>(c.file, "event.conf", c.key, codec);
    EXPECT_EQ(secret.ansi.View(), c.ansi);
    EXPECT_EQ(secret.text.View(), c.text);
    EXPECT_EQ(secret.exact, c.exact);
}

const std::string kUtf8Mark = "\xEF\xBB\xBF";
const std::string kUtf16Mark = "\xFF\xFE";

INSTANTIATE_TEST_SUITE_P(
    Cases, CharactersTest,
    ::testing::Values(
        // The full-width "=" of an input method is one character of two or three bytes.
        CharacterCase{"FullWidthSeparator932", 932, kHeader + "Server\x81\x81HostA\r\n", "Server", "HostA",
                      u"HostA"},
        CharacterCase{"FullWidthSeparator936", 936, kHeader + "Server\xA3\xBDHostA\r\n", "Server", "HostA",
                      u"HostA"},
        CharacterCase{"FullWidthSeparator949", 949, kHeader + "Server\xA3\xBDHostA\r\n", "Server", "HostA",
                      u"HostA"},
        CharacterCase{"FullWidthSeparator950", 950, kHeader + "Server\xA1\xD7HostA\r\n", "Server", "HostA",
                      u"HostA"},
        CharacterCase{"FullWidthSeparator65001", 65001, kHeader + "Server\xEF\xBC\x9DHostA\r\n", "Server",
                      "HostA", u"HostA"},
        CharacterCase{"FullWidthSeparatorAloneLeavesNothing", 932, kHeader + "Server\x81\x81\r\n", "Server",
                      "", u""},
        CharacterCase{"SeparatorOfTwoUnits", 1252,
                      kUtf16Mark + Utf16Le(u"[event.conf]\r\nServer\U0001F600HostA\r\n"), "Server", "HostA",
                      u"HostA"},
        // An ANSI value keeps its bytes, trail byte 0x5C, a lead byte at its end and 1252's gaps included.
        CharacterCase{"TrailBytesKept932", 932, kHeader + "Password=\x95\x5C\x95\x5C\r\n", "Password",
                      "\x95\x5C\x95\x5C", u"\u8868\u8868"},
        CharacterCase{"LeadByteAtTheEndKept932", 932, kHeader + "Password=ab\x81\r\n", "Password", "ab\x81",
                      u"ab\uFFFD"},
        CharacterCase{"UndefinedByteKept1252", 1252, kHeader + "Password=p\x81ss\r\n", "Password", "p\x81ss",
                      u"p\u0081ss"},
        CharacterCase{"AnsiStaysAnsi1252", 1252, kHeader + "Username=M\xFCller\r\n", "Username", "M\xFCller",
                      u"M\u00FCller"},
        // Folded as characters: a Turkish keyboard's capital I with dot is the key's "i".
        CharacterCase{"DottedCapitalI1254", 1254, kHeader + "T\xDDMEZONE=5\r\n", "TimeZone", "5", u"5"},
        CharacterCase{"TabBeforeKey", 1252, kHeader + "\tServer=HostA\r\n \t Disk=C\r\n", "Disk", "C", u"C"},
        CharacterCase{"TabBeforeQuotedField", 1252, kHeader + "\t\"Password=a,b\"\r\n", "Password", "a,b",
                      u"a,b"},
        // Each encoding with its mark and without.
        CharacterCase{"Utf8WithMark", 1252, kUtf8Mark + kHeader + "Username=M\xC3\xBCller\r\n", "Username",
                      "M\xFCller", u"M\u00FCller"},
        CharacterCase{"Utf8WithMarkAsciiOnly", 1252, kUtf8Mark + kHeader + "Server=HostA\r\n", "Server",
                      "HostA", u"HostA"},
        CharacterCase{"Utf8WithoutMark", 1252, kHeader + "Username=M\xC3\xBCller\r\n", "Username",
                      "M\xFCller", u"M\u00FCller"},
        CharacterCase{"Utf16LeWithMark", 1252,
                      kUtf16Mark + Utf16Le(u"[event.conf]\r\nUsername=M\u00FCller\r\n"), "Username",
                      "M\xFCller", u"M\u00FCller"},
        CharacterCase{"Utf16LeWithoutMarkIsAnsiAsBefore", 1252, Utf16Le(u"[event.conf]\r\nServer=HostA\r\n"),
                      "Server", "NOTFOUND", u"NOTFOUND"},
        // Damaged ends and cut marks: half a UTF-16 unit is dropped, a mark cut short is ANSI text.
        CharacterCase{"Utf16LeOddLastByteDropped", 1252,
                      kUtf16Mark + Utf16Le(u"[event.conf]\r\nServer=HostA") + "B", "Server", "HostA",
                      u"HostA"},
        CharacterCase{"UnclosedQuoteInUtf8", 1252, kUtf8Mark + kHeader + "\"Password=abc", "Password", "",
                      u""},
        CharacterCase{"BlanksAtTheEndInUtf8", 1252, kUtf8Mark + kHeader + "Server=HostA\r\n  ", "Disk",
                      "NOTFOUND", u"NOTFOUND"},
        CharacterCase{"Utf16LeMarkAndHalfAUnit", 1252, kUtf16Mark + "[", "Server", "NOTFOUND", u"NOTFOUND"},
        CharacterCase{"Utf8MarkAlone", 1252, kUtf8Mark, "Server", "NOTFOUND", u"NOTFOUND"},
        CharacterCase{"Utf8MarkCutShortIsAnsi", 1252, "\xEF\xBB\r\n" + kHeader + "Username=M\xFCller",
                      "Username", "M\xFCller", u"M\u00FCller"},
        CharacterCase{"Utf16LeMarkCutShortIsAnsi", 1252, "\xFF\r\n" + kHeader + "Username=M\xFCller",
                      "Username", "M\xFCller", u"M\u00FCller"},
        // A character that the code page lacks has no exact ANSI form, and is never a look-alike.
        CharacterCase{"OutsideTheCodePage", 1252, kHeader + "Server=Zandrel-\xCE\xA9\r\n", "Server",
                      "Zandrel-?", u"Zandrel-\u03A9", false},
        CharacterCase{"InsideTheUtf8CodePage", 65001, kHeader + "Server=Zandrel-\xCE\xA9\r\n", "Server",
                      "Zandrel-\xCE\xA9", u"Zandrel-\u03A9"}),
    [](const ::testing::TestParamInfo<CharacterCase>& param) { return std::string(param.param.name); });

TEST(FindIniValue, NulInsideValueIsKept) {
    const std::string file("[event.conf]\r\nServer=Ho\0stA\r\n", 28);
    EXPECT_EQ(Find(file, "Server"), std::string("Ho\0stA", 6));
}

TEST(FindIniValue, MegabyteLineWithoutLineEnd) {
    std::string file = "[event.conf]," + std::string(1 << 20, 'x') + ",Server=HostA";
    EXPECT_EQ(Find(file, "Server"), "HostA");
    file = "[event.conf],Server=" + std::string(1 << 20, 'y');
    EXPECT_EQ(Find(file, "Server").size(), size_t{1} << 20);
}

TEST(ReadIniValue, ReadsTheNamedFileInTheDirectory) {
    testing::ScratchDir dir;
    dir.Write("memory.conf", "[memory.conf]\r\nServer=HostA\r\nDisk=C\r\n");
    EXPECT_EQ(ReadIniValue("memory.conf", "Disk", "memory.conf", dir.Path(), kWestern), PlainValue("C"));
    EXPECT_EQ(ReadIniValue("memory.conf", "Username", "memory.conf", dir.Path(), kWestern),
              PlainValue("NOTFOUND"));
    // The file is read anew on every call.
    dir.Write("memory.conf", "[memory.conf]\r\nDisk=D\r\n");
    EXPECT_EQ(ReadIniValue("memory.conf", "Disk", "memory.conf", dir.Path(), kWestern), PlainValue("D"));
}

// The western code page, whose folding of `key` points the directory, a text the test owns, elsewhere:
// the next key's file cannot be opened. (The open file itself could not be removed on Windows.)
class LosingTheFileCodec : public TextCodec {
  public:
    LosingTheFileCodec(std::string& directory, std::u16string key)
        : directory_(directory), key_(std::move(key)) {}
    void AppendWide(std::string_view ansi, std::u16string& wide) const override {
        kWestern.AppendWide(ansi, wide);
    }
    std::size_t AnsiCharacterLength(std::string_view ansi) const override {
        return kWestern.AnsiCharacterLength(ansi);
    }
    bool AppendAnsi(std::u16string_view wide, std::string& ansi) const override {
        return kWestern.AppendAnsi(wide, ansi);
    }
    void FoldCase(std::u16string_view text, std::u16string& folded) const override {
        if (text == key_) {
            directory_.back() = '~';
        }
        kWestern.FoldCase(text, folded);
    }

  private:
    std::string& directory_;
    std::u16string key_;
};

TEST(ReadSettings, KeepsTheSecretsOnlyWhileTheRecordLives) {
    struct Settings {
        IniValue server;
        SecretValue password;
        WideSecret characters;
    };
    constexpr SettingKey<Settings> kKeys[] = {{"Server", &Settings::server},
                                              {"Password", &Settings::password},
                                              {"Password", &Settings::characters}};
    const struct {
        const char16_t* lostAt;  // the key whose reading loses the file for the keys after it
        std::size_t held;        // secrets held by the record read
    } kCases[] = {{u"", 3}, {u"Password", 0}};
    for (const auto& c : kCases) {
        const testing::SecretCount secrets;
        testing::ScratchDir dir;
        dir.Write("memory.conf", "[memory.conf]\r\nServer=HostA\r\nPassword=s3cret\r\n");
        std::string directory = dir.Path();
        const std::optional<Settings> settings =
            ReadSettings<Settings>("memory.conf", directory, kKeys, LosingTheFileCodec(directory, c.lostAt));
        EXPECT_EQ(settings.has_value(), c.held != 0);
        EXPECT_EQ(secrets.Held(), c.held) << "an early return leaves nothing";
        if (settings) {
            EXPECT_EQ(settings->password.ansi.View(), "s3cret");
            EXPECT_EQ(settings->characters.View(), u"s3cret");
        }
    }
}

#ifndef _WIN32
// A file whose size cannot be told (a pipe) is read in growing steps, to its last byte.
TEST(ReadIniValue, AFileWhoseSizeCannotBeToldIsReadWhole) {
    testing::ScratchDir dir;
    ASSERT_EQ(::mkfifo(dir.PathOf("event.conf").c_str(), 0600), 0);
    std::thread writer([&dir] {
        std::ofstream(dir.PathOf("event.conf"), std::ios::binary)
            << kHeader << std::string(3 * 4096, 'x') << "\r\nServer=HostA";
    });
    const auto value = ReadIniValue("event.conf", "Server", "event.conf", dir.Path(), kWestern);
    writer.join();
    EXPECT_EQ(value, PlainValue("HostA"));
}
#endif

#ifdef __SANITIZE_ADDRESS__
// Every heap block freed while a setting is read, checked for the password's characters: a scratch
// buffer that moved or was not wiped leaves them there.
extern "C" int __sanitizer_install_malloc_and_free_hooks(void (*)(const volatile void*, std::size_t),
                                                         void (*)(const volatile void*));
extern "C" std::size_t __sanitizer_get_allocated_size(const volatile void*);

namespace freed {
constexpr char kMark[] = "7%9";
std::atomic<bool> watching{false};
std::atomic<int> holdingTheMark{0};

bool Holds(const unsigned char* bytes, std::size_t size, std::size_t width) {
    const std::size_t length = 3 * width;
    for (std::size_t at = 0; at + length <= size; ++at) {
        bool same = true;
        for (std::size_t i = 0; i < length && same; ++i) {
            same = bytes[at + i] == (i % width == 0 ? static_cast<unsigned char>(kMark[i / width]) : 0);
        }
        if (same) {
            return true;
        }
    }
    return false;
}

void OnMalloc(const volatile void*, std::size_t) {}
void OnFree(const volatile void* block) {
    if (block == nullptr || !watching.load()) {
        return;
    }
    const auto* bytes = static_cast<const unsigned char*>(const_cast<const void*>(block));
    const std::size_t size = __sanitizer_get_allocated_size(block);
    if (Holds(bytes, size, 1) || Holds(bytes, size, 2)) {
        ++holdingTheMark;
    }
}
}  // namespace freed

TEST(ReadIniValue, NoBlockItFreesHoldsThePassword) {
    static const int installed = __sanitizer_install_malloc_and_free_hooks(freed::OnMalloc, freed::OnFree);
    ASSERT_NE(installed, 0);
    // Longer than any scratch buffer's first room; a line of characters beyond U+FFFF after it makes
    // a buffer that was not sized in advance grow, and the password's line comes once more at the end.
    const std::u16string password = u"7%9" + std::u16string(97, u'k');
    const std::u16string lines = u"[event.conf]\r\nPassword=" + password + u"\r\n";
    std::u16string wide = lines + u";";
    for (int i = 0; i < 12; ++i) {
        wide += u"\U0001F600";
    }
    wide += u"\r\nPassword=" + password + u"\r\n";
    const struct {
        const char* name;
        std::string file;
    } kFiles[] = {
        {"ANSI", WideToUtf8(lines)},
        {"UTF-8", kUtf8Mark + WideToUtf8(wide)},
        {"UTF-16", kUtf16Mark + Utf16Le(wide)},
    };
    for (const auto& f : kFiles) {
        SCOPED_TRACE(f.name);
        testing::ScratchDir dir;
        dir.Write("event.conf", f.file);
        freed::holdingTheMark = 0;
        freed::watching = true;
        {
            const auto read =
                ReadIniValue<SecretValue>("event.conf", "Password", "event.conf", dir.Path(), kWestern);
            ASSERT_TRUE(read.has_value());
            EXPECT_EQ(read->text.View(), password);
        }
        // A key longer than "Password=" takes the password's first characters into the scan's buffers,
        // and an absent one leaves them there to the end.
        EXPECT_EQ(ReadIniValue("event.conf", "OverwriteLog", "event.conf", dir.Path(), kWestern),
                  PlainValue("NOTFOUND"));
        freed::watching = false;
        EXPECT_EQ(freed::holdingTheMark.load(), 0);
    }
}
#endif

TEST(ReadIniValue, MissingFileIsNoValueAtAll) {
    testing::ScratchDir dir;
    EXPECT_EQ(ReadIniValue("event.conf", "Server", "event.conf", dir.Path(), kWestern), std::nullopt);
}

}  // namespace
}  // namespace zandrel
