#include <gtest/gtest.h>

#include <string>

#include "INIfiles.h"
#include "Scratch.h"

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

TEST_P(FindIniValueTest, AnswersAsTheFileSays) {
    const IniCase& c = GetParam();
    EXPECT_EQ(FindIniValue(c.file, "event.conf", c.key), c.expected);
}

const std::string kHeader = "[event.conf]\r\n";

INSTANTIATE_TEST_SUITE_P(
    Cases, FindIniValueTest,
    ::testing::Values(
        // Headers
        IniCase{"HeaderInCapitals", "[EVENT.CONF]\r\nServer=HostA\r\n", "Server", "HostA"},
        IniCase{"HeaderWithBlanksAround", "   [event.conf]   \r\nServer=HostA\r\n", "Server", "HostA"},
        IniCase{"HeaderWithBlanksInside", "[ event.conf ]\r\nServer=HostA\r\n", "Server", "NOTFOUND"},
        IniCase{"HeaderWithTabIsNotTrimmed", "\t[event.conf]\r\nServer=HostA\r\n", "Server", "NOTFOUND"},
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
        IniCase{"EmptyLinesBetween", "\r\n\r\n[event.conf]\r\n\r\nServer=HostA", "Server", "HostA"},
        IniCase{"EmptyKeyMatchesFirstField", kHeader + "LogType=System\r\n", "", "ogType=System"}),
    [](const ::testing::TestParamInfo<IniCase>& param) { return std::string(param.param.name); });

TEST(FindIniValue, NulInsideValueIsKept) {
    const std::string file("[event.conf]\r\nServer=Ho\0stA\r\n", 28);
    EXPECT_EQ(FindIniValue(file, "event.conf", "Server"), std::string("Ho\0stA", 6));
}

TEST(FindIniValue, MegabyteLineWithoutLineEnd) {
    std::string file = "[event.conf]," + std::string(1 << 20, 'x') + ",Server=HostA";
    EXPECT_EQ(FindIniValue(file, "event.conf", "Server"), "HostA");
    file = "[event.conf],Server=" + std::string(1 << 20, 'y');
    EXPECT_EQ(FindIniValue(file, "event.conf", "Server").size(), size_t{1} << 20);
}

TEST(ReadIniValue, ReadsTheNamedFileInTheDirectory) {
    testing::ScratchDir dir;
    dir.Write("memory.conf", "[memory.conf]\r\nServer=HostA\r\nDisk=C\r\n");
    EXPECT_EQ(ReadIniValue("memory.conf", "Disk", "memory.conf", dir.Path()), "C");
    EXPECT_EQ(ReadIniValue("memory.conf", "Username", "memory.conf", dir.Path()), "NOTFOUND");
    // The file is read anew on every call.
    dir.Write("memory.conf", "[memory.conf]\r\nDisk=D\r\n");
    EXPECT_EQ(ReadIniValue("memory.conf", "Disk", "memory.conf", dir.Path()), "D");
}

TEST(ReadIniValue, MissingFileIsNoValueAtAll) {
    testing::ScratchDir dir;
    EXPECT_EQ(ReadIniValue("event.conf", "Server", "event.conf", dir.Path()), std::nullopt);
}

}  // namespace
}  // namespace zandrel
