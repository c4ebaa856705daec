// The probe's figures, lines and run sequences against a fake management service.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <limits>

#include "gaugewell/tests/FakeManagementService.h"
#include "gaugewell/core/Module1.h"
#include "gaugewell/core/Lines.h"
#include "FakeTextCodec.h"
#include "MemoryResultFile.h"
#include "ResultFile.h"
#include "Scratch.h"
#include "SecretCount.h"

namespace zandrel::gaugewell::testing {
namespace {

using namespace zandrel::testing;

using ::testing::ElementsAre;

const std::string kProcessorQuery = "Select * From Win32_Processor";
const std::string kMemoryClass = "Win32_OperatingSystem";
std::string DiskQuery(const std::string& drive) {
    return "Select * From Win32_LogicalDisk Where DeviceID = \"" + drive + "\"";
}
const Failure kAccessDenied{-2147217405, "Access denied "};
const Failure kNoHost{-2147217387, ""};

// A host that answers every query: one processor at 18%, 1 GiB of 4 GiB free, drive C: 476 MB (12%) free.
FakeManagementService HealthyHost() {
    FakeManagementService host;
    host.answers[kProcessorQuery] = {.instances = {{{"LoadPercentage", "18"}}}};
    host.answers[kMemoryClass] = {
        .instances = {{{"FreePhysicalMemory", "1048576"}, {"TotalVisibleMemorySize", "4194304"}}}};
    for (const char* drive : {"C:", "c:"}) {
        host.answers[DiskQuery(drive)] = {
            .instances = {{{"FreeSpace", "500000000"}, {"Size", "4000000000"}}}};
    }
    return host;
}

struct RunOutcome {
    ExitStatus status;
    std::optional<std::string> log;
};

const FakeTextCodec kWestern(1252);
const IniValue kThisComputer = PlainValue(".");
const IniValue kNone = PlainValue("");

RunOutcome RunWith(FakeManagementService& host, const std::optional<std::string>& settings,
                   FakeLocale locale = {}) {
    ScratchDir dir;
    if (settings) {
        dir.Write("memory.conf", *settings);
    }
    ResultFileAt resultFile(dir.Path(), "Gaugewell.log");
    const ExitStatus status = Main(host, locale, kWestern, resultFile, dir.Path());
    return {status, dir.Read("Gaugewell.log")};
}

TEST(FormatSize, PicksUnitByPowersOfTenAndDividesByPowersOf1024) {
    const struct {
        double bytes;
        const char* text;
    } kCases[] = {
        {0, " "},
        {0.5, " "},
        {500, "500 "},
        {1000, "1,000 "},
        {1001, "1,001 Bytes"},
        {1000000, "1,000,000 Bytes"},
        {1000001, "976 KB"},
        {1048576, "1,024 KB"},
        {1000000000, "976,562 KB"},
        {1000000001, "953 MB"},
        {2147483648, "2,048 MB"},
        {1000000000000, "953,674 MB"},
        {1000000000001, "931 GB"},
        {2000000000000, "1,862 GB"},
        {-5, " "},  // never below zero: nothing to show
        {std::numeric_limits<double>::infinity(), " "},
        {std::numeric_limits<double>::quiet_NaN(), " "},
    };
    for (const auto& c : kCases) {
        EXPECT_EQ(FormatSize(c.bytes, ","), c.text) << c.bytes;
    }
}

TEST(FormatSize, GroupsWithTheLocaleSeparator) {
    EXPECT_EQ(FormatSize(2147483648, "."), "2.048 MB");
    EXPECT_EQ(FormatSize(1000000000, "\xA0"),
              "976\xA0"
              "562 KB");
    EXPECT_EQ(FormatSize(1000000000, ""), "976562 KB");
    EXPECT_EQ(FormatSize(1e30, ","), "931,322,574,615,478,534,144 GB");
}

TEST(ParseCount, AcceptsOnlyWholeDecimalCounts) {
    const struct {
        std::optional<std::string> text;
        std::optional<double> value;
    } kCases[] = {
        {"12345678901", 12345678901.0},
        {" 42 ", 42.0},
        {"0", 0.0},
        {"18446744073709551615", 18446744073709551615.0},
        {std::nullopt, std::nullopt},
        {"", std::nullopt},
        {"   ", std::nullopt},
        {"abc", std::nullopt},
        {"12abc", std::nullopt},
        {"-1", std::nullopt},
        {"1e400", std::nullopt},
        {"inf", std::nullopt},
        {"nan", std::nullopt},
        // Nothing but whole decimal digits is a count.
        {"0.5", std::nullopt},
        {"1e-300", std::nullopt},
        {"1e3", std::nullopt},
        {"+5", std::nullopt},
        {"1 000", std::nullopt},
        {"99999999999999999999999", std::nullopt},
    };
    for (const auto& c : kCases) {
        EXPECT_EQ(ParseCount(c.text), c.value) << c.text.value_or("(absent)");
    }
}

// Runs one measurement alone against `host` and gives its result, or nothing when the run ended.
template <typename Probe>
auto Measure(FakeManagementService& host, Probe probe) {
    FakeLocale locale;
    MemoryResultFile resultFile;
    ProbeContext context{host, locale, resultFile};
    return probe(context);
}

std::string MemoryText(const FakeProperties& properties) {
    FakeManagementService host;
    host.answers[kMemoryClass] = {.instances = {properties}};
    return Measure(host,
                   [](ProbeContext& c) {
                       MaskedSecret<char16_t> noPassword;
                       return GetFreeMemory(c, kThisComputer, kNone, noPassword);
                   })
        .value_or("(ended)");
}

TEST(GetFreeMemory, ShowsTheFreeAmountAndItsShare) {
    const struct {
        const char* free;
        const char* total;
        const char* text;
    } kCases[] = {
        {"1048576", "4194304", "1024 MB (25% Free)"},
        {"512000", "2097152", "512000 KB (24% Free)"},
        {"976562", "2097152", "976562 KB (46% Free)"},
        {"976563", "2097152", "953 MB (46% Free)"},
        {"1999", "2000", "1999 KB (99% Free)"},
        {"0", "2000", "  (0% Free)"},
        // Without a usable total the share cannot be computed: the size text stays as it came.
        {"1048576", "0", "1,024 MB"},
        {"1048576", "", "1,024 MB"},
        {"1048576", "many", "1,024 MB"},
        // Without the free figure there is nothing true to show.
        {"", "4194304", "<Free memory not found>"},
        {"lots", "4194304", "<Free memory not found>"},
        // Figures that are no whole decimal count never reach the file as an infinity or exponent.
        {"1e-300", "4194304", "<Free memory not found>"},
        {"1048576", "1e-310", "1,024 MB"},
    };
    for (const auto& c : kCases) {
        EXPECT_EQ(MemoryText({{"FreePhysicalMemory", c.free}, {"TotalVisibleMemorySize", c.total}}), c.text)
            << c.free << " of " << c.total;
    }
    EXPECT_EQ(MemoryText({{"TotalVisibleMemorySize", "4194304"}}), "<Free memory not found>");
    EXPECT_EQ(MemoryText({{"FreePhysicalMemory", "1048576"}}), "1,024 MB");
}

TEST(GetFreeMemory, KeepsTheLocaleSeparatorWhenItIsNoComma) {
    FakeManagementService host = HealthyHost();
    FakeLocale dots;
    dots.separator = ".";
    host.answers[kMemoryClass].instances[0]["FreePhysicalMemory"] = "2097152";
    EXPECT_EQ(RunWith(host, "[memory.conf]\r\n", dots).log,
              "CPU Utilization= 18%\r\nFree Memory=2.048 MB (50% Free)\r\nNo drive specifed.\r\n"
              "Zandrel data capture completed\r\n");
    // One that cannot be read leaves the digits ungrouped rather than guessing one (seen where the
    // share is left off and the grouping stays).
    FakeLocale unreadable;
    unreadable.separatorFailure = Failure{87, {}};
    host.answers[kMemoryClass].instances[0]["TotalVisibleMemorySize"] = "0";
    EXPECT_EQ(RunWith(host, "[memory.conf]\r\n", unreadable).log,
              "CPU Utilization= 18%\r\nFree Memory=2048 MB\r\nNo drive specifed.\r\n"
              "Zandrel data capture completed\r\n");
}

std::string DiskText(std::vector<FakeProperties> disks, const std::string& drive = "C:") {
    FakeManagementService host;
    host.answers[DiskQuery(drive)] = {.instances = std::move(disks)};
    return Measure(host,
                   [&](ProbeContext& c) {
                       MaskedSecret<char16_t> noPassword;
                       return GetFreeDiskSpace(c, kThisComputer, kNone, noPassword, drive);
                   })
        .value_or("(ended)");
}

TEST(GetFreeDiskSpace, ShowsWholeMegabytesAndTheFreeShare) {
    const struct {
        const char* free;
        const char* size;
        const char* text;
    } kCases[] = {
        {"12345678901", "53687091200", "11773 MB (22% Free)"},
        {"500000000", "4000000000", "476 MB (12% Free)"},
        {"1000000", "4000000", "0 MB (25% Free)"},
        // 29 GiB of 100 GiB: the share is taken before the hundredfold, just below 29.
        {"31138512896", "107374182400", "29696 MB (28% Free)"},
        // A full drive is the alarm that matters most: it reads as a figure, not as a missing drive.
        {"0", "107374182400", "0 MB (0% Free)"},
        // No medium, or figures that are not counts: not found, never a division by zero.
        {"", "", "<Disk not found>"},
        {"", "107374182400", "<Disk not found>"},
        {"1000", "", "<Disk not found>"},
        {"1000", "0", "<Disk not found>"},
        {"x", "100", "<Disk not found>"},
        {"1e18", "1e-300", "<Disk not found>"},
        {"0.5", "100", "<Disk not found>"},
    };
    for (const auto& c : kCases) {
        EXPECT_EQ(DiskText({{{"FreeSpace", c.free}, {"Size", c.size}}}), c.text)
            << c.free << " of " << c.size;
    }
    EXPECT_EQ(DiskText({}), "<Disk not found>");
    EXPECT_EQ(DiskText({{{"DeviceID", "C:"}}}), "<Disk not found>");
    EXPECT_EQ(
        DiskText({{{"FreeSpace", "1048576"}, {"Size", "2097152"}}, {{"FreeSpace", "0"}, {"Size", "10"}}}),
        "0 MB (0% Free)")
        << "the last instance counts";
    EXPECT_EQ(DiskText({{{"FreeSpace", "2097152"}, {"Size", "4194304"}}}, "d:"), "2 MB (50% Free)");
}

int CpuLoad(std::vector<FakeProperties> processors, std::optional<std::int32_t> count = std::nullopt) {
    FakeManagementService host;
    host.answers[kProcessorQuery] = {.instances = std::move(processors), .count = count};
    const auto load = Measure(host, [](ProbeContext& c) {
        MaskedSecret<char16_t> noPassword;
        return GetCpuUtilization(c, kThisComputer, kNone, noPassword);
    });
    return load && std::holds_alternative<int>(*load) ? std::get<int>(*load) : -1;
}

TEST(GetCpuUtilization, AveragesAllProcessorsRoundedDown) {
    const FakeProperties unknown{{"Name", "cpu"}};
    EXPECT_EQ(CpuLoad({{{"LoadPercentage", "37"}}}), 37);
    EXPECT_EQ(CpuLoad({{{"LoadPercentage", "10"}}, {{"LoadPercentage", "20"}}, {{"LoadPercentage", "25"}}}),
              18);
    EXPECT_EQ(CpuLoad({{{"LoadPercentage", "99"}}, {{"LoadPercentage", "100"}}}), 99);
    EXPECT_EQ(CpuLoad({{{"LoadPercentage", "0"}}, {{"LoadPercentage", "0"}}}), 0);
    EXPECT_EQ(CpuLoad({}), 0);
    // An unreadable load adds nothing but still counts in the divisor.
    EXPECT_EQ(CpuLoad({unknown}), 0);
    EXPECT_EQ(CpuLoad({{{"LoadPercentage", ""}}, {{"LoadPercentage", "50"}}}), 25);
    EXPECT_EQ(CpuLoad({{{"LoadPercentage", "busy"}}, {{"LoadPercentage", "50"}}}), 25);
    // A set that reports no count gives no average, and one whose average overflows neither.
    EXPECT_EQ(CpuLoad({{{"LoadPercentage", "50"}}}, 0), 0);
    EXPECT_EQ(CpuLoad({{{"LoadPercentage", "1e18"}}}), 0);
    // The limits of the 16-bit count and of the 16-bit average, from each side.
    EXPECT_EQ(CpuLoad({{{"LoadPercentage", "65534"}}}, 32767), 2);
    EXPECT_EQ(CpuLoad({{{"LoadPercentage", "65534"}}}, 32768), 0);
    EXPECT_EQ(CpuLoad({{{"LoadPercentage", "65536"}}}, -32768), -2);
    EXPECT_EQ(CpuLoad({{{"LoadPercentage", "65536"}}}, -32769), 0);
    EXPECT_EQ(CpuLoad({{{"LoadPercentage", "32767"}}}), 32767);
    EXPECT_EQ(CpuLoad({{{"LoadPercentage", "32768"}}}), 0);
    EXPECT_EQ(CpuLoad({{{"LoadPercentage", "32768"}}}, -1), -32768);
    EXPECT_EQ(CpuLoad({{{"LoadPercentage", "32769"}}}, -1), 0);
}

TEST(Probes, AskTheServiceExactlyAndReleaseSetBeforeConnection) {
    FakeManagementService host = HealthyHost();
    ASSERT_EQ(RunWith(host, "[memory.conf]\r\nServer=HostA\r\nUsername=ops\r\n\"Password=a,b\"\r\nDisk=c\r\n")
                  .status,
              ExitStatus::Completed);
    EXPECT_THAT(host.calls, ElementsAre("Connect HostA|ops|a,b", "ExecQuery " + kProcessorQuery,
                                        "release set", "release connection", "Connect HostA|ops|a,b",
                                        "InstancesOf Win32_OperatingSystem", "release set",
                                        "release connection", "Connect HostA|ops|a,b",
                                        "ExecQuery " + DiskQuery("c:"), "release set", "release connection"));
}

TEST(Main, WritesTheLinesOfEachRunSequence) {
    const std::string cpu = "CPU Utilization= 18%\r\n";
    const std::string memory = "Free Memory=1024 MB (25% Free)\r\n";
    const std::string closing = "Zandrel data capture completed\r\n";
    const std::string noDrive = "No drive specifed.\r\n";
    const std::string invalid = "Drive setting is invalid.  Use Drive=X in memory.conf.\r\n";
    const struct {
        const char* settings;
        std::string log;
    } kCases[] = {
        {"[memory.conf]\r\nDisk=C\r\n",
         cpu + memory + "Free Space on Drive C:=476 MB (12% Free)\r\n" + closing},
        {"[memory.conf]\r\nDisk=c\r\n",
         cpu + memory + "Free Space on Drive c:=476 MB (12% Free)\r\n" + closing},
        {"[memory.conf]\r\nDisk=C:\\\r\n",
         cpu + memory + "Free Space on Drive C:=476 MB (12% Free)\r\n" + closing},
        {"[memory.conf]\r\nDisk=Cdrive\r\n",
         cpu + memory + "Free Space on Drive C:=476 MB (12% Free)\r\n" + closing},
        {"[memory.conf]\r\nDisk=  c  \r\n",
         cpu + memory + "Free Space on Drive c:=476 MB (12% Free)\r\n" + closing},
        {"[memory.conf]\r\nDisk=Q\r\n",
         cpu + memory + "Free Space on Drive Q:=<Disk not found>\r\n" + closing},
        {"[memory.conf]\r\n", cpu + memory + noDrive + closing},
        {"[memory.conf]\r\nDisk=\r\n", cpu + memory + noDrive + closing},
        {"Disk=C\r\n[memory.conf]\r\n", cpu + memory + noDrive + closing},
        {"", cpu + memory + noDrive + closing},
        {"[memory.conf]\r\nDisk=1\r\n", cpu + memory + invalid + closing},
        {"[memory.conf]\r\nDisk=:\r\n", cpu + memory + invalid + closing},
        {"[memory.conf]\r\nDisk = C\r\n", cpu + memory + invalid + closing},
        {"[memory.conf]\r\nDisk=   \r\n", cpu + memory + noDrive + closing},
        {"[memory.conf]\r\nDisk=\xC4\r\n", cpu + memory + invalid + closing},
        {"[memory.conf]\r\nDisk=\"\r\n", cpu + memory + invalid + closing},
        // The letters at both ends of each case, and the characters just outside them.
        {"[memory.conf]\r\nDisk=A\r\n",
         cpu + memory + "Free Space on Drive A:=<Disk not found>\r\n" + closing},
        {"[memory.conf]\r\nDisk=Z\r\n",
         cpu + memory + "Free Space on Drive Z:=<Disk not found>\r\n" + closing},
        {"[memory.conf]\r\nDisk=a\r\n",
         cpu + memory + "Free Space on Drive a:=<Disk not found>\r\n" + closing},
        {"[memory.conf]\r\nDisk=z\r\n",
         cpu + memory + "Free Space on Drive z:=<Disk not found>\r\n" + closing},
        {"[memory.conf]\r\nDisk=@\r\n", cpu + memory + invalid + closing},
        {"[memory.conf]\r\nDisk=[\r\n", cpu + memory + invalid + closing},
        {"[memory.conf]\r\nDisk=`\r\n", cpu + memory + invalid + closing},
        {"[memory.conf]\r\nDisk={\r\n", cpu + memory + invalid + closing},
    };
    for (const auto& c : kCases) {
        FakeManagementService host = HealthyHost();
        const RunOutcome run = RunWith(host, c.settings);
        EXPECT_EQ(run.status, ExitStatus::Completed) << c.settings;
        EXPECT_EQ(run.log, c.log) << c.settings;
    }
}

TEST(Main, DefaultsTheConnectionSettings) {
    const struct {
        const char* settings;
        const char* connect;
    } kCases[] = {
        {"[memory.conf]\r\n", "Connect .||"},
        {"[memory.conf]\r\nServer=\r\n", "Connect .||"},
        {"[memory.conf]\r\nServer=.\r\nUsername=admin\r\nPassword=pw\r\n", "Connect .|admin|pw"},
        {"[memory.conf]\r\nServer = HostA\r\n", "Connect = HostA||"},
        {"[memory.conf]\r\nUsername=\r\nPassword=\r\n", "Connect .||"},
    };
    for (const auto& c : kCases) {
        FakeManagementService host = HealthyHost();
        RunWith(host, c.settings);
        EXPECT_EQ(std::count(host.calls.begin(), host.calls.end(), c.connect), 2) << c.settings;
    }
}

// The service takes the characters of the file, whatever its encoding; the line shows the server in
// the ANSI code page, as its bytes from an ANSI file, and without a look-alike for a character the code
// page lacks.
TEST(Main, TheServiceGetsTheCharactersAndTheLineTheCodePage) {
    std::string utf16 = "\xFF\xFE";
    for (const char16_t unit : std::u16string_view(u"[memory.conf]\r\nServer=Zandrel-\u03A9\r\n"
                                                   u"Username=M\u00FCller\r\nPassword=p\u00E4ss\r\n")) {
        utf16 += static_cast<char>(unit & 0xFF);
        utf16 += static_cast<char>(unit >> 8);
    }
    const struct {
        std::string settings;
        const char* connect;
        const char* log;
    } kCases[] = {
        {utf16, "Connect Zandrel-\u03A9|M\u00FCller|p\u00E4ss",
         "Error connecting to Zandrel-?.  Error -2147217387: \r\n"},
        {"[memory.conf]\r\nServer=Zandrel-\xD8\r\nUsername=M\xFCller\r\nPassword=p\xE4ss\r\n",
         "Connect Zandrel-\u00D8|M\u00FCller|p\u00E4ss",
         "Error connecting to Zandrel-\xD8.  Error -2147217387: \r\n"},
    };
    for (const auto& c : kCases) {
        FakeManagementService host;
        host.connectFailures[0] = kNoHost;
        const RunOutcome run = RunWith(host, c.settings);
        EXPECT_THAT(host.calls, ElementsAre(c.connect));
        EXPECT_EQ(run.log, c.log);
    }
}

TEST(Main, WipesThePasswordOnceTheLastConnectionIsMade) {
    // Whether the password is still held as each line is written.
    struct Watcher : MemoryResultFile {
        Status AppendLine(std::string_view text) override {
            held.push_back(secrets.Held() != 0);
            return MemoryResultFile::AppendLine(text);
        }
        zandrel::testing::SecretCount secrets;
        std::vector<bool> held;
    };
    const std::string settings = "[memory.conf]\r\nServer=HostA\r\nPassword=s3cret\r\nDisk=C\r\n";
    const struct {
        std::optional<int> refused;  // the connection that fails
        std::vector<bool> held;
    } kCases[] = {
        {std::nullopt, {true, true, false, false}},
        {0, {false}},  // a refusal is the last use: gone before its line
        {2, {true, true, false}},
    };
    for (const auto& c : kCases) {
        FakeManagementService host = HealthyHost();
        if (c.refused) {
            host.connectFailures[*c.refused] = kNoHost;
        }
        Watcher resultFile;
        ScratchDir dir;
        dir.Write("memory.conf", settings);
        FakeLocale locale;
        EXPECT_EQ(Main(host, locale, kWestern, resultFile, dir.Path()), ExitStatus::Completed);
        EXPECT_EQ(resultFile.held, c.held) << c.refused.value_or(-1);
        EXPECT_EQ(resultFile.secrets.Held(), 0u);
    }
}

TEST(Main, ReportsEachFailureRow) {
    const std::string settings = "[memory.conf]\r\nDisk=C\r\n";
    const std::string cpu = "CPU Utilization= 18%\r\n";
    const std::string memory = "Free Memory=1024 MB (25% Free)\r\n";
    const std::string disk = "Free Space on Drive C:=476 MB (12% Free)\r\n";
    const std::string closing = "Zandrel data capture completed\r\n";
    const std::string noHost = "Error connecting to ..  Error -2147217387: \r\n";
    const std::string processorFailed =
        "Error finding processor info on ..  Error -2147217405: Access denied \r\n"
        "CPU Utilization=<Error -2147217405 while getting processor info: \"Access denied \">%\r\n";
    const std::string memoryFailed =
        "Error getting free memory on ..  Error -2147217405: Access denied \r\n"
        "Free Memory=<Error -2147217405 while getting free memory: \"Access denied \">\r\n";
    const std::string diskFailed =
        "Error finding disk C: info on ..  Error -2147217405: Access denied \r\n"
        "Free Space on Drive C:=<Error -2147217405 while getting disk info: \"Access denied \">\r\n";
    const struct {
        const char* name;
        std::function<void(FakeManagementService&)> arrange;
        std::string log;
    } kCases[] = {
        {"processor query fails",
         [](FakeManagementService& h) { h.answers[kProcessorQuery].failure = kAccessDenied; },
         processorFailed + memory + disk + closing},
        {"memory query fails",
         [](FakeManagementService& h) { h.answers[kMemoryClass].failure = kAccessDenied; },
         cpu + memoryFailed + disk + closing},
        {"disk query fails",
         [](FakeManagementService& h) { h.answers[DiskQuery("C:")].failure = kAccessDenied; },
         cpu + memory + diskFailed + closing},
        {"first connection fails", [](FakeManagementService& h) { h.connectFailures[0] = kNoHost; }, noHost},
        {"second connection fails", [](FakeManagementService& h) { h.connectFailures[1] = kNoHost; },
         cpu + noHost},
        {"third connection fails", [](FakeManagementService& h) { h.connectFailures[2] = kNoHost; },
         cpu + memory + noHost},
        {"no operating system", [](FakeManagementService& h) { h.answers[kMemoryClass].instances.clear(); },
         cpu},
        {"two operating systems",
         [](FakeManagementService& h) { h.answers[kMemoryClass].instances.push_back({}); }, cpu},
        {"count unreadable", [](FakeManagementService& h) { h.answers[kMemoryClass].count = 7; }, cpu},
        {"memory count fails",
         [](FakeManagementService& h) { h.answers[kMemoryClass].countFailure = kAccessDenied; }, cpu},
        // A count or walk that fails is the query's failure, never a load of 0% or a missing figure.
        {"processor count fails",
         [](FakeManagementService& h) { h.answers[kProcessorQuery].countFailure = kAccessDenied; },
         processorFailed + memory + disk + closing},
        {"processor walk fails after the first",
         [](FakeManagementService& h) {
             h.answers[kProcessorQuery].instances.push_back({{"LoadPercentage", "90"}});
             h.answers[kProcessorQuery].walkFailsAt = 1;
             h.answers[kProcessorQuery].walkFailure = kAccessDenied;
         },
         processorFailed + memory + disk + closing},
        {"memory walk fails",
         [](FakeManagementService& h) {
             h.answers[kMemoryClass].walkFailsAt = 0;
             h.answers[kMemoryClass].walkFailure = kAccessDenied;
         },
         cpu + memoryFailed + disk + closing},
        {"disk walk fails at its end",
         [](FakeManagementService& h) {
             h.answers[DiskQuery("C:")].walkFailsAt = 1;
             h.answers[DiskQuery("C:")].walkFailure = kAccessDenied;
         },
         cpu + memory + diskFailed + closing},
        // A figure that cannot be read is one the host did not give.
        {"processor load unreadable",
         [](FakeManagementService& h) { h.answers[kProcessorQuery].unreadable = {"LoadPercentage"}; },
         "CPU Utilization= 0%\r\n" + memory + disk + closing},
        {"free memory unreadable",
         [](FakeManagementService& h) { h.answers[kMemoryClass].unreadable = {"FreePhysicalMemory"}; },
         cpu + "Free Memory=<Free memory not found>\r\n" + disk + closing},
        {"disk size unreadable",
         [](FakeManagementService& h) { h.answers[DiskQuery("C:")].unreadable = {"Size"}; },
         cpu + memory + "Free Space on Drive C:=<Disk not found>\r\n" + closing},
        {"memory total zero",
         [](FakeManagementService& h) {
             h.answers[kMemoryClass].instances[0]["TotalVisibleMemorySize"] = "0";
         },
         cpu + "Free Memory=1,024 MB\r\n" + disk + closing},
        {"description with its own line break",
         [](FakeManagementService& h) {
             h.connectFailures[0] = {-2147217405, "Access denied\r\n"};
         },
         "Error connecting to ..  Error -2147217405: Access denied\r\n\r\n"},
    };
    for (const auto& c : kCases) {
        FakeManagementService host = HealthyHost();
        c.arrange(host);
        const RunOutcome run = RunWith(host, settings);
        EXPECT_EQ(run.status, ExitStatus::Completed) << c.name;
        EXPECT_EQ(run.log, c.log) << c.name;
    }
}

TEST(Main, MissingSettingsFileEndsWithoutAWordOrAConnection) {
    FakeManagementService host = HealthyHost();
    const RunOutcome run = RunWith(host, std::nullopt);
    EXPECT_EQ(run.status, ExitStatus::SettingsUnusable);
    EXPECT_FALSE(run.log.has_value());
    EXPECT_TRUE(host.calls.empty());
}

TEST(Main, AppendsRunAfterRun) {
    ScratchDir dir;
    dir.Write("memory.conf", "[memory.conf]\r\nDisk=1\r\n");
    dir.Write("Gaugewell.log", "earlier\r\n");
    FakeLocale locale;
    for (int i = 0; i < 2; ++i) {
        FakeManagementService host = HealthyHost();
        ResultFileAt resultFile(dir.Path(), "Gaugewell.log");
        EXPECT_EQ(Main(host, locale, kWestern, resultFile, dir.Path()), ExitStatus::Completed);
    }
    const std::string group =
        "CPU Utilization= 18%\r\nFree Memory=1024 MB (25% Free)\r\n"
        "Drive setting is invalid.  Use Drive=X in memory.conf.\r\nZandrel data capture completed\r\n";
    EXPECT_EQ(dir.Read("Gaugewell.log"), "earlier\r\n" + group + group);
}

// A result file that loses only the line numbered `lostLine` (0 first) and keeps the others.
class LosesOneLine : public MemoryResultFile {
  public:
    explicit LosesOneLine(std::size_t line) : lostLine_(line) {}
    Status AppendLine(std::string_view text) override {
        if (lines_++ == lostLine_) {
            return Status::Failed(5);
        }
        return MemoryResultFile::AppendLine(text);
    }

  private:
    std::size_t lostLine_;
    std::size_t lines_ = 0;
};

TEST(Main, ALostLineEndsWithItsStatus) {
    const std::string cpu = "CPU Utilization= 18%\r\n";
    const std::string memory = "Free Memory=1024 MB (25% Free)\r\n";
    const std::string disk = "Free Space on Drive C:=476 MB (12% Free)\r\n";
    const std::string closing = "Zandrel data capture completed\r\n";
    const auto failed = [](const char* what) {
        return std::string("<Error -2147217405 while getting ") + what + ": \"Access denied \">";
    };
    const struct {
        const char* name;
        std::function<void(FakeManagementService&)> arrange;
        std::size_t line;
        bool onlyThatLine;  // else that line and every later one are lost
        std::string log;
        std::ptrdiff_t connections;
    } kCases[] = {
        // A measurement's own failure line is skipped: the run goes on to its end.
        {"processor failure line",
         [](FakeManagementService& h) { h.answers[kProcessorQuery].failure = kAccessDenied; }, 0, true,
         "CPU Utilization=" + failed("processor info") + "%\r\n" + memory + disk + closing, 3},
        {"memory failure line",
         [](FakeManagementService& h) { h.answers[kMemoryClass].failure = kAccessDenied; }, 1, true,
         cpu + "Free Memory=" + failed("free memory") + "\r\n" + disk + closing, 3},
        {"disk failure line",
         [](FakeManagementService& h) { h.answers[DiskQuery("C:")].failure = kAccessDenied; }, 2, true,
         cpu + memory + "Free Space on Drive C:=" + failed("disk info") + "\r\n" + closing, 3},
        {"connection line", [](FakeManagementService& h) { h.connectFailures[0] = kNoHost; }, 0, false, "",
         1},
        {"later connection line", [](FakeManagementService& h) { h.connectFailures[2] = kNoHost; }, 2, false,
         cpu + memory, 3},
        // A figure's line or the closing line stops the run at once, even if later lines could be written.
        {"processor line", [](FakeManagementService&) {}, 0, false, "", 1},
        {"memory line", [](FakeManagementService&) {}, 1, true, cpu, 2},
        {"disk line", [](FakeManagementService&) {}, 2, true, cpu + memory, 3},
        {"closing line", [](FakeManagementService&) {}, 3, false, cpu + memory + disk, 3},
        {"processor line after its failure line",
         [](FakeManagementService& h) { h.answers[kProcessorQuery].failure = kAccessDenied; }, 1, true,
         "Error finding processor info on ..  Error -2147217405: Access denied \r\n", 1},
    };
    for (const auto& c : kCases) {
        ScratchDir dir;
        dir.Write("memory.conf", "[memory.conf]\r\nDisk=C\r\n");
        FakeManagementService host = HealthyHost();
        c.arrange(host);
        FakeLocale locale;
        LosesOneLine oneLost(c.line);
        MemoryResultFile fromThere;
        fromThere.failFromLine = c.line;
        MemoryResultFile& resultFile = c.onlyThatLine ? oneLost : fromThere;
        EXPECT_EQ(Main(host, locale, kWestern, resultFile, dir.Path()), ExitStatus::ResultUnwritable)
            << c.name;
        EXPECT_EQ(resultFile.bytes, c.log) << c.name;
        // Nothing more is asked of the host once the run cannot report.
        EXPECT_EQ(std::count(host.calls.begin(), host.calls.end(), "Connect .||"), c.connections) << c.name;
    }
}

}  // namespace
}  // namespace zandrel::gaugewell::testing
