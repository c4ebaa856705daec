// Event records read from their raw bytes, insertion strings, and the time and zone texts.
#include <gtest/gtest.h>

#include <tuple>
#include <vector>

#include "siftwell/tests/Fakes.h"
#include "siftwell/core/Lines.h"
#include "siftwell/tests/RecordBuilder.h"
#include "siftwell/core/eventlog.h"

namespace zandrel::siftwell::testing {
namespace {

using namespace std::string_literals;
using namespace std::string_view_literals;

TEST(ParseEventRecord, TakesFixedPartSourceAndStringsBlock) {
    RecordFields fields;
    fields.eventType = 16;
    fields.eventId = 0xC0FF0001;
    fields.timeGenerated = 4000000000;
    fields.sourceName = "Disk";
    fields.strings = {"C:", "", "third"};
    fields.data = "binary\0data"s;
    const auto bytes = BuildEventRecord(fields);
    const auto record = ParseEventRecord(bytes);
    ASSERT_TRUE(record);
    EXPECT_EQ(record->eventType, 16);
    EXPECT_EQ(record->eventId, 0xC0FF0001u);
    EXPECT_EQ(record->timeGenerated, 4000000000u);
    EXPECT_EQ(record->sourceName, "Disk");
    EXPECT_EQ(record->insertionStrings, "C:\0\0third\0"sv);
}

// Whatever the offsets say, nothing outside the record is read (ASan watches the exact-size copy).
TEST(ParseEventRecord, MalformedRecordsStayInsideTheirBytes) {
    const auto wellFormed = BuildEventRecord({.sourceName = "Src", .strings = {"one", "two"}});
    const auto size = static_cast<std::uint32_t>(wellFormed.size());
    struct Case {
        const char* what;
        std::uint32_t stringOffset;
        std::uint32_t dataOffset;
        std::string_view strings;
    };
    const Case cases[] = {
        {"data offset past the end", 64, size + 1, ""},
        {"string offset past the end", size + 100, size + 200, ""},
        {"string offset beyond data offset", 72, 68, ""},
        {"string offset inside the fixed part", 10, 68, ""},
        {"huge offsets", 0xFFFFFFF0u, 0xFFFFFFFFu, ""},
        {"data offset at the very end", 68, size, {}},
        {"empty block", 68, 68, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto bytes = wellFormed;
        PatchUint32(bytes, kStringOffsetField, c.stringOffset);
        PatchUint32(bytes, kDataOffsetField, c.dataOffset);
        const std::vector<unsigned char> exact(bytes.begin(), bytes.end());
        const auto record = ParseEventRecord(exact);
        ASSERT_TRUE(record);
        EXPECT_EQ(record->sourceName, "Src");
        if (c.strings.data() != nullptr) {
            EXPECT_EQ(record->insertionStrings, c.strings);
        } else {
            EXPECT_EQ(record->insertionStrings.size(), size - 68);
        }
    }
}

TEST(ParseEventRecord, ShortOrUnterminatedRecords) {
    std::vector<unsigned char> tooShort(55, 0);
    EXPECT_FALSE(ParseEventRecord(tooShort));
    EXPECT_FALSE(ParseEventRecord({}));

    // A fixed part and a source name that runs to the record's end without its NUL.
    auto bytes = BuildEventRecord({.eventType = 2, .sourceName = "Src"});
    bytes.resize(56 + 3);
    PatchUint32(bytes, kStringOffsetField, 56);
    PatchUint32(bytes, kDataOffsetField, 59);
    const auto record = ParseEventRecord(bytes);
    ASSERT_TRUE(record);
    EXPECT_EQ(record->eventType, 2);
    EXPECT_EQ(record->sourceName, "");
    EXPECT_EQ(record->insertionStrings, "Src");

    std::vector<unsigned char> fixedOnly(56, 0);
    const auto bare = ParseEventRecord(fixedOnly);
    ASSERT_TRUE(bare);
    EXPECT_EQ(bare->sourceName, "");
    EXPECT_EQ(bare->insertionStrings, "");
}

TEST(SplitInsertionStrings, CutsAtEveryNul) {
    EXPECT_EQ(SplitInsertionStrings(""), std::vector<std::string_view>{});
    EXPECT_EQ(SplitInsertionStrings("a\0b\0"sv), (std::vector<std::string_view>{"a", "b", ""}));
    EXPECT_EQ(SplitInsertionStrings("\0"sv), (std::vector<std::string_view>{"", ""}));
    EXPECT_EQ(SplitInsertionStrings("tail"sv), (std::vector<std::string_view>{"tail"}));
}

TEST(FillMessageArgs, TwoStringsAndTheEmptyThirdPart) {
    const auto parts = SplitInsertionStrings("C:\0failing\0"sv);
    const MessageArgs args = FillMessageArgs(parts);
    EXPECT_EQ(args[0], "C:");
    EXPECT_EQ(args[1], "failing");
    EXPECT_EQ(args[2], "");
    for (std::size_t i = 3; i < args.size(); ++i) {
        EXPECT_FALSE(args[i]) << "slot " << i + 1;
    }
}

TEST(FillMessageArgs, TwelveStringsOnlyTheFirstTenReachTheSystem) {
    std::vector<std::string> texts;
    std::vector<std::string_view> parts;
    for (int i = 1; i <= 12; ++i) {
        texts.push_back("s" + std::to_string(i));
    }
    parts.assign(texts.begin(), texts.end());
    const MessageArgs args = FillMessageArgs(parts);
    for (std::size_t i = 0; i < args.size(); ++i) {
        EXPECT_EQ(args[i], texts[i]);
    }
}

TEST(InsertTable, InsertsAboveTenShowTheirOwnReference) {
    MessageArgs args;
    args[0] = "first";
    const auto table = InsertTable(args);
    EXPECT_STREQ(table[0], "first");
    EXPECT_EQ(table[1], nullptr);
    EXPECT_STREQ(table[10], "%11");
    EXPECT_STREQ(table[98], "%99");
    EXPECT_EQ(FormatInserts("%1 %2 %10 %11 %42 %99", table), "first (null) (null) %11 %42 %99");
}

TEST(HasUnsafeInsert, OnlyInsertsThatReadTheirOwnStringArePlain) {
    const std::pair<std::string_view, bool> cases[] = {
        {"The disk %1 has a bad block at %2.%n", false},
        {"%1!s! %2!-20s! %3!.5s! %4!08.3hs! %99!s!", false},
        {"100%% sure%! %n%r%t%0", false},
        {"%%1!*s! is text", false},
        {"%1!*s!", true},
        {"%1!*.*s!", true},
        {"%2!.*s!", true},
        {"%99!*s!", true},
        {"%1!d!", true},
        {"%1!S!", true},
        {"%1!ls!", true},
        {"%1!s", true},  // no closing mark: not taken as plain
        {"%1!!", true},
        {"", false},
        {"%", false},
        {"%1", false},
    };
    for (const auto& [text, unsafe] : cases) {
        // In a block of its exact size: a look past the template's end is the sanitizer's to see.
        const std::vector<char> exact(text.begin(), text.end());
        EXPECT_EQ(HasUnsafeInsert(std::string_view(exact.data(), exact.size())), unsafe) << text;
    }
}

TEST(ReplaceLineBreaks, OnlyPairsBecomeOneBlank) {
    const std::pair<std::string, std::string> cases[] = {
        {"a\r\nb\r\n", "a b "},
        {"lone\rCR and lone\nLF", "lone\rCR and lone\nLF"},
        {"\r\r\n\n", "\r \n"},
        {"\r\n\r\n", "  "},
        {"", ""},
    };
    for (auto [text, expected] : cases) {
        ReplaceLineBreaks(text);
        EXPECT_EQ(text, expected);
    }
}

TEST(TimeText, ZoneShiftsMidnightAndDatesAfter2038) {
    struct Case {
        std::uint32_t timeGenerated;
        std::int16_t hours;
        const char* expected;
    };
    const Case cases[] = {
        {1142328413, 0, "3/14/2006 9:26:53 AM (GMT)"},
        {1142328413, 2, "3/14/2006 11:26:53 AM (GMT+2)"},
        {1142328413, -5, "3/14/2006 4:26:53 AM (GMT-5)"},
        {1141182000, -5, "2/28/2006 10:00:00 PM (GMT-5)"},  // 03:00 UTC on 1 March
        {1078110000, -5, "2/29/2004 10:00:00 PM (GMT-5)"},  // a leap year
        {1142294400, 0, "3/14/2006 (GMT)"},                 // midnight: the date alone
        {1142312400, -5, "3/14/2006 (GMT-5)"},              // midnight after the shift
        {0x80000000u, 0, "1/19/2038 3:14:08 AM (GMT)"},
        {4294967295u, 0, "2/7/2106 6:28:15 AM (GMT)"},
        {0, -1, "12/31/1969 11:00:00 PM (GMT-1)"},
        {0, 32767, "9/27/1973 7:00:00 AM (GMT+32767)"},
        {0, -32768, "4/6/1966 4:00:00 PM (GMT-32768)"},
    };
    UsDateText dates;
    for (const Case& c : cases) {
        EXPECT_EQ(
            std::get<std::string>(dates.FormatDate(EventTime(c.timeGenerated, c.hours))) + ZoneText(c.hours),
            c.expected);
    }
}

// The last second of every month and the first of the next, through a leap year of a century (2000),
// a common year (2001) and a century that is no leap year (2100), counted from each year's start.
TEST(TimeText, EveryMonthsEndAndTheLeapDays) {
    const struct {
        std::uint32_t yearStart;
        std::int64_t year;
        int february;
    } kYears[] = {{946684800u, 2000, 29}, {978307200u, 2001, 28}, {4102444800u, 2100, 28}};
    for (const auto& y : kYears) {
        const int lengths[] = {31, y.february, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
        std::uint32_t monthStart = y.yearStart;
        for (int month = 1; month <= 12; ++month) {
            SCOPED_TRACE(std::to_string(y.year) + "-" + std::to_string(month));
            const CivilTime first = EventTime(monthStart, 0);
            EXPECT_EQ(std::make_tuple(first.year, first.month, first.day, first.hour),
                      std::make_tuple(y.year, month, 1, 0));
            monthStart += static_cast<std::uint32_t>(lengths[month - 1]) * 86400u;
            const CivilTime last = EventTime(monthStart - 1, 0);
            EXPECT_EQ(std::make_tuple(last.year, last.month, last.day, last.hour, last.minute, last.second),
                      std::make_tuple(y.year, month, lengths[month - 1], 23, 59, 59));
        }
    }
}

}  // namespace
}  // namespace zandrel::siftwell::testing
