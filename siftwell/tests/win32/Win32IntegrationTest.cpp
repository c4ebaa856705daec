// The adapters against the real platform under Wine: records as EVENTLOGRECORD bytes go through a
// test event source into the real pass, with the real registry, message files, date text, system
// error texts and event.log.
#include <windows.h>
// After windows.h, which it needs.
#include <psapi.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "siftwell/win32/Adapters.h"
#include "AnsiText.h"
#include "siftwell/win32/SystemDirectory.h"
#include "siftwell/core/CaptureContext.h"
#include "ExecutableDirectory.h"
#include "siftwell/tests/Fakes.h"
#include "siftwell/tests/win32/EventSources.h"
#include "siftwell/core/Module1.h"
#include "ProgramRun.h"
#include "siftwell/core/Lines.h"
#include "ResultFile.h"
#include "UniqueHandle.h"
#include "siftwell/core/WinNet.h"
#include "siftwell/core/eventlog.h"
#include "Wine.h"

namespace zandrel::siftwell::testing {
namespace {

using namespace std::string_literals;
using zandrel::testing::BuildPathToWindows;
using zandrel::testing::ScratchDir;

constexpr char kTestLog[] = "SiftwellTest";
constexpr std::uint32_t kMarch14At092653 = 1142328413;
// Warning severity, facility 0xFFF, code 20: a message of the second file only.
constexpr DWORD kOnlyInSecondFile = 0x8FFF0014;
// Error severity, customer bit, facility 0xFFF, code 7: in the first file, not in the system's table.
constexpr DWORD kOnlyInTestFile = 0xCFFF0007;
const std::string kMessagesDll = BuildPathToWindows(SIFTWELL_TEST_MESSAGES_DLL);
const std::string kSecondDll = BuildPathToWindows(SIFTWELL_SECOND_MESSAGES_DLL);
const std::string kNetworkMessagesDll = BuildPathToWindows(SIFTWELL_NETWORK_MESSAGES_DLL);

// A log that keeps the documented contract and changed after it was opened: every read fails with
// 1503, but a read given no buffer fails as a wrong parameter instead.
BOOL WINAPI ChangedLogRead(HANDLE, DWORD, DWORD, LPVOID buffer, DWORD size, DWORD* read, DWORD*) {
    *read = 0;
    SetLastError(buffer == nullptr || size == 0 ? ERROR_INVALID_PARAMETER : ERROR_EVENTLOG_FILE_CHANGED);
    return FALSE;
}

// The ANSI expansion as documented: it needs room for one character more than the count it returns,
// and here the environment grows between the call that asks for the size and the next one.
int growingExpandCalls = 0;
DWORD WINAPI GrowingExpand(LPCSTR, LPSTR buffer, DWORD size) {
    const std::string expanded = ++growingExpandCalls == 1 ? "C:\\x" : "C:\\windows\\longer.dll";
    const DWORD count = static_cast<DWORD>(expanded.size() + 1);
    if (buffer == nullptr || size < count + 1) {
        return count;
    }
    std::memcpy(buffer, expanded.c_str(), count);
    return count;
}

// Wine's answer for a double-byte folder: the count of wide characters, never the bytes, and a cut
// text without its NUL when the bytes do not fit.
DWORD WINAPI CharacterCountExpand(LPCSTR, LPSTR buffer, DWORD size) {
    const std::string expanded = "C:\\\x95\x5C\x93\xFA\\x.dll";
    if (buffer != nullptr) {
        std::memcpy(buffer, expanded.c_str(), std::min<std::size_t>(size, expanded.size() + 1));
    }
    return 10;
}

DWORD WINAPI FailingExpand(LPCSTR, LPSTR, DWORD) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return 0;
}

// Whether some view in this process maps a file of that name (a module loaded as data is no module
// the loader would name).
bool MapsFileNamed(std::string_view name) {
    MEMORY_BASIC_INFORMATION region;
    for (const char* at = nullptr; VirtualQuery(at, &region, sizeof region) == sizeof region;
         at = static_cast<const char*>(region.BaseAddress) + region.RegionSize) {
        char path[MAX_PATH];
        const DWORD length = region.State == MEM_COMMIT
                                 ? GetMappedFileNameA(GetCurrentProcess(), region.BaseAddress, path, MAX_PATH)
                                 : 0;
        const std::string_view mapped(path, length);
        if (mapped.size() > name.size() && mapped[mapped.size() - name.size() - 1] == '\\' &&
            lstrcmpiA(mapped.substr(mapped.size() - name.size()).data(), std::string(name).c_str()) == 0) {
            return true;
        }
    }
    return false;
}

// A record as the event log service hands it out, laid out with the system's own structure.
std::vector<unsigned char> WindowsRecord(WORD type, DWORD eventId, DWORD timeGenerated,
                                         const std::string& source, const std::vector<std::string>& strings) {
    static_assert(sizeof(EVENTLOGRECORD) == 56);
    std::vector<unsigned char> bytes(sizeof(EVENTLOGRECORD));
    const auto append = [&bytes](const std::string& text) {
        bytes.insert(bytes.end(), text.begin(), text.end());
        bytes.push_back(0);
    };
    append(source);
    append("WINEHOST");
    bytes.resize((bytes.size() + 3) / 4 * 4);
    EVENTLOGRECORD fixed{};
    fixed.StringOffset = static_cast<DWORD>(bytes.size());
    for (const std::string& text : strings) {
        append(text);
    }
    fixed.DataOffset = static_cast<DWORD>(bytes.size());
    fixed.UserSidOffset = fixed.StringOffset;
    bytes.resize((bytes.size() + 3) / 4 * 4 + sizeof(DWORD));
    fixed.Length = static_cast<DWORD>(bytes.size());
    fixed.Reserved = 0x654c664c;
    fixed.RecordNumber = 1;
    fixed.TimeGenerated = timeGenerated;
    fixed.TimeWritten = timeGenerated;
    fixed.EventID = eventId;
    fixed.EventType = type;
    fixed.NumStrings = static_cast<WORD>(strings.size());
    std::memcpy(bytes.data(), &fixed, sizeof fixed);
    std::memcpy(bytes.data() + bytes.size() - sizeof(DWORD), &fixed.Length, sizeof(DWORD));
    return bytes;
}

class RealPlatform : public ::testing::Test {
  protected:
    // What the suite writes into the system's places (the Windows folder, the machine's registry)
    // is taken away again once it has run.
    static std::string WindowsCopy() {
        char windows[MAX_PATH];
        const UINT length = GetWindowsDirectoryA(windows, MAX_PATH);
        return length == 0 || length >= MAX_PATH ? std::string()
                                                 : std::string(windows) + "\\SiftwellTestMessages.dll";
    }

    static void SetUpTestSuite() {
        ASSERT_FALSE(WindowsCopy().empty());
        ASSERT_TRUE(CopyFileA(kMessagesDll.c_str(), WindowsCopy().c_str(), FALSE));
        RegisterSource(kTestLog, "Disk", kMessagesDll);
        RegisterSource(kTestLog, "TwoFiles", kMessagesDll + ";" + kSecondDll);
        RegisterSource(kTestLog, "SystemRoot", "%SystemRoot%\\SiftwellTestMessages.dll");
        RegisterSource(kTestLog, "NoValue", std::nullopt);
        RegisterSource("Application", "ElsewhereOnly", kMessagesDll);
    }

    static void TearDownTestSuite() {
        EXPECT_EQ(RegDeleteTreeA(HKEY_LOCAL_MACHINE, (kEventLogKey + std::string(kTestLog)).c_str()),
                  ERROR_SUCCESS);
        EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE,
                                (kEventLogKey + std::string("Application\\ElsewhereOnly")).c_str()),
                  ERROR_SUCCESS);
        EXPECT_TRUE(DeleteFileA(WindowsCopy().c_str())) << GetLastError();
    }

    // One run of the probe over `records`, everything but the event log real.
    std::string RunPass(const std::vector<std::vector<unsigned char>>& records, const std::string& timeZone) {
        source_.records = records;
        dir_.Write("event.conf", "[event.conf]\r\nLogType=" + std::string(kTestLog) +
                                     "\r\nErrorLevel=Error\r\nTimeZone=" + timeZone + "\r\n");
        ResultFileAt log(dir_.Path(), kResultFileName);
        Win32LogFiles files(dir_.Path());
        const Platform platform{source_, messages_, network_, errors_, dates_, log, files, codec_};
        EXPECT_EQ(RunCapture(platform, dir_.Path()), ExitStatus::Completed);
        return dir_.Read("event.log").value_or("(no event.log)");
    }

    ScratchDir dir_;
    FakeEventSource source_;
    Win32MessageCatalogue messages_;
    Win32TextCodec codec_;
    Win32NetworkSession network_;
    Win32SystemErrors errors_;
    Win32DateText dates_;
};

TEST_F(RealPlatform, RecordsThroughTheRealPass) {
    if (!zandrel::testing::RunningUnderWine()) {
        GTEST_SKIP()
            << "expects Wine's text for message 1001 and its regional settings for the pinned locale";
    }
    constexpr WORD kError = EVENTLOG_ERROR_TYPE;
    std::vector<std::string> twelve;
    for (int i = 1; i <= 12; ++i) {
        twelve.push_back("s" + std::to_string(i));
    }
    const std::vector<std::vector<unsigned char>> records = {
        WindowsRecord(kError, 7, kMarch14At092653, "Disk", {"C:", "sector 9"}),
        WindowsRecord(EVENTLOG_WARNING_TYPE, 7, kMarch14At092653, "Disk", {"not kept"}),
        WindowsRecord(kError, 11, kMarch14At092653, "Disk", twelve),
        WindowsRecord(kError, 12, kMarch14At092653, "Disk", {"too", "long"}),
        WindowsRecord(kError, kOnlyInSecondFile, kMarch14At092653, "TwoFiles", {"second"}),
        WindowsRecord(kError, 7, kMarch14At092653, "SystemRoot", {"D:", "sector 1"}),
        WindowsRecord(kError, kOnlyInTestFile, kMarch14At092653, "Disk", {"E:"}),
        WindowsRecord(kError, 7, kMarch14At092653, "ElsewhereOnly", {"F:", "x"}),
        WindowsRecord(kError, 1001, kMarch14At092653, "NoValue", {}),
        WindowsRecord(kError, 13, kMarch14At092653, "Disk", {"G:"}),
        WindowsRecord(kError, 7, kMarch14At092653, "Disk", {}),
        WindowsRecord(kError, 7, 1142312400, "Disk", {"H:", "midnight"}),
        WindowsRecord(kError, 7, 4000000000u, "Disk", {"I:", "2096"}),
        WindowsRecord(kError, 14, kMarch14At092653, "Disk", {"5", "J:", "L:"}),
        WindowsRecord(kError, 15, kMarch14At092653, "Disk", {"K:"}),
    };
    const std::string head = "Error event on (LOCALHOST) at 3/14/2006 4:26:53 AM (GMT-5) - Source: ";
    const std::string expected =
        head + "\"Disk\".  Event: The disk C: has a bad block at sector 9. \r\n" + head +
        "\"Disk\".  Event: First s1, tenth s10, eleventh %11, twelfth %12, ninety-ninth %99. \r\n" + head +
        "\"Disk\".  Event: too\0long\0\r\n"s + head + "\"TwoFiles\".  Event: second\0\r\n"s + head +
        "\"SystemRoot\".  Event: The disk D: has a bad block at sector 1. \r\n" + head +
        "\"Disk\".  Event: High-bit message for E:. \r\n" + head +
        "\"ElsewhereOnly\".  Event: F:\0x\0 [Could not expand message from source (not local)]\r\n"s + head +
        "\"NoValue\".  Event: Stack overflow. \r\n" + head +
        "\"Disk\".  Event: Two lines: second line with G:. \r\n" + head +
        "\"Disk\".  Event: The disk (null) has a bad block at (null). \r\n" +
        "Error event on (LOCALHOST) at 3/14/2006 (GMT-5) - Source: \"Disk\".  Event: The disk H: has a bad "
        "block "
        "at midnight. \r\n"
        "Error event on (LOCALHOST) at 10/2/2096 2:06:40 AM (GMT-5) - Source: \"Disk\".  Event: The disk I: "
        "has a "
        "bad block at 2096. \r\n" +
        // A precision taken from the arguments misreads the table, past its end for %99: raw strings.
        head + "\"Disk\".  Event: 5\0J:\0L:\0\r\n"s + head + "\"Disk\".  Event: K:\0\r\n"s;
    EXPECT_EQ(RunPass(records, "-5"), expected);
}

TEST_F(RealPlatform, NoRecordOfTheTypeSaysOk) {
    EXPECT_EQ(RunPass({WindowsRecord(EVENTLOG_INFORMATION_TYPE, 7, 0, "Disk", {"C:"})}, "0"), "OK.\r\n");
}

TEST_F(RealPlatform, SystemErrorTexts) {
    if (!zandrel::testing::RunningUnderWine()) {
        GTEST_SKIP() << "expects Wine's message texts";
    }
    EXPECT_EQ(errors_.SystemErrorText(5), "Access denied.\r\n");
    EXPECT_EQ(errors_.SystemErrorText(53), "Bad network path.\r\n");
    EXPECT_EQ(errors_.SystemErrorText(0x7FFFFF00), "");
}

TEST_F(RealPlatform, DateTextFollowsTheUserSettings) {
    if (!zandrel::testing::RunningUnderWine()) {
        GTEST_SKIP() << "expects Wine's regional settings for the pinned locale";
    }
    EXPECT_EQ(dates_.FormatDate(EventTime(kMarch14At092653, 0)), Result<std::string>("3/14/2006 9:26:53 AM"));
    EXPECT_EQ(dates_.FormatDate(EventTime(kMarch14At092653, 5)), Result<std::string>("3/14/2006 2:26:53 PM"));
    EXPECT_EQ(dates_.FormatDate(EventTime(1142294400, 0)), Result<std::string>("3/14/2006"));
    EXPECT_EQ(dates_.FormatDate(EventTime(1141182000, -5)), Result<std::string>("2/28/2006 10:00:00 PM"));
    EXPECT_EQ(dates_.FormatDate(EventTime(0x80000000u, 0)), Result<std::string>("1/19/2038 3:14:08 AM"));
}

TEST_F(RealPlatform, WinesEventLogIsEmptyLocallyAndUnreachableRemotely) {
    if (!zandrel::testing::RunningUnderWine()) {
        GTEST_SKIP() << "expects Wine's event log";
    }
    Win32EventSource events;
    auto local = events.Open("", "System");
    ASSERT_TRUE(std::holds_alternative<std::unique_ptr<EventLogReader>>(local));
    EventLogReader& reader = *std::get<std::unique_ptr<EventLogReader>>(local);
    EXPECT_EQ(std::get<std::uint32_t>(reader.CountRecords()), 0u);
    EXPECT_EQ(std::get<Failure>(ReadNextEvent(reader)).number, 38);

    EXPECT_EQ(std::get<Failure>(events.Open("HostA", "System")).number, 1722);

    // Through the pass: kinds 6 and 9, with the system's text for the number.
    zandrel::testing::MemoryResultFile log;
    Win32LogFiles files(dir_.Path());
    const Platform platform{events, messages_, network_, errors_, dates_, log, files, codec_};
    CaptureContext context(platform);
    EXPECT_EQ(CaptureEvents(context, "HostA", "System", 1, "Error"), PassEnd::EndProgram);
    EXPECT_EQ(log.bytes,
              "SIFTWELL ERROR: Could not open System event log on HostA.\r\n                    1722: " +
                  errors_.SystemErrorText(1722) + "\r\n");
    EXPECT_NE(errors_.SystemErrorText(1722), "");
}

TEST_F(RealPlatform, ReadOfAChangedLogReportsTheSystemsNumber) {
    Win32EventSource events(&ChangedLogRead);
    auto log = events.Open("", "System");
    ASSERT_TRUE(std::holds_alternative<std::unique_ptr<EventLogReader>>(log));
    EXPECT_EQ(std::get<Failure>(ReadNextEvent(*std::get<std::unique_ptr<EventLogReader>>(log))).number,
              ERROR_EVENTLOG_FILE_CHANGED);
}

TEST(Win32MessageCatalogue, ExpansionHasItsExtraCharacterAndItsFailureIsNoName) {
    EXPECT_EQ(Win32MessageCatalogue(&GrowingExpand).ExpandEnvironment("%Dir%\\longer.dll"),
              Result<std::string>("C:\\windows\\longer.dll"));
    EXPECT_EQ(Win32MessageCatalogue(&CharacterCountExpand).ExpandEnvironment("%Dir%\\x.dll"),
              Result<std::string>("C:\\\x95\x5C\x93\xFA\\x.dll"));
    EXPECT_EQ(Win32MessageCatalogue(&FailingExpand).ExpandEnvironment("%Dir%"),
              Result<std::string>(Failure{ERROR_NOT_ENOUGH_MEMORY, {}}));
    if (!zandrel::testing::RunningUnderWine()) {
        GTEST_SKIP() << "expects Wine's lower-case C:\\windows";
    }
    EXPECT_EQ(Win32MessageCatalogue().ExpandEnvironment("%SystemRoot%\\x.dll"),
              Result<std::string>("C:\\windows\\x.dll"));
}

TEST_F(RealPlatform, NetworkManagementTextsFromTheNetworkMessageModule) {
    if (!zandrel::testing::RunningUnderWine()) {
        GTEST_SKIP() << "puts the tests' own netmsg.dll into System32, where Windows has its own";
    }
    // One beside the executable, where a search by name would look first, is never taken.
    const std::string beside = std::get<std::string>(ExecutableDirectory()) + "\\netmsg.dll";
    ASSERT_TRUE(CopyFileA(kNetworkMessagesDll.c_str(), beside.c_str(), FALSE));
    EXPECT_EQ(NetErrorText(network_, 2100), "ERROR: 2100 - " + errors_.SystemErrorText(2100));
    EXPECT_TRUE(DeleteFileA(beside.c_str())) << GetLastError();

    // Wine has no netmsg.dll: the tests' own goes into System32, for this test only.
    const std::string system = SystemDirectoryPath("netmsg.dll");
    ASSERT_FALSE(system.empty());
    ASSERT_EQ(GetFileAttributesA(system.c_str()), INVALID_FILE_ATTRIBUTES) << "a netmsg.dll of the system";
    ASSERT_TRUE(CopyFileA(kNetworkMessagesDll.c_str(), system.c_str(), FALSE)) << GetLastError();
    {
        const UniqueModule loaded(LoadLibraryExA(system.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
        ASSERT_TRUE(MapsFileNamed("netmsg.dll")) << "the check below would see no module at all";
    }
    ASSERT_FALSE(MapsFileNamed("netmsg.dll"));
    EXPECT_EQ(NetErrorText(network_, 2100), "ERROR: 2100 - Module text 2100.\r\n");
    EXPECT_EQ(NetErrorText(network_, 2999), "ERROR: 2999 - Module text 2999.\r\n");
    EXPECT_EQ(NetErrorText(network_, 2099), "ERROR: 2099 - " + errors_.SystemErrorText(2099));
    EXPECT_EQ(NetErrorText(network_, 3000), "ERROR: 3000 - " + errors_.SystemErrorText(3000));
    // A number of the range that the module lacks still finds the system's text.
    EXPECT_NE(errors_.SystemErrorText(2250), "");
    EXPECT_EQ(NetErrorText(network_, 2250), "ERROR: 2250 - " + errors_.SystemErrorText(2250));
    EXPECT_FALSE(MapsFileNamed("netmsg.dll")) << "the module is released after each lookup";
    EXPECT_TRUE(DeleteFileA(system.c_str())) << GetLastError();
}

// A source whose key goes while it is open: the system's error, not a source without a message file.
TEST_F(RealPlatform, ASourceDeletedWhileOpenGivesTheSystemsError) {
    RegisterSource(kTestLog, "Deleted", kMessagesDll);
    Result<std::unique_ptr<SourceRegistration>> source = messages_.OpenSource(kTestLog, "Deleted");
    ASSERT_FALSE(FailureOf(source));
    ASSERT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, (kEventLogKey + std::string(kTestLog) + "\\Deleted").c_str()),
              ERROR_SUCCESS);
    const Result<std::optional<std::string>> value = ValueOf(source)->MessageFileValue();
    const Failure* failure = FailureOf(value);
    ASSERT_NE(failure, nullptr);
    EXPECT_EQ(failure->number, ERROR_KEY_DELETED);
}

TEST_F(RealPlatform, BareMessageFileNamesComeFromSystem32Only) {
    if (!zandrel::testing::RunningUnderWine()) {
        GTEST_SKIP() << "expects the date text of the regional settings the tests pin under Wine";
    }
    // The same message table under two bare names: one in System32, one beside this executable,
    // where a search by name would look first.
    const std::string system = SystemDirectoryPath("SiftwellBareMessages.dll");
    const std::string beside = std::get<std::string>(ExecutableDirectory()) + "\\SiftwellPlantedMessages.dll";
    ASSERT_TRUE(CopyFileA(kMessagesDll.c_str(), system.c_str(), FALSE)) << GetLastError();
    ASSERT_TRUE(CopyFileA(kMessagesDll.c_str(), beside.c_str(), FALSE)) << GetLastError();
    RegisterSource(kTestLog, "Bare", "SiftwellBareMessages.dll");
    RegisterSource(kTestLog, "Planted", "SiftwellPlantedMessages.dll");
    const std::string log =
        RunPass({WindowsRecord(EVENTLOG_ERROR_TYPE, kOnlyInTestFile, kMarch14At092653, "Bare", {"C:"}),
                 WindowsRecord(EVENTLOG_ERROR_TYPE, kOnlyInTestFile, kMarch14At092653, "Planted", {"D:"})},
                "0");
    EXPECT_TRUE(DeleteFileA(system.c_str())) << GetLastError();
    EXPECT_TRUE(DeleteFileA(beside.c_str())) << GetLastError();
    const std::string head = "Error event on (LOCALHOST) at 3/14/2006 9:26:53 AM (GMT) - Source: ";
    EXPECT_EQ(log, head + "\"Bare\".  Event: High-bit message for C:. \r\n" + head +
                       "\"Planted\".  Event: D:\0\r\n"s);
}

TEST_F(RealPlatform, NetworkSessionWithoutNetwork) {
    if (!zandrel::testing::RunningUnderWine()) {
        GTEST_SKIP() << "expects Wine's refusal of every connection";
    }
    EXPECT_EQ(FailureOf(network_.AddConnection(RemoteName("HostA"), "admin",
                                               WideSecret(std::u16string_view(u"secret"))))
                  ->number,
              1222);
    network_.CancelConnection(RemoteName("HostA"));
    EXPECT_EQ(NetErrorText(network_, 1222), "ERROR: 1222 - No network.\r\n");
    EXPECT_EQ(NetErrorText(network_, 53), "ERROR: 53 - Bad network path.\r\n");
    // No netmsg.dll under Wine: the system table alone answers, and a number without any text
    // returns at once with an empty message instead of waiting on a box.
    EXPECT_EQ(NetErrorText(network_, 2099).rfind("ERROR: 2099 - ", 0), 0u);
    EXPECT_EQ(NetErrorText(network_, 2102).rfind("ERROR: 2102 - ", 0), 0u);
    EXPECT_EQ(NetErrorText(network_, 0x7FFFFF00), "ERROR: 2147483392 - ");
}

TEST_F(RealPlatform, FileSearchSeesTheStoredNameAndNoHiddenFile) {
    Win32LogFiles files(dir_.Path());
    using Found = Result<std::optional<std::string>>;
    EXPECT_EQ(files.FindVisibleFile("event.log"), Found(std::nullopt));
    dir_.Write("EVENT.LOG", "x");
    EXPECT_EQ(files.FindVisibleFile("event.log"), Found("EVENT.LOG"));
    EXPECT_TRUE(files.ClearLogFile("EVENT.LOG").Ok());
    EXPECT_EQ(dir_.Read("EVENT.LOG"), "");
    // Another run's fresh start may have taken it away in between: nothing old is left either way.
    std::filesystem::remove(dir_.PathOf("EVENT.LOG"));
    EXPECT_TRUE(files.ClearLogFile("event.log").Ok());

    dir_.Write("event.log", "x");
    const std::string path = dir_.PathOf("event.log");
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_HIDDEN);
    if ((GetFileAttributesA(path.c_str()) & FILE_ATTRIBUTE_HIDDEN) == 0) {
        GTEST_SKIP() << "this file system keeps no hidden attribute";
    }
    EXPECT_EQ(files.FindVisibleFile("event.log"), Found(std::nullopt));
}

}  // namespace
}  // namespace zandrel::siftwell::testing
