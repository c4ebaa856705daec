// The probes on a drive that fills up for real (full-drive.sh links a tmpfs as drive M:): the line
// that no longer fits is absent, not torn, the run ends with status 3, and the next run after space
// is freed starts on a line of its own. Every byte of the result file is checked.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "siftwell/win32/Adapters.h"
#include "siftwell/tests/Fakes.h"
#include "siftwell/core/Lines.h"
#include "siftwell/core/Module1.h"
#include "siftwell/tests/RecordBuilder.h"
#include "ProgramRun.h"
#include "AnsiText.h"
#include "ResultFile.h"
#include "Scratch.h"
#include "UniqueHandle.h"

namespace zandrel::testing {
namespace {

constexpr ULONGLONG kPage = 4096;  // tmpfs hands out room a page at a time
const std::string kGaugewell = BuildPathToWindows(ZANDREL_GAUGEWELL_EXE);
const std::string kProcessorLine = "CPU Utilization= 0%\r\n";  // Wine reports no processor load

std::string DriveRoot() {
    const char* drive = std::getenv("ZANDREL_FULL_DRIVE");
    return drive == nullptr ? std::string() : std::string(drive) + "\\";
}

ULONGLONG FreeBytes(const std::string& root) {
    ULARGE_INTEGER available{}, total{}, free{};
    EXPECT_TRUE(GetDiskFreeSpaceExA(root.c_str(), &available, &total, &free)) << GetLastError();
    return available.QuadPart;
}

void WriteBytes(const std::string& path, const std::string& bytes) {
    const UniqueFile file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    DWORD written = 0;
    ASSERT_TRUE(file &&
                ::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
                written == bytes.size())
        << path << ": error " << GetLastError();
}

std::string ReadBytes(const std::string& path) {
    const UniqueFile file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_EXISTING, 0, nullptr));
    std::string bytes(1 << 16, '\0');
    DWORD read = 0;
    if (!file || !::ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr)) {
        return "(unreadable)";
    }
    bytes.resize(read);
    return bytes;
}

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    for (size_t pos = 0, end; (end = text.find("\r\n", pos)) != std::string::npos; pos = end + 2) {
        lines.push_back(text.substr(pos, end + 2 - pos));
    }
    return lines;
}

// The whole lines of `lines`, from the first, that fit in `room` bytes.
std::string Fitting(const std::vector<std::string>& lines, ULONGLONG room) {
    std::string fitted;
    for (const std::string& line : lines) {
        if (fitted.size() + line.size() > room) {
            EXPECT_GT(room, fitted.size()) << "no line is torn here: the case tests nothing";
            return fitted;
        }
        fitted += line;
    }
    ADD_FAILURE() << "every line fits: the case tests nothing";
    return fitted;
}

// A run of Gaugewell as its result file shows it, whatever the figures.
bool IsWholeGaugewellRun(const std::string& text) {
    const std::vector<std::string> lines = SplitLines(text);
    const auto starts = [](const std::string& line, const std::string& start) {
        return line.compare(0, start.size(), start) == 0 && line.find('\r') == line.size() - 2;
    };
    return lines.size() == 4 && lines[0] == kProcessorLine && starts(lines[1], "Free Memory=") &&
           starts(lines[2], "Free Space on Drive C:=") && lines[3] == "Zandrel data capture completed\r\n" &&
           lines[0].size() + lines[1].size() + lines[2].size() + lines[3].size() == text.size();
}

enum class Probe { Siftwell, Gaugewell };

class FullDrive : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        std::vector<std::vector<unsigned char>> records;
        for (std::uint32_t i = 0; i < 40; ++i) {
            records.push_back(siftwell::testing::BuildEventRecord(
                {.eventType = 1,
                 .eventId = 7,
                 .timeGenerated = 1142328413u + i * 7919,
                 .sourceName = "Disk",
                 .computerName = "HOST",
                 .strings = {"C:", "is failing at " + std::to_string(i * i)},
                 .data = {}}));
        }
        source_.records = records;
        // What a run writes where there is room: the lines the full drive must keep a prefix of.
        ScratchDir roomy;
        WriteSiftwellSettings(roomy.Path(), false);
        ASSERT_EQ(RunSiftwell(roomy.Path()), ExitStatus::Completed);
        siftwellLines_ = SplitLines(roomy.Read("event.log").value_or(""));
        ASSERT_EQ(siftwellLines_.size(), records.size());
    }

    void SetUp() override {
        root_ = DriveRoot();
        ASSERT_FALSE(root_.empty()) << "run through full-drive.sh, which lends the test a small drive";
        ULARGE_INTEGER available{}, total{}, free{};
        ASSERT_TRUE(GetDiskFreeSpaceExA(root_.c_str(), &available, &total, &free));
        ASSERT_LT(total.QuadPart, 64ull << 20) << root_ << " is no small drive of the test's own";
    }

    void TearDown() override { Clear(); }

    // Empties the drive for the next case but for the copy of Gaugewell.exe: a program image that
    // has just run may hold its pages a moment after it is deleted.
    void Clear() {
        std::error_code ignored;
        for (const char* name : {"event.log", "event.conf", "Gaugewell.log", "memory.conf"}) {
            std::filesystem::remove(root_ + "case\\" + name, ignored);
        }
        std::filesystem::remove(root_ + "filler", ignored);
    }

    static void WriteSiftwellSettings(const std::string& directory, bool overwrite) {
        WriteBytes(directory + "\\event.conf", std::string("[event.conf]\r\nLogType=FullDriveTest\r\n") +
                                                   "ErrorLevel=Error\r\nTimeZone=0\r\nOverwriteLog=" +
                                                   (overwrite ? "True" : "False") + "\r\n");
    }

    static ExitStatus RunSiftwell(const std::string& directory) {
        source_.reads = 0;
        siftwell::Win32MessageCatalogue messages;
        siftwell::testing::FakeNetwork network;
        siftwell::Win32SystemErrors errors;
        siftwell::Win32DateText dates;
        ResultFileAt log(directory, siftwell::kResultFileName);
        siftwell::Win32LogFiles files(directory);
        const Win32TextCodec codec;
        const siftwell::Platform platform{source_, messages, network, errors, dates, log, files, codec};
        return siftwell::RunCapture(platform, directory);
    }

    // Leaves exactly `room` bytes on the drive for the result file beyond what the run keeps of it
    // (all of `seed` when appending, none of it after a fresh start).
    void LeaveRoom(const std::string& resultPath, const std::string& seed, ULONGLONG kept, ULONGLONG room) {
        ASSERT_EQ((kept + room) % kPage, 0u) << "the room must end at a page's end";
        WriteBytes(resultPath, seed);
        const ULONGLONG seedPages = (seed.size() + kPage - 1) / kPage;
        const ULONGLONG freePages = (kept + room) / kPage - seedPages;
        WriteBytes(root_ + "filler", std::string(FreeBytes(root_) - freePages * kPage, 'f'));
        ASSERT_EQ(FreeBytes(root_), freePages * kPage);
    }

    static siftwell::testing::FakeEventSource source_;
    static std::vector<std::string> siftwellLines_;
    std::string root_;
};

siftwell::testing::FakeEventSource FullDrive::source_;
std::vector<std::string> FullDrive::siftwellLines_;

// An earlier run's whole line, as long as it takes to put the end of the room at a page's end.
std::string EarlierLines(ULONGLONG room) {
    ULONGLONG size = (kPage - room % kPage) % kPage;
    while (size < 16) {
        size += kPage;
    }
    return "earlier " + std::string(size - 10, 'e') + "\r\n";
}

TEST_F(FullDrive, ALineThatDoesNotFitIsAbsentAndTheNextRunStartsOnALineOfItsOwn) {
    const struct {
        const char* name;
        Probe probe;
        bool overwrite;
        ULONGLONG room;  // beyond what the run keeps of the file
    } cases[] = {
        {"Siftwell appending", Probe::Siftwell, false, 700},
        {"Siftwell, a fresh start (OverwriteLog=True)", Probe::Siftwell, true, kPage},
        {"Gaugewell, its first line torn", Probe::Gaugewell, false, 10},
        {"Gaugewell, its second line torn", Probe::Gaugewell, false, kProcessorLine.size() + 9},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Clear();
        const std::string folder = root_ + "case";
        CreateDirectoryA(folder.c_str(), nullptr);
        const std::string resultPath =
            folder + (c.probe == Probe::Siftwell ? "\\event.log" : "\\Gaugewell.log");
        const std::string seed = c.overwrite ? std::string(kPage - 100, 'o') + "\r\n" : EarlierLines(c.room);
        const std::string kept = c.overwrite ? "" : seed;
        const auto run = [&] {
            if (c.probe == Probe::Siftwell) {
                return static_cast<unsigned long>(RunSiftwell(folder));
            }
            const std::string program = folder + "\\Gaugewell.exe";
            STARTUPINFOA startup{};
            startup.cb = sizeof startup;
            PROCESS_INFORMATION info{};
            std::string commandLine = "\"" + program + "\"";
            if (!CreateProcessA(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                folder.c_str(), &startup, &info)) {
                ADD_FAILURE() << "cannot start " << program << ": error " << GetLastError();
                return 255ul;
            }
            const UniqueKernelHandle process(info.hProcess);
            const UniqueKernelHandle thread(info.hThread);
            DWORD exitCode = 255;
            EXPECT_EQ(WaitForSingleObject(process.get(), 60000), WAIT_OBJECT_0);
            GetExitCodeProcess(process.get(), &exitCode);
            return static_cast<unsigned long>(exitCode);
        };
        if (c.probe == Probe::Siftwell) {
            WriteSiftwellSettings(folder, c.overwrite);
        } else {
            WriteBytes(folder + "\\memory.conf", "[memory.conf]\r\nDisk=C\r\n");
            const std::string program = folder + "\\Gaugewell.exe";
            ASSERT_TRUE(GetFileAttributesA(program.c_str()) != INVALID_FILE_ATTRIBUTES ||
                        CopyFileA(kGaugewell.c_str(), program.c_str(), TRUE));
        }
        LeaveRoom(resultPath, seed, kept.size(), c.room);
        if (HasFatalFailure()) {
            return;
        }

        EXPECT_EQ(run(), 3u);
        // Gaugewell's second line, the free memory, is at least as long as the stand-in after the first.
        const std::string torn =
            kept + Fitting(c.probe == Probe::Siftwell ? siftwellLines_
                                                      : std::vector{kProcessorLine, std::string(28, '?')},
                           c.room);
        EXPECT_EQ(ReadBytes(resultPath), torn);

        ASSERT_TRUE(DeleteFileA((root_ + "filler").c_str()));
        EXPECT_EQ(run(), 0u);
        const std::string after = ReadBytes(resultPath);
        if (c.probe == Probe::Gaugewell) {
            ASSERT_EQ(after.substr(0, torn.size()), torn);
            EXPECT_TRUE(IsWholeGaugewellRun(after.substr(torn.size()))) << after;
        } else {
            std::string whole;
            for (const std::string& line : siftwellLines_) {
                whole += line;
            }
            EXPECT_EQ(after, c.overwrite ? whole : torn + whole);
        }
    }
}

}  // namespace
}  // namespace zandrel::testing
