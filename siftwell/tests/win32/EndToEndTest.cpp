// The real Siftwell.exe under Wine, alone in a scratch directory with its settings: exit status and
// the exact bytes of event.log. Wine's local event log is empty and it has no network.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>

#include "ProgramRun.h"
#include "Wine.h"

namespace zandrel::testing {
namespace {

const std::string kSiftwell = BuildPathToWindows(SIFTWELL_EXE);

const std::string kSettingsMissing =
    "SIFTWELL ERROR: Insufficient settings in event.conf.\r\n"
    "                    Need at least LogType and ErrorLevel.\r\n";

const std::string kPlantedMpr = BuildPathToWindows(SIFTWELL_PLANTED_MPR_DLL);

// Wine's own copy of a DLL comes first unless told otherwise; Windows, which has no such copies,
// searches the program's folder first for a DLL that is no KnownDLL. CTest starts these tests with
// Windows' order for MPR.dll (WINEDLLOVERRIDES, which Wine reads at a process's start from the
// environment it was started with, not from one that a Windows parent sets).
bool MprNativeFirst() {
    char overrides[1024];
    const DWORD length = GetEnvironmentVariableA("WINEDLLOVERRIDES", overrides, sizeof overrides);
    return length > 0 && length < sizeof overrides &&
           std::string_view(overrides, length).find("mpr=n,b") != std::string_view::npos;
}

ProgramRun RunSiftwell(const ScratchDir& dir) {
    ProgramRun run = RunProgram(dir, kSiftwell, "event.log");
    EXPECT_FALSE(run.timedOut);
    return run;
}

TEST(SiftwellExe, WithoutSettingsFileEndsWithItsStatusAndLeavesTheLogAlone) {
    ScratchDir dir;
    EXPECT_EQ(RunSiftwell(dir).exitCode, 2u);
    EXPECT_FALSE(dir.Exists("event.log"));

    dir.Write("event.log", "earlier\r\n");
    const ProgramRun run = RunSiftwell(dir);
    EXPECT_EQ(run.exitCode, 2u);
    EXPECT_EQ(run.resultFile, "earlier\r\n");
}

TEST(SiftwellExe, UnusableSettingsWriteTheTwoLines) {
    const char* confs[] = {
        "[memory.conf]\r\nLogType=System\r\nErrorLevel=Error\r\nOverwriteLog=True\r\n",  // no header
        "[event.conf]\r\nLogType=System\r\nErrorLevel=error\r\n",
        "[event.conf]\r\nErrorLevel=Error\r\n",
    };
    for (const char* conf : confs) {
        SCOPED_TRACE(conf);
        ScratchDir dir;
        dir.Write("event.conf", conf);
        dir.Write("event.log", "earlier\r\n");
        const ProgramRun run = RunSiftwell(dir);
        EXPECT_EQ(run.exitCode, 0u);
        EXPECT_EQ(run.resultFile, "earlier\r\n" + kSettingsMissing);
    }
}

TEST(SiftwellExe, LocalPassOverWinesEmptyLogSaysOk) {
    if (!zandrel::testing::RunningUnderWine()) {
        GTEST_SKIP() << "expects Wine's empty local event log";
    }
    ScratchDir dir;
    dir.Write("event.conf",
              "[event.conf]\r\nServer=\r\nLogType=System\r\nErrorLevel=Error\r\nTimeZone=-5\r\n");
    EXPECT_EQ(RunSiftwell(dir).resultFile, "OK.\r\n");
    // A second run appends.
    const ProgramRun again = RunSiftwell(dir);
    EXPECT_EQ(again.exitCode, 0u);
    EXPECT_EQ(again.resultFile, "OK.\r\nOK.\r\n");
}

TEST(SiftwellExe, OverwriteOnlyForExactlyTrue) {
    if (!zandrel::testing::RunningUnderWine()) {
        GTEST_SKIP() << "expects Wine's empty local event log";
    }
    const std::pair<const char*, const char*> cases[] = {
        {"True", "OK.\r\n"},
        {"true", "earlier\r\nOK.\r\n"},
        {"TRUE", "earlier\r\nOK.\r\n"},
    };
    for (const auto& [overwrite, expected] : cases) {
        SCOPED_TRACE(overwrite);
        ScratchDir dir;
        dir.Write("event.conf",
                  std::string("[event.conf]\r\nLogType=System\r\nErrorLevel=Warning\r\nOverwriteLog=") +
                      overwrite + "\r\n");
        dir.Write("event.log", "earlier\r\n");
        const ProgramRun run = RunSiftwell(dir);
        EXPECT_EQ(run.exitCode, 0u);
        EXPECT_EQ(run.resultFile, expected);
    }
}

TEST(SiftwellExe, OverwriteAlsoBeforeTheSettingsLines) {
    ScratchDir dir;
    dir.Write("event.conf", "[event.conf]\r\nLogType=System\r\nOverwriteLog=True\r\n");
    dir.Write("event.log", "earlier\r\n");
    EXPECT_EQ(RunSiftwell(dir).resultFile, kSettingsMissing);
}

TEST(SiftwellExe, HiddenLogIsNotSeenByTheSearch) {
    if (!zandrel::testing::RunningUnderWine()) {
        GTEST_SKIP() << "expects Wine's empty local event log";
    }
    ScratchDir dir;
    dir.Write("event.conf", "[event.conf]\r\nLogType=System\r\nErrorLevel=Error\r\nOverwriteLog=True\r\n");
    dir.Write("event.log", "earlier\r\n");
    const std::string log = dir.PathOf("event.log");
    SetFileAttributesA(log.c_str(), FILE_ATTRIBUTE_HIDDEN);
    if ((GetFileAttributesA(log.c_str()) & FILE_ATTRIBUTE_HIDDEN) == 0) {
        GTEST_SKIP() << "this file system keeps no hidden attribute";
    }
    EXPECT_EQ(RunSiftwell(dir).resultFile, "earlier\r\nOK.\r\n");
}

TEST(SiftwellExe, StaleLogThatCannotBeDeletedIsKeptUntouched) {
    ScratchDir dir;
    dir.Write("event.conf", "[event.conf]\r\nLogType=System\r\nErrorLevel=Error\r\nOverwriteLog=True\r\n");
    dir.Write("event.log", "earlier\r\n");
    const std::string log = dir.PathOf("event.log");
    ASSERT_TRUE(SetFileAttributesA(log.c_str(), FILE_ATTRIBUTE_READONLY));
    const ProgramRun run = RunSiftwell(dir);
    SetFileAttributesA(log.c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(run.exitCode, 4u);
    EXPECT_EQ(run.resultFile, "earlier\r\n");
}

TEST(SiftwellExe, UnwritableLogGivesItsStatus) {
    ScratchDir dir;
    dir.Write("event.conf", "[event.conf]\r\nLogType=System\r\nErrorLevel=Error\r\n");
    std::filesystem::create_directory(dir.PathOf("event.log"));
    EXPECT_EQ(RunSiftwell(dir).exitCode, 3u);
}

TEST(SiftwellExe, TimeZoneOutOfRangeStopsWithOneLine) {
    ScratchDir dir;
    dir.Write("event.conf", "[event.conf]\r\nLogType=System\r\nErrorLevel=Error\r\nTimeZone=40000\r\n");
    const ProgramRun run = RunSiftwell(dir);
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_EQ(run.resultFile,
              "SIFTWELL ERROR: TimeZone in event.conf is outside -32768 to 32767 hours.  Exiting.\r\n");
}

TEST(SiftwellExe, RemoteServerIsRefusedWithoutNetwork) {
    if (!zandrel::testing::RunningUnderWine()) {
        GTEST_SKIP() << "expects Wine's refusal of every connection";
    }
    const std::pair<const char*, const char*> cases[] = {
        {"Server=HostA\r\nUsername=admin\r\n",
         "SIFTWELL ERROR: Could not connect to HostA using username: \"admin\".  Exiting.\r\n"
         "\tERROR: 1222 - No network.\r\n\r\n"
         "Note: supplied password was less than 1 character long.\r\n"},
        {"Server=HostA\r\nUsername=\r\nPassword=secret\r\n",
         "SIFTWELL ERROR: Could not connect to HostA using username: \"\".  Exiting.\r\n"
         "\tERROR: 1222 - No network.\r\n\r\n"},
    };
    for (const auto& [settings, expected] : cases) {
        SCOPED_TRACE(settings);
        ScratchDir dir;
        dir.Write("event.conf",
                  std::string("[event.conf]\r\n") + settings + "LogType=System\r\nErrorLevel=Error\r\n");
        const ProgramRun run = RunSiftwell(dir);
        EXPECT_EQ(run.exitCode, 0u);
        EXPECT_EQ(run.resultFile, expected);
    }
}

// Under code page 1252 the ANSI name of "Zandrel-\u03A9" is its best-fit look-alike "Zandrel-O": a
// probe there must not read that folder's settings nor empty its log.
TEST(SiftwellExe, AFolderTheCodePageCannotNameLeavesItsLookAlikeAlone) {
    if (GetACP() != 1252) {
        GTEST_SKIP() << "the look-alike is code page 1252's; this system's is " << GetACP();
    }
    const LookAlikeRun outcome = RunBesideLookAlike(
        kSiftwell, "event.conf",
        "[event.conf]\r\nLogType=System\r\nErrorLevel=Error\r\nOverwriteLog=True\r\n", "event.log");
    EXPECT_EQ(outcome.run.exitCode, 2u);
    EXPECT_FALSE(outcome.run.resultFile.has_value());
    EXPECT_EQ(outcome.lookAlikeResult, "earlier\r\n");
}

TEST(SiftwellExe, PlantedMprDllIsNeverLoaded) {
    if (!zandrel::testing::RunningUnderWine()) {
        GTEST_SKIP() << "expects Wine's refusal of every connection";
    }
    ASSERT_TRUE(MprNativeFirst()) << "Wine would take its own MPR.dll whatever lies beside the probe";
    ScratchDir dir;
    ASSERT_TRUE(CopyFileA(kPlantedMpr.c_str(), dir.PathOf("MPR.dll").c_str(), FALSE));
    dir.Write("event.conf",
              "[event.conf]\r\nServer=HostA\r\nUsername=admin\r\nPassword=pw\r\nLogType=System\r\n"
              "ErrorLevel=Error\r\n");
    const ProgramRun run = RunSiftwell(dir);
    EXPECT_FALSE(dir.Exists("planted-dll-ran"));
    EXPECT_EQ(run.exitCode, 0u);
    // The system's own MPR answered.
    EXPECT_EQ(run.resultFile,
              "SIFTWELL ERROR: Could not connect to HostA using username: \"admin\".  Exiting.\r\n"
              "\tERROR: 1222 - No network.\r\n\r\n");
}

}  // namespace
}  // namespace zandrel::testing
