// The harness runs a real executable under Wine in a scratch directory and hands back its exit
// status and result file: proven here with the stand-in probe.
#include <gtest/gtest.h>

#include "ProgramRun.h"

namespace zandrel::testing {
namespace {

const std::string kIniProbe = BuildPathToWindows(ZANDREL_INIPROBE_EXE);

TEST(ProgramRun, ReadsSettingsBesideTheExecutableAndAppends) {
    ScratchDir dir;
    dir.Write("probe.conf", "[probe.conf]\r\nalpha=One, \"Beta=Two,Three\"\r\n");
    dir.Write("probe.log", "earlier\r\n");
    const ProgramRun run = RunProgram(dir, kIniProbe, "probe.log");
    EXPECT_FALSE(run.timedOut);
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_EQ(run.resultFile, "earlier\r\nAlpha=One\r\nBeta=Two,Three\r\n");
}

TEST(ProgramRun, MissingSettingsFileEndsWithItsStatusAndWritesNothing) {
    ScratchDir dir;
    const ProgramRun run = RunProgram(dir, kIniProbe, "probe.log");
    EXPECT_EQ(run.exitCode, 2u);
    EXPECT_FALSE(run.resultFile.has_value());
}

TEST(ProgramRun, UnwritableResultFileGivesItsStatus) {
    ScratchDir dir;
    dir.Write("probe.conf", "[probe.conf]\r\n");
    // A directory in the result file's place cannot be opened for appending.
    std::filesystem::create_directory(dir.PathOf("probe.log"));
    const ProgramRun run = RunProgram(dir, kIniProbe, "probe.log");
    EXPECT_EQ(run.exitCode, 3u);
}

}  // namespace
}  // namespace zandrel::testing
