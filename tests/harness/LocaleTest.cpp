// Both probes, as installed, in the locales of other countries: settings in the code page's own
// characters and in the encodings Windows saves them in, a folder named in the code page, and a
// message file in a double-byte folder. Each suite runs in its own locale (see tests/CMakeLists.txt).
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <string>

#include "AnsiText.h"
#include "ProgramRun.h"
#include "siftwell/core/MessageRules.h"
#include "siftwell/win32/Adapters.h"
#include "Wine.h"

namespace zandrel::testing {
namespace {

const std::string kSiftwell = BuildPathToWindows(ZANDREL_SIFTWELL_EXE);
const std::string kGaugewell = BuildPathToWindows(ZANDREL_GAUGEWELL_EXE);
const std::string kMessagesDll = BuildPathToWindows(SIFTWELL_TEST_MESSAGES_DLL);

std::string Utf16LeWithMark(std::u16string_view text) {
    std::string bytes = "\xFF\xFE";
    for (const char16_t unit : text) {
        bytes += static_cast<char>(unit & 0xFF);
        bytes += static_cast<char>(unit >> 8);
    }
    return bytes;
}

// Runs `program` alone in a folder named `folderName` inside a scratch directory, with `settings`.
ProgramRun RunIn(const std::wstring& folderName, const std::string& program, const char* settingsName,
                 const std::string& settings, const char* resultName) {
    ScratchDir dir;
    const std::filesystem::path folder = dir.Folder() / folderName;
    std::filesystem::create_directory(folder);
    std::ofstream(folder / settingsName, std::ios::binary) << settings;
    ProgramRun run = RunProgramIn(folder, program, resultName);
    EXPECT_FALSE(run.timedOut);
    return run;
}

const std::string kFigures =
    "CPU Utilization= \\d{1,3}%\r\nFree Memory=[\\d.]{1,8} (Bytes|KB|MB|GB) \\(\\d{1,3}% Free\\)\r\n"
    "Free Space on Drive C:=\\d+ MB \\(\\d{1,3}% Free\\)\r\nZandrel data capture completed\r\n";

class DoubleByteLocale : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(GetACP(), 932u) << "runs in ja_JP, code page 932";
        if (!RunningUnderWine()) {
            GTEST_SKIP() << "expects Wine's empty event log and its answer for an unknown host";
        }
    }
};

// 監視表: the last character's trail byte in 932 is 0x5C, a backslash read as a byte.
const std::wstring kJapaneseFolder = L"\u76E3\u8996\u8868";

TEST_F(DoubleByteLocale, TheEventProbeReadsCharactersInEveryEncoding) {
    const struct {
        const char* name;
        std::string settings;
    } kCases[] = {
        // A full-width "=" after a key, typed in the input method's full-width mode: 81 81 in 932.
        {"932",
         "[event.conf]\r\nServer\x81\x81\r\nLogType=System\r\nErrorLevel\x81\x81"
         "Error\r\n"},
        {"UTF-16 with tabs", Utf16LeWithMark(u"[event.conf]\r\n\tServer=\r\n\tLogType=System\r\n"
                                             u"\tErrorLevel\uFF1DError\r\n")},
        {"UTF-8 without mark", "[event.conf]\r\nLogType\xEF\xBC\x9DSystem\r\nErrorLevel=Error\r\n"},
    };
    for (const auto& c : kCases) {
        const ProgramRun run = RunIn(kJapaneseFolder, kSiftwell, "event.conf", c.settings, "event.log");
        EXPECT_EQ(run.exitCode, 0u) << c.name;
        EXPECT_EQ(run.resultFile, "OK.\r\n") << c.name;
    }
    // A host that 932 cannot name is no host the ANSI calls may be given: nothing runs, nothing is written.
    const ProgramRun run =
        RunIn(kJapaneseFolder, kSiftwell, "event.conf",
              "\xEF\xBB\xBF[event.conf]\r\nServer=Zandrel-\xC3\x98\r\nLogType=System\r\nErrorLevel=Error\r\n",
              "event.log");
    EXPECT_EQ(run.exitCode, 2u);
    EXPECT_FALSE(run.resultFile.has_value());
}

TEST_F(DoubleByteLocale, TheResourceProbeMeasuresTheHostTheFileNames) {
    ProgramRun run = RunIn(kJapaneseFolder, kGaugewell, "memory.conf",
                           "[memory.conf]\r\nServer\x81\x81.\r\nDisk\x81\x81"
                           "C\r\n",
                           "Gaugewell.log");
    EXPECT_TRUE(std::regex_match(run.resultFile.value_or(""), std::regex(kFigures)))
        << run.resultFile.value_or("");
    // Read as ANSI bytes, this file named no server, and the probe measured this computer instead.
    run = RunIn(kJapaneseFolder, kGaugewell, "memory.conf",
                Utf16LeWithMark(u"[memory.conf]\r\n\tServer=unreachable-host\r\n\tDisk=C\r\n"),
                "Gaugewell.log");
    EXPECT_EQ(run.resultFile, "Error connecting to unreachable-host.  Error -2147217387: \r\n");
}

TEST_F(DoubleByteLocale, AMessageFileInADoubleByteFolderIsFound) {
    ScratchDir dir;
    const std::filesystem::path folder = dir.Folder() / kJapaneseFolder;
    std::filesystem::create_directory(folder);
    const std::filesystem::path dll = folder / "SiftwellTestMessages.dll";
    ASSERT_TRUE(CopyFileW(std::filesystem::path(kMessagesDll).c_str(), dll.c_str(), FALSE));
    ASSERT_TRUE(SetEnvironmentVariableW(L"ZandrelMessageFolder", folder.c_str()));

    siftwell::Win32MessageCatalogue catalogue;
    const Result<std::string> expanded =
        catalogue.ExpandEnvironment("%ZandrelMessageFolder%\\SiftwellTestMessages.dll");
    ASSERT_EQ(expanded, Result<std::string>(WideToAnsi(dll.wstring())));
    siftwell::MessageArgs args;
    args[0] = "C:";
    args[1] = "9";
    EXPECT_EQ(catalogue.LoadMessages(std::get<std::string>(expanded))->Format(7, siftwell::InsertTable(args)),
              Result<std::string>("The disk C: has a bad block at 9.\r\n"));
}

class TurkishLocale : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_EQ(GetACP(), 1254u) << "runs in tr_TR, code page 1254"; }
};

// Folded by the same mapping in every locale: the Turkish keyboard's dotted capital I is "i", and so,
// here as everywhere, is the plain capital I.
TEST_F(TurkishLocale, KeysFoldAsEverywhere) {
    for (const char* settings : {"[memory.conf]\r\nD\xDDSK=C\r\n", "[MEMORY.CONF]\r\nDISK=C\r\n"}) {
        const ProgramRun run = RunIn(L"Zandrel", kGaugewell, "memory.conf", settings, "Gaugewell.log");
        EXPECT_TRUE(std::regex_match(run.resultFile.value_or(""), std::regex(kFigures)))
            << run.resultFile.value_or("");
    }
    std::u16string folded;
    Win32TextCodec().FoldCase(u"I\u0130\u0131", folded);
    EXPECT_EQ(folded, u"ii\u0131");
}

}  // namespace
}  // namespace zandrel::testing
