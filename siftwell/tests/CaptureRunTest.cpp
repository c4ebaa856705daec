// Whole runs of the probe over settings files, with fake platform answers: the exact bytes of
// event.log and the exit status for every line sequence and failure row.
#include <gtest/gtest.h>

#include "siftwell/tests/Fakes.h"
#include "siftwell/core/Lines.h"
#include "siftwell/core/Module1.h"
#include "siftwell/tests/RecordBuilder.h"
#include "Scratch.h"
#include "siftwell/core/WinNet.h"
#include "siftwell/core/eventlog.h"

namespace zandrel::siftwell::testing {
namespace {

using namespace std::string_literals;
using zandrel::testing::ScratchDir;

constexpr std::uint32_t kMarch14At092653 = 1142328413;
const std::string kAccessDenied = "                    5: Access denied.\r\n\r\n";

struct Settings {
    std::optional<std::string> server = "";
    std::optional<std::string> userName;
    std::optional<std::string> password;
    std::optional<std::string> logType = "System";
    std::optional<std::string> errorLevel = "Error";
    std::optional<std::string> overwriteLog;
    std::optional<std::string> timeZone;
};

std::string ConfText(const Settings& settings) {
    std::string text = "[event.conf]\r\n";
    const std::pair<const char*, const std::optional<std::string>*> keys[] = {
        {"Server", &settings.server},         {"Username", &settings.userName},
        {"Password", &settings.password},     {"LogType", &settings.logType},
        {"ErrorLevel", &settings.errorLevel}, {"OverwriteLog", &settings.overwriteLog},
        {"TimeZone", &settings.timeZone}};
    for (const auto& [key, value] : keys) {
        if (*value) {
            text += "\"" + std::string(key) + "=" + **value + "\"\r\n";  // quoted: commas and blanks stay
        }
    }
    return text;
}

ExitStatus RunProbe(FakePlatform& fakes, const std::optional<std::string>& confText) {
    ScratchDir dir;
    if (confText) {
        dir.Write("event.conf", *confText);
    }
    return RunCapture(fakes.platform, dir.Path());
}

ExitStatus RunProbe(FakePlatform& fakes, const Settings& settings) {
    return RunProbe(fakes, ConfText(settings));
}

std::vector<unsigned char> DiskRecord(std::uint16_t type, std::string disk = "C:") {
    return BuildEventRecord({.eventType = type,
                             .eventId = 7,
                             .timeGenerated = kMarch14At092653,
                             .sourceName = "Disk",
                             .strings = {std::move(disk)}});
}

// The disk source registered with its message file.
void RegisterDisk(FakePlatform& fakes) {
    fakes.messages.registrations[{"System", "Disk"}] = "disk.dll";
    fakes.messages.messages[{"disk.dll", 7}] = "The disk %1 has a bad block.\r\n";
}

std::string DiskLine(std::string_view level, std::string_view server, std::string_view disk = "C:") {
    return std::string(level) + " event on " + std::string(server) +
           " at 3/14/2006 9:26:53 AM (GMT) - Source: \"Disk\".  Event: The disk " + std::string(disk) +
           " has a bad block. \r\n";
}

TEST(CaptureRun, MissingSettingsFileWritesNothingAndDeletesNothing) {
    FakePlatform fakes;
    fakes.files.files = {{"event.log"}};
    EXPECT_EQ(RunProbe(fakes, std::nullopt), ExitStatus::SettingsUnusable);
    EXPECT_EQ(fakes.log.bytes, "");
    EXPECT_TRUE(fakes.files.cleared.empty());
    EXPECT_TRUE(fakes.events.opened.empty());
}

// Saved as UTF-8, the values reach the calls in the ANSI code page; a value it cannot hold stops the
// run before it touches anything, as a missing file does.
TEST(CaptureRun, UnicodeSettingsReachTheCallsInTheCodePageOrStopTheRun) {
    const std::string conf =
        "\xEF\xBB\xBF[event.conf]\r\nServer=HostA\r\nUsername=M\xC3\xBCller\r\n"
        "LogType=System\r\nErrorLevel=Error\r\nOverwriteLog=True\r\n";
    {
        FakePlatform fakes;
        EXPECT_EQ(RunProbe(fakes, conf + "Password=p\xC3\xA4ss\r\n"), ExitStatus::Completed);
        EXPECT_EQ(fakes.network.calls.at(0), "add \\\\HostA\\ipc$ M\xFCller p\xE4ss");
    }
    FakePlatform fakes;
    fakes.files.files = {{"event.log"}};
    EXPECT_EQ(RunProbe(fakes, conf + "Password=\xCE\xA9mega\r\n"), ExitStatus::SettingsUnusable);
    EXPECT_EQ(fakes.log.bytes, "");
    EXPECT_TRUE(fakes.files.cleared.empty());
    EXPECT_TRUE(fakes.network.calls.empty());
    EXPECT_TRUE(fakes.events.opened.empty());
}

TEST(CaptureRun, InsufficientSettingsWriteKindsOneAndTwo) {
    const std::string expected =
        "SIFTWELL ERROR: Insufficient settings in event.conf.\r\n"
        "                    Need at least LogType and ErrorLevel.\r\n";
    const std::pair<const char*, std::string> cases[] = {
        {"header missing", "[eventconf]\r\nLogType=System\r\nErrorLevel=Error\r\nOverwriteLog=True\r\n"},
        {"header only", "[event.conf]"},
        {"LogType absent", ConfText({.logType = std::nullopt})},
        {"LogType empty", ConfText({.logType = ""})},
        {"ErrorLevel absent", ConfText({.errorLevel = std::nullopt})},
        {"ErrorLevel empty", ConfText({.errorLevel = ""})},
        {"ErrorLevel lower case", ConfText({.errorLevel = "error"})},
        {"ErrorLevel upper case", ConfText({.errorLevel = "AUDIT FAILURE"})},
        {"ErrorLevel NOTFOUND", ConfText({.errorLevel = "NOTFOUND"})},
        {"Server without the others",
         ConfText({.server = "HostA", .logType = std::nullopt, .errorLevel = std::nullopt})},
    };
    for (const auto& [what, conf] : cases) {
        SCOPED_TRACE(what);
        FakePlatform fakes;
        fakes.files.files = {{"event.log"}};
        EXPECT_EQ(RunProbe(fakes, conf), ExitStatus::Completed);
        EXPECT_EQ(fakes.log.bytes, expected);
        EXPECT_TRUE(fakes.files.cleared.empty());
        EXPECT_TRUE(fakes.events.opened.empty());
        EXPECT_TRUE(fakes.network.calls.empty());
    }
}

TEST(CaptureRun, EachErrorLevelKeepsItsOwnType) {
    const std::pair<const char*, std::uint16_t> levels[] = {{"Success", 0},       {"Error", 1},
                                                            {"Warning", 2},       {"Information", 4},
                                                            {"Audit Success", 8}, {"Audit Failure", 16}};
    for (const auto& [level, type] : levels) {
        SCOPED_TRACE(level);
        FakePlatform fakes;
        RegisterDisk(fakes);
        for (const auto& [otherLevel, otherType] : levels) {
            fakes.events.records.push_back(DiskRecord(otherType, otherType == type ? "C:" : "X:"));
        }
        EXPECT_EQ(RunProbe(fakes, Settings{.errorLevel = level}), ExitStatus::Completed);
        EXPECT_EQ(fakes.log.bytes, DiskLine(level, "(LOCALHOST)"));
        EXPECT_EQ(fakes.events.opened, (std::vector<std::pair<std::string, std::string>>{{"", "System"}}));
        EXPECT_EQ(fakes.events.closed, 1);
    }
}

TEST(CaptureRun, PassSequences) {
    struct Case {
        const char* what;
        std::vector<std::uint16_t> types;
        std::optional<std::size_t> readFailureAt;
        std::string expected;
    };
    const std::string readFailure =
        "SIFTWELL ERROR: Could not read event from the System event log on .\r\n" + kAccessDenied;
    const std::string localReadFailure =
        "SIFTWELL ERROR: Could not read event from the System event log on (LOCALHOST).\r\n" + kAccessDenied;
    const Case cases[] = {
        {"empty log", {}, std::nullopt, "OK.\r\n"},
        {"none of the type", {2, 4, 8}, std::nullopt, "OK.\r\n"},
        {"kept records oldest first",
         {1, 2, 1},
         std::nullopt,
         DiskLine("Error", "(LOCALHOST)", "C0:") + DiskLine("Error", "(LOCALHOST)", "C2:")},
        {"read failure before any kept record", {2, 1}, 1, readFailure + "OK.\r\n"},
        {"read failure at the first record", {1}, 0, readFailure + "OK.\r\n"},
        {"read failure after a kept record",
         {1, 2, 1},
         2,
         DiskLine("Error", "(LOCALHOST)", "C0:") + localReadFailure},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FakePlatform fakes;
        RegisterDisk(fakes);
        for (std::size_t i = 0; i < c.types.size(); ++i) {
            fakes.events.records.push_back(DiskRecord(c.types[i], "C" + std::to_string(i) + ":"));
        }
        fakes.events.readFailureAt = c.readFailureAt;
        fakes.events.readError = 5;
        EXPECT_EQ(RunProbe(fakes, Settings{}), ExitStatus::Completed);
        EXPECT_EQ(fakes.log.bytes, c.expected);
        EXPECT_EQ(fakes.events.closed, 1);
        EXPECT_EQ(fakes.events.reads, c.readFailureAt ? *c.readFailureAt + 1 : c.types.size());
    }
}

TEST(CaptureRun, RecordLongerThanAReadCanTakeIsAReadFailure) {
    // The size probe's length is the buffer of the read; one beyond what a read takes is never
    // allocated: kinds 8 and 9 with the probe's number (122, an insufficient buffer).
    const std::string tooLong =
        "SIFTWELL ERROR: Could not read event from the System event log on .\r\n"
        "                    122: The data area passed to a system call is too small.\r\n\r\n";
    const struct {
        std::uint32_t probed;
        std::string expected;
        std::vector<std::uint32_t> readSizes;
    } cases[] = {
        {kLargestRecordRead + 1, tooLong + "OK.\r\n", {}},
        {kLargestRecordRead, DiskLine("Error", "(LOCALHOST)"), {kLargestRecordRead}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.probed);
        FakePlatform fakes;
        RegisterDisk(fakes);
        fakes.events.records = {DiskRecord(1)};
        fakes.events.probedLengths[0] = c.probed;
        fakes.errors.texts[122] = "The data area passed to a system call is too small.\r\n";
        EXPECT_EQ(RunProbe(fakes, Settings{}), ExitStatus::Completed);
        EXPECT_EQ(fakes.log.bytes, c.expected);
        EXPECT_EQ(fakes.events.readSizes, c.readSizes);
    }
}

TEST(CaptureRun, LogThatCannotBeOpenedOrCountedEndsTheRun) {
    for (const bool remote : {false, true}) {
        SCOPED_TRACE(remote ? "remote" : "local");
        const std::string server = remote ? "HostA" : "";
        {
            FakePlatform fakes;
            fakes.events.openError = 5;
            EXPECT_EQ(RunProbe(fakes, Settings{.server = server, .password = "pw"}), ExitStatus::Completed);
            EXPECT_EQ(fakes.log.bytes, "SIFTWELL ERROR: Could not open System event log on " + server +
                                           ".\r\n" + kAccessDenied);
            EXPECT_EQ(fakes.events.opened.at(0).first, server);
        }
        {
            FakePlatform fakes;
            fakes.events.countError = 1722;
            fakes.errors.texts[1722] = "RPC server unavailable.\r\n";
            EXPECT_EQ(RunProbe(fakes, Settings{.server = server, .password = "pw"}), ExitStatus::Completed);
            EXPECT_EQ(
                fakes.log.bytes,
                "SIFTWELL ERROR: Could not get number of event log records in the System event log on " +
                    server + ".\r\n                    1722: RPC server unavailable.\r\n\r\n");
            EXPECT_EQ(fakes.events.closed, 1);
            // A connection left open would make later runs with other credentials fail.
            EXPECT_EQ(fakes.network.calls.size(), remote ? 2u : 0u);
        }
    }
}

TEST(CaptureRun, SystemErrorWithoutTextEndsWithColonAndBlank) {
    FakePlatform fakes;
    fakes.events.openError = 99999;
    RunProbe(fakes, Settings{});
    EXPECT_EQ(fakes.log.bytes,
              "SIFTWELL ERROR: Could not open System event log on .\r\n                    99999: \r\n");
}

TEST(CaptureRun, RemotePassConnectsShowsTheServerAndCancelsAfterTheLastLine) {
    FakePlatform fakes;
    RegisterDisk(fakes);
    fakes.events.records = {DiskRecord(1)};
    EXPECT_EQ(RunProbe(fakes, Settings{.server = "HostA", .userName = "admin", .password = "secret"}),
              ExitStatus::Completed);
    EXPECT_EQ(fakes.log.bytes, DiskLine("Error", "HostA"));
    EXPECT_EQ(fakes.events.opened.at(0).first, "HostA");
    EXPECT_EQ(fakes.network.calls,
              (std::vector<std::string>{"add \\\\HostA\\ipc$ admin secret", "cancel \\\\HostA\\ipc$"}));
    EXPECT_EQ(fakes.network.logAtCancel, fakes.log.bytes);
    // Gone (and so wiped) as soon as the connection call returned, long before the run ends.
    EXPECT_EQ(fakes.network.secretsHeldAfterAdd, std::vector<std::size_t>{0});
}

TEST(CaptureRun, RemoteEmptyPassCancelsAfterOk) {
    FakePlatform fakes;
    EXPECT_EQ(RunProbe(fakes, Settings{.server = "HostA"}), ExitStatus::Completed);
    EXPECT_EQ(fakes.network.calls,
              (std::vector<std::string>{"add \\\\HostA\\ipc$  ", "cancel \\\\HostA\\ipc$"}));
    EXPECT_EQ(fakes.network.logAtCancel, "OK.\r\n");
}

TEST(CaptureRun, RefusedConnectionWritesKindsThreeFourAndFive) {
    struct Case {
        Settings settings;
        std::int32_t error;
        std::string expected;
    };
    const Case cases[] = {
        {{.server = "HostA", .userName = "admin", .password = "pw"},
         53,
         "SIFTWELL ERROR: Could not connect to HostA using username: \"admin\".  Exiting.\r\n"
         "\tERROR: 53 - Bad network path.\r\n\r\n"},
        {{.server = "HostA", .userName = "admin"},
         1222,
         "SIFTWELL ERROR: Could not connect to HostA using username: \"admin\".  Exiting.\r\n"
         "\tERROR: 1222 - The network is not present or not started.\r\n\r\n"
         "Note: supplied password was less than 1 character long.\r\n"},
        {{.server = "HostA", .userName = "", .password = ""},
         1326,
         "SIFTWELL ERROR: Could not connect to HostA using username: \"\".  Exiting.\r\n"
         "\tERROR: 1326 - \r\n"
         "Note: supplied password was less than 1 character long.\r\n"},
        {{.server = "\\\\HostA", .password = "x"},
         67,
         "SIFTWELL ERROR: Could not connect to \\\\HostA using username: \"\".  Exiting.\r\n"
         "\tERROR: 67 - The network name cannot be found.\r\n\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.error);
        FakePlatform fakes;
        fakes.network.addResult = c.error;
        fakes.network.systemTexts = {{53, "Bad network path.\r\n"},
                                     {1222, "The network is not present or not started.\r\n"},
                                     {67, "The network name cannot be found.\r\n"}};
        EXPECT_EQ(RunProbe(fakes, c.settings), ExitStatus::Completed);
        EXPECT_EQ(fakes.log.bytes, c.expected);
        EXPECT_TRUE(fakes.events.opened.empty());
        ASSERT_FALSE(fakes.network.calls.empty());
        EXPECT_EQ(fakes.network.calls[0], "add \\\\" + *c.settings.server + "\\ipc$ " +
                                              c.settings.userName.value_or("") + " " +
                                              c.settings.password.value_or(""));
        EXPECT_EQ(fakes.network.calls.back().rfind("cancel", 0), std::string::npos);
        EXPECT_EQ(fakes.network.secretsHeldAfterAdd, std::vector<std::size_t>{0}) << "gone before the lines";
    }
}

TEST(NetErrorText, NetworkManagementRangeAndMissingTexts) {
    FakeNetwork network;
    network.systemTexts = {
        {2099, "sys 2099\r\n"}, {2100, "sys 2100\r\n"}, {2500, "sys 2500\r\n"}, {3000, "sys 3000\r\n"}};
    network.networkTexts = {{2100, "net 2100\r\n"}, {2999, "net 2999\r\n"}};
    EXPECT_EQ(NetErrorText(network, 2099), "ERROR: 2099 - sys 2099\r\n");
    EXPECT_EQ(NetErrorText(network, 2100), "ERROR: 2100 - net 2100\r\n");
    EXPECT_EQ(NetErrorText(network, 2999), "ERROR: 2999 - net 2999\r\n");
    EXPECT_EQ(NetErrorText(network, 3000), "ERROR: 3000 - sys 3000\r\n");
    EXPECT_EQ(network.calls, (std::vector<std::string>{"message 2099 system", "message 2100 netmsg",
                                                       "message 2999 netmsg", "message 3000 system"}));
    EXPECT_TRUE(network.notices.empty());
    // No text anywhere: an empty message, and a notice instead of a box that would wait for a click.
    EXPECT_EQ(NetErrorText(network, -5), "ERROR: -5 - ");
    EXPECT_EQ(network.notices, std::vector<std::string>{"FormatMessage Error : 317"});
}

TEST(CaptureRun, TimeZoneHours) {
    struct Case {
        std::optional<std::string> text;
        std::optional<std::int16_t> hours;
    };
    const Case cases[] = {
        {"-5", -5},
        {"+3", 3},
        {"2.5", 2},
        {"3.5", 4},
        {" 1 0", 10},
        {"abc", 0},
        {"", 0},
        {"NOTFOUND", 0},
        {std::nullopt, 0},
        {"-2.5", -2},
        {"\t-\t5", -5},
        {"5abc", 5},
        {".5", 0},
        {"1.5", 2},
        {"0.5000001", 1},
        {"1e3", 1},
        {"32767", 32767},
        {"-32768", -32768},
        {"32767.4", 32767},
        {"-32768.5", -32768},
        {"32767.5", std::nullopt},
        {"-32769", std::nullopt},
        {"40000", std::nullopt},
        {"99999999999999999999999999999999", std::nullopt},
        // Hundreds of digits: beyond what a double holds, and leading zeros before a small number.
        {std::string(400, '9'), std::nullopt},
        {"-" + std::string(400, '9') + ".5", std::nullopt},
        {std::string(400, '0') + "7." + std::string(400, '0') + "1", 7},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text.value_or("(absent)"));
        EXPECT_EQ(TimeZoneToHours(c.text.value_or("NOTFOUND")), c.hours);
        FakePlatform fakes;
        RegisterDisk(fakes);
        fakes.events.records = {DiskRecord(1)};
        EXPECT_EQ(RunProbe(fakes, Settings{.timeZone = c.text}), ExitStatus::Completed);
        if (c.hours) {
            EXPECT_NE(fakes.log.bytes.find(ZoneText(*c.hours) + " - Source"), std::string::npos);
        } else {
            // The run does not go on with a wrong offset.
            EXPECT_EQ(
                fakes.log.bytes,
                "SIFTWELL ERROR: TimeZone in event.conf is outside -32768 to 32767 hours.  Exiting.\r\n");
            EXPECT_TRUE(fakes.events.opened.empty());
        }
    }
}

TEST(CaptureRun, OverwriteDeletesOnlyAVisibleEventLogNamedExactly) {
    struct Case {
        const char* what;
        std::string overwrite;
        FakeLogFiles::File file;
        bool deleted;
    };
    const Case cases[] = {
        {"True", "True", {"event.log"}, true},
        {"true", "true", {"event.log"}, false},
        {"TRUE", "TRUE", {"event.log"}, false},
        {"other word", "Yes", {"event.log"}, false},
        {"hidden", "True", {"event.log", true}, false},
        {"other letter case on disk", "True", {"Event.Log"}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        for (const bool settingsComplete : {true, false}) {
            FakePlatform fakes;
            fakes.files.files = {c.file};
            const Settings settings{.logType = settingsComplete ? "System" : "", .overwriteLog = c.overwrite};
            EXPECT_EQ(RunProbe(fakes, settings), ExitStatus::Completed);
            EXPECT_EQ(fakes.files.cleared,
                      c.deleted ? std::vector<std::string>{"event.log"} : std::vector<std::string>{});
        }
    }
}

TEST(CaptureRun, StaleLogThatCannotBeDeletedIsNeverAppendedTo) {
    const struct {
        const char* what;
        std::optional<std::int32_t> findError;
        std::optional<std::int32_t> clearError;
    } kCases[] = {
        {"cannot be emptied", std::nullopt, 5},
        {"search fails", 5, std::nullopt},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.what);
        FakePlatform fakes;
        fakes.files.files = {{"event.log"}};
        fakes.files.findError = c.findError;
        fakes.files.clearError = c.clearError;
        EXPECT_EQ(RunProbe(fakes, Settings{.server = "HostA", .overwriteLog = "True"}),
                  ExitStatus::StaleLogKept);
        EXPECT_EQ(fakes.log.bytes, "");
        EXPECT_TRUE(fakes.network.calls.empty());
        EXPECT_TRUE(fakes.events.opened.empty());
    }
}

TEST(CaptureRun, UnwritableLogGivesItsStatusAndStopsTheRun) {
    {
        FakePlatform fakes;
        fakes.log.failFromLine = 0;
        EXPECT_EQ(RunProbe(fakes, Settings{.logType = ""}), ExitStatus::ResultUnwritable);
        EXPECT_EQ(fakes.log.attempts, 1u);
    }
    {
        FakePlatform fakes;
        fakes.log.failFromLine = 0;
        EXPECT_EQ(RunProbe(fakes, Settings{}), ExitStatus::ResultUnwritable);
    }
    {
        // The first record line fails: no further record is read, the log and the connection are closed.
        FakePlatform fakes;
        RegisterDisk(fakes);
        fakes.events.records = {DiskRecord(1), DiskRecord(1), DiskRecord(1)};
        fakes.log.failFromLine = 1;
        EXPECT_EQ(RunProbe(fakes, Settings{.server = "HostA", .password = "pw"}),
                  ExitStatus::ResultUnwritable);
        EXPECT_EQ(fakes.log.bytes, DiskLine("Error", "HostA"));
        EXPECT_EQ(fakes.events.reads, 2u);
        EXPECT_EQ(fakes.events.closed, 1);
        EXPECT_EQ(fakes.network.calls.back(), "cancel \\\\HostA\\ipc$");
    }
    {
        FakePlatform fakes;
        fakes.network.addResult = 53;
        fakes.log.failFromLine = 1;
        EXPECT_EQ(RunProbe(fakes, Settings{.server = "HostA"}), ExitStatus::ResultUnwritable);
    }
}

TEST(CaptureRun, MessageExpansionRows) {
    struct Case {
        const char* what;
        RecordFields record;
        std::map<std::pair<std::string, std::string>, Result<std::optional<std::string>>> registrations;
        std::string message;  // after " Event: "
        std::optional<std::string> formattedFile;
    };
    const Case cases[] = {
        {"source not registered locally",
         {.sourceName = "Remote", .strings = {"a", "b"}},
         {},
         "a\0b\0 [Could not expand message from source (not local)]"s,
         std::nullopt},
        {"registered under another log only",
         {.sourceName = "Disk", .strings = {"C:"}},
         {{{"Application", "Disk"}, "disk.dll"}},
         "C:\0 [Could not expand message from source (not local)]"s,
         std::nullopt},
        {"two files: only the first is searched",
         {.eventId = 8, .sourceName = "Disk", .strings = {"C:"}},
         {{{"System", "Disk"}, "disk.dll;second.dll"}},
         "C:\0"s,
         "disk.dll"},
        {"environment reference expanded",
         {.eventId = 7, .sourceName = "Disk", .strings = {"D:"}},
         {{{"System", "Disk"}, "%SystemRoot%\\disk.dll"}},
         "On D: at . ",
         "C:\\Windows\\disk.dll"},
        {"no message file value",
         {.eventId = 9, .sourceName = "Disk", .strings = {"x"}},
         {{{"System", "Disk"}, ""}},
         "x\0"s,
         ""},
        {"key without the value: no file, the system table only",
         {.eventId = 1001, .sourceName = "Disk"},
         {{{"System", "Disk"}, std::nullopt}},
         "Stack overflow. ",
         ""},
        {"value that cannot be read: no file, the system table only",
         {.eventId = 1001, .sourceName = "Disk"},
         {{{"System", "Disk"}, Failure{234, {}}}},
         "Stack overflow. ",
         ""},
        {"message too long to be formatted: raw strings",
         {.eventId = 15, .sourceName = "Disk", .strings = {"C:"}},
         {{{"System", "Disk"}, "disk.dll"}},
         "C:\0"s,
         "disk.dll"},
        {"system table answers",
         {.eventId = 1001, .sourceName = "Disk"},
         {{{"System", "Disk"}, "none.dll"}},
         "Stack overflow. ",
         "none.dll"},
        {"value that cannot be expanded: no file, the system table only",
         {.eventId = 1001, .sourceName = "Disk"},
         {{{"System", "Disk"}, "%Broken%\\disk.dll"}},
         "Stack overflow. ",
         ""},
        {"identifier with its high bits",
         {.eventId = 0xC0FF0007, .sourceName = "Disk", .strings = {"C:"}},
         {{{"System", "Disk"}, "disk.dll"}},
         "High C: bits.",
         "disk.dll"},
        {"reference above ten",
         {.eventId = 11, .sourceName = "Disk", .strings = {"one"}},
         {{{"System", "Disk"}, "disk.dll"}},
         "one %11 (null)",
         "disk.dll"},
        {"line breaks inside",
         {.eventId = 12, .sourceName = "Disk"},
         {{{"System", "Disk"}, "disk.dll"}},
         "a b\rc\nd ",
         "disk.dll"},
        {"precision taken from the arguments: not formatted",
         {.eventId = 14, .sourceName = "Disk", .strings = {"5", "J:"}},
         {{{"System", "Disk"}, "disk.dll"}},
         "5\0J:\0"s,
         "disk.dll"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FakePlatform fakes;
        fakes.messages.registrations = c.registrations;
        fakes.messages.environment = {{"%SystemRoot%", "C:\\Windows"}};
        fakes.messages.unexpandable = {"%Broken%\\disk.dll"};
        fakes.messages.messages = {{{"disk.dll", 7}, "Disk %1 failed."},
                                   {{"second.dll", 8}, "Only in the second file: %1"},
                                   {{"C:\\Windows\\disk.dll", 7}, "On %1 at %2.%n"},
                                   {{"disk.dll", 0xC0FF0007}, "High %1 bits."},
                                   {{"disk.dll", 11}, "%1 %11 %3"},
                                   {{"disk.dll", 12}, "a\r\nb\rc\nd\r\n"},
                                   {{"disk.dll", 14}, "%1!.*s! on %2"},
                                   {{"disk.dll", 15}, "%1 and 1023 characters more"}};
        fakes.messages.unformattable = {15};
        fakes.messages.systemMessages = {{1001, "Stack overflow.\r\n"}};
        RecordFields record = c.record;
        record.timeGenerated = kMarch14At092653;
        fakes.events.records = {BuildEventRecord(record)};
        EXPECT_EQ(RunProbe(fakes, Settings{}), ExitStatus::Completed);
        EXPECT_EQ(fakes.log.bytes, "Error event on (LOCALHOST) at 3/14/2006 9:26:53 AM (GMT) - Source: \"" +
                                       record.sourceName + "\".  Event: " + c.message + "\r\n");
        if (c.formattedFile) {
            EXPECT_EQ(fakes.messages.formattedFiles, std::vector<std::string>{*c.formattedFile});
            EXPECT_EQ(fakes.messages.formattedIds, std::vector<std::uint32_t>{record.eventId});
        } else {
            EXPECT_TRUE(fakes.messages.formattedFiles.empty());
        }
    }
}

TEST(CaptureRun, MalformedKeptRecordGivesALineWithEmptyParts) {
    FakePlatform fakes;
    auto bytes =
        BuildEventRecord({.timeGenerated = kMarch14At092653, .sourceName = "Disk", .strings = {"C:"}});
    PatchUint32(bytes, kDataOffsetField, 0xFFFFFFFF);
    std::vector<unsigned char> tooShort(40, 1);
    fakes.events.records = {tooShort, bytes};
    EXPECT_EQ(RunProbe(fakes, Settings{}), ExitStatus::Completed);
    EXPECT_EQ(fakes.log.bytes,
              "Error event on (LOCALHOST) at 3/14/2006 9:26:53 AM (GMT) - Source: \"Disk\".  Event:  "
              "[Could not expand message from source (not local)]\r\n");
}

TEST(CaptureRun, DateTheSystemCannotWriteLeavesItsPartEmpty) {
    FakePlatform fakes;
    RegisterDisk(fakes);
    fakes.dates.failure = 87;
    fakes.events.records = {DiskRecord(1)};
    EXPECT_EQ(RunProbe(fakes, Settings{}), ExitStatus::Completed);
    EXPECT_EQ(
        fakes.log.bytes,
        "Error event on (LOCALHOST) at  (GMT) - Source: \"Disk\".  Event: The disk C: has a bad block. \r\n");
}

TEST(CaptureRun, TwoStringsReachTheCatalogueAsSlotsOneToThree) {
    FakePlatform fakes;
    RegisterDisk(fakes);
    fakes.events.records = {BuildEventRecord({.eventId = 7, .sourceName = "Disk", .strings = {"C:", "D:"}})};
    RunProbe(fakes, Settings{});
    ASSERT_EQ(fakes.messages.formattedArgs.size(), 1u);
    const MessageArgs& args = fakes.messages.formattedArgs[0];
    EXPECT_EQ(args[0], "C:");
    EXPECT_EQ(args[1], "D:");
    EXPECT_EQ(args[2], "");
    EXPECT_FALSE(args[3]);
}

}  // namespace
}  // namespace zandrel::siftwell::testing
