// Several processes appending to one result file at once, as overlapping runs of the probes do.
#include <gtest/gtest.h>

#include <windows.h>

#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "ProgramRun.h"
#include "ResultFile.h"
#include "Scratch.h"
#include "UniqueHandle.h"
#include "Wine.h"

namespace zandrel::testing {
namespace {

const std::string kAppendLines = BuildPathToWindows(ZANDREL_APPENDLINES_EXE);

UniqueKernelHandle Start(const std::string& program, const std::string& arguments) {
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    std::string commandLine = "\"" + program + "\" " + arguments;
    if (!CreateProcessA(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &info)) {
        ADD_FAILURE() << "cannot start " << program << ": error " << GetLastError();
        return {};
    }
    const UniqueKernelHandle thread(info.hThread);  // never waited for
    return UniqueKernelHandle(info.hProcess);
}

// Waits for every process; each must have ended with status 0.
void ExpectAllCompleted(const std::vector<UniqueKernelHandle>& processes) {
    for (const UniqueKernelHandle& process : processes) {
        ASSERT_TRUE(process);
        ASSERT_EQ(WaitForSingleObject(process.get(), 300000), WAIT_OBJECT_0);
        DWORD exitCode = 1;
        GetExitCodeProcess(process.get(), &exitCode);
        EXPECT_EQ(exitCode, 0u) << "a run lost a line";
    }
}

// How many of the file's CR LF lines begin with `start`; nothing may follow the last line end.
size_t CountLines(const std::string& text, const std::string& start) {
    size_t count = 0;
    size_t pos = 0;
    for (size_t end; (end = text.find("\r\n", pos)) != std::string::npos; pos = end + 2) {
        count += text.compare(pos, start.size(), start) == 0;
    }
    EXPECT_EQ(pos, text.size()) << "the file ends inside a line";
    return count;
}

TEST(ResultFileOverlap, EveryLineOfEveryWriterArrivesWhole) {
    constexpr int kWriters = 4;
    constexpr int kLines = 400;
    ScratchDir dir;
    const std::string path = dir.PathOf("overlap.log");
    ASSERT_TRUE(AppendResultLine(path, "earlier").Ok());
    // A reader that keeps the file open the way log readers do must not make any line fail.
    const UniqueFile reader(CreateFileA(path.c_str(), GENERIC_READ,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(reader);

    std::vector<UniqueKernelHandle> writers;
    for (int w = 0; w < kWriters; ++w) {
        const char tag = static_cast<char>('a' + w);
        writers.push_back(Start(kAppendLines, "\"" + path + "\" " + std::to_string(kLines) + " " + tag));
    }
    ExpectAllCompleted(writers);

    const std::string text = dir.Read("overlap.log").value_or("");
    ASSERT_EQ(text.substr(0, 9), "earlier\r\n");
    std::map<std::string, std::vector<int>> seen;
    size_t lines = 0;
    for (size_t pos = 9; pos < text.size(); ++lines) {
        const size_t end = text.find("\r\n", pos);
        ASSERT_NE(end, std::string::npos) << "the file ends inside a line";
        std::istringstream fields(text.substr(pos, end - pos));
        std::string tag, filler;
        int i = -1;
        fields >> tag >> i;
        fields.get();
        std::getline(fields, filler);
        ASSERT_EQ(filler, std::string(i * 37 % 3000, 'x')) << "torn line " << tag << " " << i;
        seen[tag].push_back(i);
        pos = end + 2;
    }
    EXPECT_EQ(lines, size_t{kWriters * kLines});
    for (const auto& [tag, numbers] : seen) {
        // Each writer's lines stay in its own order, none twice, none missing.
        EXPECT_EQ(numbers.size(), size_t{kLines}) << tag;
        for (size_t n = 0; n < numbers.size(); ++n) {
            ASSERT_EQ(numbers[n], static_cast<int>(n)) << tag;
        }
    }
}

TEST(ResultFileOverlap, ProbesStartedTogetherInOneFolderKeepEveryLine) {
    if (!RunningUnderWine()) {
        GTEST_SKIP() << "expects Wine's empty local event log";
    }
    constexpr size_t kRuns = 12;
    ScratchDir dir;
    dir.Write("event.conf", "[event.conf]\r\nLogType=System\r\nErrorLevel=Error\r\nOverwriteLog=False\r\n");
    dir.Write("memory.conf", "[memory.conf]\r\nDisk=C\r\n");
    const std::string siftwell = dir.PathOf("Siftwell.exe");
    const std::string gaugewell = dir.PathOf("Gaugewell.exe");
    ASSERT_TRUE(CopyFileA(BuildPathToWindows(ZANDREL_SIFTWELL_EXE).c_str(), siftwell.c_str(), FALSE));
    ASSERT_TRUE(CopyFileA(BuildPathToWindows(ZANDREL_GAUGEWELL_EXE).c_str(), gaugewell.c_str(), FALSE));

    std::vector<UniqueKernelHandle> runs;
    for (size_t i = 0; i < kRuns; ++i) {
        runs.push_back(Start(siftwell, ""));
        runs.push_back(Start(gaugewell, ""));
    }
    ExpectAllCompleted(runs);

    // This computer's log has nothing of the type under Wine: every run says so.
    std::string expected;
    for (size_t i = 0; i < kRuns; ++i) {
        expected += "OK.\r\n";
    }
    EXPECT_EQ(dir.Read("event.log"), expected);
    const std::string figures = dir.Read("Gaugewell.log").value_or("");
    EXPECT_EQ(CountLines(figures, ""), 4 * kRuns);
    EXPECT_EQ(CountLines(figures, "CPU Utilization= "), kRuns);
    EXPECT_EQ(CountLines(figures, "Free Memory="), kRuns);
    EXPECT_EQ(CountLines(figures, "Free Space on Drive C:="), kRuns);
    EXPECT_EQ(CountLines(figures, "Zandrel data capture completed"), kRuns);
}

TEST(ResultFileOverlap, ALogHeldWithoutWriteSharingEndsTheRunAndKeepsItsBytes) {
    ScratchDir dir;
    dir.Write("event.conf", "[event.conf]\r\nLogType=System\r\nErrorLevel=Error\r\n");
    dir.Write("event.log", "earlier\r\n");
    const std::string path = dir.PathOf("event.log");
    ProgramRun run;
    {
        const UniqueFile holder(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(holder);
        run = RunProgram(dir, BuildPathToWindows(ZANDREL_SIFTWELL_EXE), "event.log");
    }
    EXPECT_FALSE(run.timedOut);
    EXPECT_EQ(run.exitCode, 3u);
    EXPECT_EQ(dir.Read("event.log"), "earlier\r\n");
}

}  // namespace
}  // namespace zandrel::testing
