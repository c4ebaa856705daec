// The COM adapter against Wine's own management service: what the core relies on from the real thing.
#include <gtest/gtest.h>

#include "gaugewell/core/Module1.h"
#include "ProgramRun.h"
#include "gaugewell/win32/WbemService.h"
#include "Wine.h"

namespace zandrel::gaugewell {
namespace {

std::unique_ptr<ManagementConnection> ConnectLocally(WbemService& service) {
    auto connected = service.Connect(u".", u"", WideSecret());
    if (const Failure* failure = FailureOf(connected)) {
        ADD_FAILURE() << "connection failed: " << failure->number << " " << failure->description;
        return nullptr;
    }
    return std::move(ValueOf(connected));
}

std::unique_ptr<ManagementResultSet> SetOf(ServiceResult<ManagementResultSet> result) {
    if (const Failure* failure = FailureOf(result)) {
        ADD_FAILURE() << "query failed: " << failure->number << " " << failure->description;
        return nullptr;
    }
    return std::move(ValueOf(result));
}

// The value of a step that must succeed; a failure is reported and gives the empty value.
template <typename T>
T Must(Result<T> result) {
    if (const Failure* failure = FailureOf(result)) {
        ADD_FAILURE() << "step failed: " << failure->number << " " << failure->description;
        return T{};
    }
    return std::move(ValueOf(result));
}

TEST(WbemService, ReadsTheOperatingSystemCountsAsText) {
    WbemService service;
    const auto connection = ConnectLocally(service);
    ASSERT_TRUE(connection);
    const auto systems = SetOf(connection->InstancesOf("Win32_OperatingSystem"));
    ASSERT_TRUE(systems);
    EXPECT_EQ(Must(systems->Count()), 1);
    const auto system = Must(systems->Next());
    ASSERT_TRUE(system);
    const auto freeKilobytes = ParseCount(Must(system->Property("FreePhysicalMemory")));
    const auto totalKilobytes = ParseCount(Must(system->Property("TotalVisibleMemorySize")));
    ASSERT_TRUE(freeKilobytes && totalKilobytes);
    EXPECT_GT(*totalKilobytes, 0);
    EXPECT_LE(*freeKilobytes, *totalKilobytes);
    EXPECT_EQ(Must(system->Property("NoSuchProperty")), std::nullopt);
    EXPECT_FALSE(Must(systems->Next()));
    EXPECT_FALSE(Must(systems->Next())) << "the end stays the end";
}

TEST(WbemService, FindsADriveByItsIdentifierAndNothingForAMissingOne) {
    WbemService service;
    const auto connection = ConnectLocally(service);
    ASSERT_TRUE(connection);
    const auto disks =
        SetOf(connection->ExecQuery("Select * From Win32_LogicalDisk Where DeviceID = \"C:\""));
    ASSERT_TRUE(disks);
    const auto disk = Must(disks->Next());
    ASSERT_TRUE(disk);
    EXPECT_EQ(Must(disk->Property("DeviceID")), "C:");
    EXPECT_TRUE(ParseCount(Must(disk->Property("FreeSpace"))));
    EXPECT_TRUE(ParseCount(Must(disk->Property("Size"))));
    EXPECT_FALSE(Must(disks->Next()));

    const auto none = SetOf(connection->ExecQuery("Select * From Win32_LogicalDisk Where DeviceID = \"Q:\""));
    ASSERT_TRUE(none);
    EXPECT_FALSE(Must(none->Next()));
}

TEST(WbemService, WalksTheProcessorsAndReadsNumbersAsText) {
    WbemService service;
    const auto connection = ConnectLocally(service);
    ASSERT_TRUE(connection);
    const auto processors = SetOf(connection->ExecQuery("Select * From Win32_Processor"));
    ASSERT_TRUE(processors);
    ASSERT_GE(Must(processors->Count()), 1);
    const auto processor = Must(processors->Next());
    ASSERT_TRUE(processor);
    // A 32-bit property arrives as a number: the adapter hands it on as decimal text.
    const auto cores = Must(processor->Property("NumberOfCores"));
    ASSERT_TRUE(cores);
    EXPECT_GE(ParseCount(cores).value_or(0), 1) << *cores;
}

TEST(WbemService, AnUnknownClassEndsAtTheEnumeration) {
    WbemService service;
    const auto connection = ConnectLocally(service);
    ASSERT_TRUE(connection);
    const auto set = SetOf(connection->ExecQuery("Select * From Win32_NoSuchClass"));
    ASSERT_TRUE(set);
    // Wine's service ends the walk at once; one that fails it instead gives no instance either.
    const auto next = set->Next();
    EXPECT_TRUE(FailureOf(next) || !ValueOf(next));
}

TEST(WbemService, AQueryTheServiceRefusesFailsWithItsCode) {
    if (!zandrel::testing::RunningUnderWine()) {
        GTEST_SKIP() << "expects Wine's failures, which come without a description";
    }
    WbemService service;
    const auto connection = ConnectLocally(service);
    ASSERT_TRUE(connection);
    const struct {
        const char* query;
        std::int32_t number;
    } kCases[] = {
        {"Select From Where", -2147217385},  // 0x80041017, not a query
    };
    for (const auto& c : kCases) {
        auto result = connection->ExecQuery(c.query);
        const Failure* failure = FailureOf(result);
        ASSERT_TRUE(failure) << c.query;
        EXPECT_EQ(failure->number, c.number) << c.query;
        // Wine's service gives no description with its failures.
        EXPECT_EQ(failure->description, "") << c.query;
    }
}

TEST(WbemService, AnUnknownHostFailsWithTheServiceCode) {
    if (!zandrel::testing::RunningUnderWine()) {
        GTEST_SKIP() << "expects Wine's answer for an unknown host";
    }
    WbemService service;
    auto connected =
        service.Connect(u"unreachable-host", u"someone", WideSecret(std::u16string_view(u"secret")));
    const Failure* failure = FailureOf(connected);
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->number, -2147217387);  // 0x80041015
    EXPECT_EQ(failure->description, "");
}

TEST(TakeFailure, CarriesTheCodeAndTheDescriptionLeftWithIt) {
    if (!zandrel::testing::RunningUnderWine()) {
        GTEST_SKIP() << "expects Wine's message texts";
    }
    ComPtr<ICreateErrorInfo> created;
    ASSERT_EQ(CreateErrorInfo(created.put()), S_OK);
    created->SetDescription(const_cast<LPOLESTR>(L"Acc\u00e8s refus\u00e9 "));
    ComPtr<IErrorInfo> info;
    ASSERT_EQ(created->QueryInterface(IID_IErrorInfo, info.put_void()), S_OK);
    SetErrorInfo(0, info.get());

    const Failure failure = TakeFailure(static_cast<long>(0x80041003));
    EXPECT_EQ(failure.number, -2147217405);
    EXPECT_EQ(failure.description, "Acc\xE8s refus\xE9 ");  // in the ANSI code page, 1252 here
    EXPECT_EQ(TakeFailure(E_FAIL).description, "") << "the description belongs to one failure only";
}

TEST(WindowsLocale, GivesTheUserThousandsSeparator) {
    if (!zandrel::testing::RunningUnderWine() || GetACP() != 1252) {
        GTEST_SKIP() << "expects the locale the Wine session pins";
    }
    // The tests pin the locale to English.
    EXPECT_EQ(Must(WindowsLocale().ThousandsSeparator()), ",");
    // A user who wants no separator has an empty one, which is no failure.
    ASSERT_TRUE(SetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_STHOUSAND, ""));
    const Result<std::string> none = WindowsLocale().ThousandsSeparator();
    SetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_STHOUSAND, ",");
    EXPECT_EQ(none, Result<std::string>(std::string()));
}

// A user locale whose ANSI code page is not the system's: Swiss German's separator U+2019 comes as
// the 932 bytes of the file, not as 1252's 0x92. Registered alone, in that split locale.
TEST(SplitLocale, GivesTheUserThousandsSeparatorInTheAnsiCodePage) {
    if (GetACP() != 932 ||
        GetUserDefaultLCID() != MAKELCID(MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN_SWISS), SORT_DEFAULT)) {
        GTEST_SKIP() << "runs with the user locale de-CH and the ANSI code page 932";
    }
    EXPECT_EQ(Must(WindowsLocale().ThousandsSeparator()), "\x81\x66");
}

}  // namespace
}  // namespace zandrel::gaugewell
