// A result file that is a link to someone else's file: the probes never write through it, nor empty
// it for a fresh start. A link on the way to the probe's folder is no such link.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "ProgramRun.h"
#include "Scratch.h"

namespace zandrel::testing {
namespace {

constexpr char kOthers[] = "someone else's\r\n";

// Makes `name` in `dir` a link to `target`; false where this process may make none.
using MakeLink = bool (*)(ScratchDir& dir, const char* name, const std::string& target);

// `elsewhere`: the target is a file of the result file's own name in another folder.
void ExpectNoRunWritesThrough(MakeLink makeLink, bool elsewhere = false) {
    const struct {
        const char* program;
        const char* resultFile;
        const char* settingsFile;
        const char* settings;
        unsigned long exitCode;
    } cases[] = {
        {ZANDREL_SIFTWELL_EXE, "event.log", "event.conf",
         "[event.conf]\r\nLogType=System\r\nErrorLevel=Error\r\n", 3},
        {ZANDREL_SIFTWELL_EXE, "event.log", "event.conf",
         "[event.conf]\r\nLogType=System\r\nErrorLevel=Error\r\nOverwriteLog=True\r\n", 4},
        {ZANDREL_GAUGEWELL_EXE, "Gaugewell.log", "memory.conf", "[memory.conf]\r\nDisk=C\r\n", 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.resultFile) + " with " + c.settings);
        ScratchDir dir;
        dir.Write(c.settingsFile, c.settings);
        CreateDirectoryA(dir.PathOf("elsewhere").c_str(), nullptr);
        const std::string target = elsewhere ? "elsewhere\\" + std::string(c.resultFile) : "other.txt";
        dir.Write(target, kOthers);
        if (!makeLink(dir, c.resultFile, dir.PathOf(target))) {
            GTEST_SKIP() << "this process may make no symbolic links";
        }
        const ProgramRun run = RunProgram(dir, BuildPathToWindows(c.program), c.resultFile);
        EXPECT_FALSE(run.timedOut);
        EXPECT_EQ(run.exitCode, c.exitCode);
        EXPECT_EQ(dir.Read(target), kOthers);
    }
}

TEST(ResultFileLink, AHardLinkIsNotWrittenThrough) {
    ExpectNoRunWritesThrough([](ScratchDir& dir, const char* name, const std::string& target) {
        return CreateHardLinkA(dir.PathOf(name).c_str(), target.c_str(), nullptr) != FALSE;
    });
}

// A reparse point on Windows; under Wine a Unix link, which shows as the file it leads to.
TEST(ResultFileLink, ASymbolicLinkIsNotWrittenThrough) {
    const MakeLink symbolic = [](ScratchDir& dir, const char* name, const std::string& target) {
        return dir.Link(name, target);
    };
    ExpectNoRunWritesThrough(symbolic);
    ExpectNoRunWritesThrough(symbolic, true);
}

// A probe started from a folder reached through a symbolic link writes as it always does, a fresh
// start included.
TEST(ResultFileLink, AProbeInALinkedFolderWrites) {
    const struct {
        const char* program;
        const char* resultFile;
        const char* settingsFile;
        const char* settings;
        bool freshStart;
    } cases[] = {
        {ZANDREL_SIFTWELL_EXE, "event.log", "event.conf",
         "[event.conf]\r\nLogType=System\r\nErrorLevel=Error\r\nOverwriteLog=True\r\n", true},
        {ZANDREL_GAUGEWELL_EXE, "Gaugewell.log", "memory.conf", "[memory.conf]\r\nDisk=C\r\n", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.resultFile);
        ScratchDir dir;
        ScratchDir links;
        if (!links.Link("probe", dir.Path(), true)) {
            GTEST_SKIP() << "this process may make no symbolic links";
        }
        dir.Write(c.settingsFile, c.settings);
        dir.Write(c.resultFile, kOthers);
        const ProgramRun run =
            RunProgram(dir, BuildPathToWindows(c.program), c.resultFile, 60000, links.PathOf("probe"));
        EXPECT_FALSE(run.timedOut);
        EXPECT_EQ(run.exitCode, 0u);
        ASSERT_TRUE(run.resultFile.has_value());
        // The earlier line gone for a fresh start, kept for an append; new lines either way.
        EXPECT_EQ(run.resultFile->rfind(kOthers, 0) == 0, !c.freshStart) << *run.resultFile;
        EXPECT_GT(run.resultFile->size(), c.freshStart ? 0 : sizeof kOthers - 1);
    }
}

}  // namespace
}  // namespace zandrel::testing
