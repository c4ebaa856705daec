// Runs that cannot go on: the real programs out of memory at chosen points (their allocations failing
// from the N-th on, through msvcrX.dll), and exceptions that nothing catches. Every run ends by itself,
// at once, with AbnormalEnd (6), and what it wrote before are whole lines of a normal run's file. A
// box or a crash dialog would keep the run from ending: the display is there for them to appear on.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <iterator>
#include <ostream>
#include <vector>

#include "FailingAllocations.h"
#include "ProgramRun.h"

namespace zandrel::testing {
namespace {

constexpr unsigned long kAbnormalEnd = 6;
// Far longer than any of these runs takes; a run still there then waits for a click or loops.
constexpr unsigned long kBoundMs = 60000;
// The launcher without its server stays at its error box: a run in which no allocation failed is
// stopped sooner.
constexpr unsigned long kLauncherBoundMs = 20000;

struct Program {
    const char* name;
    const char* executable;
    const char* settingsName;
    const char* settings;
    const char* resultName;
    // The launcher without its server shows an error box and stays: its normal run never ends.
    bool endsByItself;
};

const Program kPrograms[] = {
    {"SiftwellLocal", ZANDREL_SIFTWELL_EXE, "event.conf",
     "[event.conf]\r\nServer=\r\nLogType=System\r\nErrorLevel=Error\r\nTimeZone=-5\r\n", "event.log", true},
    // A host that cannot be reached: the connection's failure lines, with the system's text.
    {"SiftwellRemote", ZANDREL_SIFTWELL_EXE, "event.conf",
     "[event.conf]\r\nServer=nohost\r\nUsername=someone\r\nPassword=secret\r\nLogType=System\r\n"
     "ErrorLevel=Error\r\n",
     "event.log", true},
    {"Gaugewell", ZANDREL_GAUGEWELL_EXE, "memory.conf", "[memory.conf]\r\nDisk=C\r\n", "Gaugewell.log", true},
    {"Zandrel", ZANDREL_ZANDREL_EXE, "unused.conf", "", "unused.log", false},
};

void PrintTo(const Program& program, std::ostream* out) {
    *out << program.name;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    for (std::size_t start = 0; start < text.size();) {
        const std::size_t end = text.find("\r\n", start);
        lines.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end + 2 - start));
        start = end == std::string::npos ? text.size() : end + 2;
    }
    return lines;
}

// A line with its figures (times, counts, percentages) taken out: what two runs have in common.
std::string Shape(std::string line) {
    line.erase(std::remove_if(line.begin(), line.end(), [](unsigned char c) { return std::isdigit(c); }),
               line.end());
    return line;
}

unsigned long ReadCount(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    unsigned long count = 0;
    in >> count;
    return count;
}

class OutOfMemory : public ::testing::TestWithParam<Program> {};

TEST_P(OutOfMemory, EveryRunEndsAtOnceWithItsLinesWhole) {
    const Program& program = GetParam();
    const std::string runtime = BuildPathToWindows(ZANDREL_FAILING_RUNTIME_DLL);
    ScratchDir staging;
    const std::string copy =
        CopyImportingFailingRuntime(BuildPathToWindows(program.executable), staging.Folder());

    // A run that no allocation fails: its lines, and how many allocations it made (the launcher's
    // up to its error box).
    ScratchDir normalDir;
    normalDir.Write(program.settingsName, program.settings);
    PlaceFailingRuntime(runtime, normalDir.Folder());
    const std::filesystem::path countFile = staging.Folder() / "allocations.count";
    SetFailingAllocations(0, countFile);
    const ProgramRun normal =
        RunProgram(normalDir, copy, program.resultName, program.endsByItself ? kBoundMs : 5000);
    const unsigned long allocations = ReadCount(countFile);
    if (program.endsByItself) {
        ASSERT_FALSE(normal.timedOut);
        ASSERT_EQ(normal.exitCode, 0u);
    }
    ASSERT_GT(allocations, 3u);
    const std::vector<std::string> normalLines = Lines(normal.resultFile.value_or(""));

    // The runtime's own start, then points spread over the run up to its last allocation, then one
    // beyond it. A run's count varies a little (threads that Wine starts in the process allocate too):
    // each run counts its own, and one that made fewer than N allocations is a normal run.
    std::vector<unsigned long> points = {1, 2, 3};
    for (unsigned long sixth = 1; sixth <= 6; ++sixth) {
        points.push_back(std::max(4ul, allocations * sixth / 6));
    }
    if (program.endsByItself) {
        points.push_back(allocations + 1);
    }
    std::size_t failedRuns = 0;
    for (const unsigned long failFrom : points) {
        SCOPED_TRACE(std::string(program.name) + ": allocations fail from call " + std::to_string(failFrom) +
                     " of " + std::to_string(allocations));
        ScratchDir dir;
        dir.Write(program.settingsName, program.settings);
        PlaceFailingRuntime(runtime, dir.Folder());
        SetFailingAllocations(failFrom, dir.Folder() / "allocations.count");
        const ProgramRun run =
            RunProgram(dir, copy, program.resultName, program.endsByItself ? kBoundMs : kLauncherBoundMs);
        SetFailingAllocations(0);
        const std::vector<std::string> lines = Lines(run.resultFile.value_or(""));
        if (ReadCount(dir.Folder() / "allocations.count") < failFrom) {
            // No allocation failed: a normal run (the launcher's stays at its error box).
            if (program.endsByItself) {
                EXPECT_FALSE(run.timedOut);
                EXPECT_EQ(run.exitCode, 0u);
                EXPECT_EQ(lines.size(), normalLines.size());
            }
        } else {
            ++failedRuns;
            ASSERT_FALSE(run.timedOut) << "still running after an allocation failed";
            EXPECT_EQ(run.exitCode, kAbnormalEnd) << std::hex << "0x" << run.exitCode;
        }
        ASSERT_LE(lines.size(), normalLines.size()) << run.resultFile.value_or("");
        for (std::size_t i = 0; i < lines.size(); ++i) {
            EXPECT_EQ(Shape(lines[i]), Shape(normalLines[i])) << "line " << i + 1;
        }
    }
    // All but the last one or two points lie within the run.
    EXPECT_GE(failedRuns + 2, points.size());
}

INSTANTIATE_TEST_SUITE_P(Programs, OutOfMemory, ::testing::ValuesIn(kPrograms),
                         [](const ::testing::TestParamInfo<Program>& row) {
                             return std::string(row.param.name);
                         });

// What ends a run in the runtime's abort() (and its "Runtime Error" box) ends it with 6 instead.
TEST(AbnormalEnd, EndsThatNothingCaughtEndWithTheirStatus) {
    const struct {
        const char* endBy;
        unsigned long status;
    } kCases[] = {
        {"none", 0},                  // the probe itself ends normally
        {"throw", kAbnormalEnd},      // out of WinMain's body
        {"bad_alloc", kAbnormalEnd},  // memory ran out
        {"noexcept", kAbnormalEnd},   // std::terminate from a broken promise
        {"thread", kAbnormalEnd},     // std::terminate on a thread of its own
        {"calloc_sizes", 0},          // no bytes, or more than memory: the caller's to handle
    };
    const std::string probe = BuildPathToWindows(ZANDREL_ABNORMALENDPROBE_EXE);
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.endBy);
        ScratchDir dir;
        SetEnvironmentVariableA("ZANDREL_END_BY", c.endBy);
        const ProgramRun run = RunProgram(dir, probe, "none.log", kBoundMs);
        SetEnvironmentVariableA("ZANDREL_END_BY", nullptr);
        EXPECT_FALSE(run.timedOut);
        EXPECT_EQ(run.exitCode, c.status);
    }
}

}  // namespace
}  // namespace zandrel::testing
