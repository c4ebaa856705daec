// Gaugewell.exe as installed, run under Wine against Wine's own management service: live figures are
// checked by their shape, fixed texts byte for byte.
#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <vector>

#include "ProgramRun.h"
#include "Wine.h"

namespace zandrel::gaugewell::testing {
namespace {

using namespace zandrel::testing;

const std::string kGaugewell = BuildPathToWindows(ZANDREL_GAUGEWELL_EXE);

std::string Literal(const std::string& text) {
    static const std::regex kSpecial(R"([.^$|()\[\]{}*+?\\])");
    return std::regex_replace(text, kSpecial, R"(\$&)");
}

const std::string kCpu = R"(CPU Utilization= \d{1,3}%)";
const std::string kMemory = R"(Free Memory=\d{1,6} (Bytes|KB|MB|GB) \(\d{1,3}% Free\))";
std::string Disk(const std::string& drive) {
    return "Free Space on Drive " + drive + R"(=\d+ MB \(\d{1,3}% Free\))";
}
const std::string kNoDrive = Literal("No drive specifed.");
const std::string kInvalid = Literal("Drive setting is invalid.  Use Drive=X in memory.conf.");
const std::string kClosing = Literal("Zandrel data capture completed");

// The whole file must be these lines, each ended by CR LF, each matching its pattern.
void ExpectLines(const std::optional<std::string>& log, const std::vector<std::string>& patterns,
                 const std::string& label) {
    ASSERT_TRUE(log.has_value()) << label << ": no Gaugewell.log";
    std::string whole;
    for (const std::string& pattern : patterns) {
        whole += pattern + "\r\n";
    }
    EXPECT_TRUE(std::regex_match(*log, std::regex(whole))) << label << ":\n" << *log;
}

ProgramRun RunWithSettings(const ScratchDir& dir, const std::string& settings) {
    dir.Write("memory.conf", settings);
    return RunProgram(dir, kGaugewell, "Gaugewell.log");
}

TEST(Gaugewell, MeasuresThisComputerForEachDriveSetting) {
    const struct {
        const char* settings;
        std::vector<std::string> lines;
    } kCases[] = {
        {"[memory.conf]\r\nDisk=C\r\n", {kCpu, kMemory, Disk("C:"), kClosing}},
        {"[memory.conf]\r\nDisk=c\r\n", {kCpu, kMemory, Disk("c:"), kClosing}},
        {"[memory.conf]\r\nDisk=Cdrive\r\n", {kCpu, kMemory, Disk("C:"), kClosing}},
        {"[memory.conf]\r\nServer=\r\nUsername=\r\nPassword=\r\nDisk=C:\\\r\n",
         {kCpu, kMemory, Disk("C:"), kClosing}},
        {"[memory.conf]\r\nDisk=1\r\n", {kCpu, kMemory, kInvalid, kClosing}},
        {"[memory.conf]\r\nDisk=:\r\n", {kCpu, kMemory, kInvalid, kClosing}},
        {"[memory.conf]\r\nDisk = C\r\n", {kCpu, kMemory, kInvalid, kClosing}},
        {"[memory.conf]\r\nDisk=\r\n", {kCpu, kMemory, kNoDrive, kClosing}},
        {"[memory.conf]\r\n", {kCpu, kMemory, kNoDrive, kClosing}},
        {"[memory.conf]\r\nDisk=Q\r\n",
         {kCpu, kMemory, Literal("Free Space on Drive Q:=<Disk not found>"), kClosing}},
        {"\x01\xFF\"\"\"[memory.conf]\r\n\0\0,,,\r\n", {kCpu, kMemory, kNoDrive, kClosing}},
    };
    for (const auto& c : kCases) {
        ScratchDir dir;
        const ProgramRun run = RunWithSettings(dir, c.settings);
        EXPECT_FALSE(run.timedOut) << c.settings;
        EXPECT_EQ(run.exitCode, 0u) << c.settings;
        ExpectLines(run.resultFile, c.lines, c.settings);
    }
}

TEST(Gaugewell, WithoutSettingsFileWritesNothing) {
    ScratchDir dir;
    const ProgramRun run = RunProgram(dir, kGaugewell, "Gaugewell.log");
    EXPECT_EQ(run.exitCode, 2u);
    EXPECT_FALSE(run.resultFile.has_value());
}

TEST(Gaugewell, AnUnreachableServerEndsAfterTheConnectionLine) {
    if (!zandrel::testing::RunningUnderWine()) {
        GTEST_SKIP() << "expects Wine's answer for an unknown host";
    }
    ScratchDir dir;
    const ProgramRun run = RunWithSettings(
        dir, "[memory.conf]\r\nServer=unreachable-host\r\nUsername=ops\r\nPassword=pw\r\nDisk=C\r\n");
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_EQ(run.resultFile, "Error connecting to unreachable-host.  Error -2147217387: \r\n");
}

TEST(Gaugewell, AnUnwritableResultFileGivesItsStatus) {
    ScratchDir dir;
    // A directory in the result file's place cannot be opened for appending.
    std::filesystem::create_directory(dir.PathOf("Gaugewell.log"));
    const ProgramRun run = RunWithSettings(dir, "[memory.conf]\r\nDisk=C\r\n");
    EXPECT_FALSE(run.timedOut);
    EXPECT_EQ(run.exitCode, 3u);
}

TEST(Gaugewell, TwoRunsAppendTwoGroups) {
    ScratchDir dir;
    dir.Write("memory.conf", "[memory.conf]\r\nDisk=C\r\n");
    RunProgram(dir, kGaugewell, "Gaugewell.log");
    const ProgramRun second = RunProgram(dir, kGaugewell, "Gaugewell.log");
    ExpectLines(second.resultFile, {kCpu, kMemory, Disk("C:"), kClosing, kCpu, kMemory, Disk("C:"), kClosing},
                "two runs");
}

// Under code page 1252 the ANSI name of "Zandrel-\u03A9" is its best-fit look-alike "Zandrel-O": a
// probe there must not append to that other install's result file.
TEST(Gaugewell, AFolderTheCodePageCannotNameLeavesItsLookAlikeAlone) {
    if (GetACP() != 1252) {
        GTEST_SKIP() << "the look-alike is code page 1252's; this system's is " << GetACP();
    }
    const LookAlikeRun outcome =
        RunBesideLookAlike(kGaugewell, "memory.conf", "[memory.conf]\r\nDisk=C\r\n", "Gaugewell.log");
    EXPECT_EQ(outcome.run.exitCode, 2u);
    EXPECT_FALSE(outcome.run.resultFile.has_value());
    EXPECT_EQ(outcome.lookAlikeResult, "earlier\r\n");
}

}  // namespace
}  // namespace zandrel::gaugewell::testing
