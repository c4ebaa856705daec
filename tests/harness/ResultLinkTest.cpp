// A result file that is a link to someone else's file: the probes never write through it, nor empty
// it for a fresh start.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "ProgramRun.h"
#include "Scratch.h"

namespace zandrel::testing {
namespace {

constexpr char kOthers[] = "someone else's\r\n";

using MakeLink = bool (*)(const std::string& link, const std::string& target);

void ExpectNoRunWritesThrough(MakeLink makeLink) {
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
        dir.Write("other.txt", kOthers);
        ASSERT_TRUE(makeLink(dir.PathOf(c.resultFile), dir.PathOf("other.txt")));
        const ProgramRun run = RunProgram(dir, BuildPathToWindows(c.program), c.resultFile);
        EXPECT_FALSE(run.timedOut);
        EXPECT_EQ(run.exitCode, c.exitCode);
        EXPECT_EQ(dir.Read("other.txt"), kOthers);
    }
}

TEST(ResultFileLink, AHardLinkIsNotWrittenThrough) {
    ExpectNoRunWritesThrough([](const std::string& link, const std::string& target) {
        return CreateHardLinkA(link.c_str(), target.c_str(), nullptr) != FALSE;
    });
}

// A symbolic link is a reparse point on Windows. Wine 8 makes none: CreateSymbolicLinkA reports
// success and creates nothing, and a Unix symbolic link to a file shows as the file itself.
TEST(ResultFileLink, ASymbolicLinkIsNotWrittenThrough) {
    ScratchDir probe;
    probe.Write("target", "");
    const std::string link = probe.PathOf("link");
    CreateSymbolicLinkA(link.c_str(), probe.PathOf("target").c_str(),
                        SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE);
    const DWORD attributes = GetFileAttributesA(link.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
        GTEST_SKIP() << "this platform makes no symbolic links as reparse points";
    }
    ExpectNoRunWritesThrough([](const std::string& linkPath, const std::string& target) {
        return CreateSymbolicLinkA(linkPath.c_str(), target.c_str(),
                                   SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE) != FALSE;
    });
}

}  // namespace
}  // namespace zandrel::testing
