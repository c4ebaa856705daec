// Times capture runs over a synthetic log of 20,000 records (half of the kept type, each with two
// insertion strings and a registered message file) through the real pass with a test event source;
// the result-file writer alone, one line per kept record (held for the round, as a run holds it; a
// writer of its own for each line, which keeps nothing; and under Wine a held writer whose file's
// times move on at every question, as NTFS may set them only at the close, so that no line finds the
// file as the last one left it); and the bare file work the pass prescribes
// for each: open, append one line, close, with none of the writer's guarantees. Under Wine it also
// times a floor: only the calls that every kept record must make (the source's registry key opened,
// its value asked for twice and closed; two environment expansions; the message file loaded,
// formatted from and freed; the line appended by that bare loop), to tell how close the pass comes to
// it. On the host the registry and message file are fakes; under Wine they are real.
//   SiftwellBench [records]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "siftwell/tests/Fakes.h"
#include "siftwell/core/Module1.h"
#include "siftwell/tests/RecordBuilder.h"
#include "ResultFile.h"
#include "siftwell/core/Lines.h"

#ifdef _WIN32
#include <windows.h>

#include "AnsiText.h"
#include "siftwell/win32/Adapters.h"
#include "ProgramRun.h"
#include "ResultFileCalls.h"
#include "ResultFileWriter.h"
#include "UniqueHandle.h"
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace {

using namespace zandrel;
using namespace zandrel::siftwell;
using Clock = std::chrono::steady_clock;

constexpr char kLogName[] = "SiftwellBench";
constexpr std::uint32_t kEventId = 7;  // "The disk %1 has a bad block at %2." in the message file

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// One line appended the bare way: open for appending, one write, close; no lock, no checks.
#ifdef _WIN32
bool BareAppend(const std::string& path, const std::string& line) {
    const UniqueFile file(CreateFileA(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                      nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    return file && WriteFile(file.get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr) &&
           written == line.size();
}
#else
bool BareAppend(const std::string& path, const std::string& line) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) {
        return false;
    }
    const bool whole = ::write(fd, line.data(), line.size()) == static_cast<ssize_t>(line.size());
    return ::close(fd) == 0 && whole;
}
#endif

#ifdef _WIN32
// The file's times as NTFS may show them: a time read through the writing handle is not promised to
// be what the next open reads, since the close may set it. Here every question answers another.
BOOL WINAPI TimesMovingOn(HANDLE file, FILE_INFO_BY_HANDLE_CLASS kind, LPVOID info, DWORD size) {
    static LONGLONG tick = 0;
    if (!GetFileInformationByHandleEx(file, kind, info, size)) {
        return FALSE;
    }
    if (kind == FileBasicInfo) {
        static_cast<FILE_BASIC_INFO*>(info)->ChangeTime.QuadPart += ++tick;
    }
    return TRUE;
}

std::string MessageFilePath() {
    return zandrel::testing::BuildPathToWindows(SIFTWELL_BENCH_MESSAGES_DLL);
}

const std::string kBenchLogKey = std::string("SYSTEM\\CurrentControlSet\\Services\\EventLog\\") + kLogName;

// The bench's own log key, removed again when the bench ends, however it ends.
struct BenchLogKeyRemover {
    ~BenchLogKeyRemover() { RegDeleteTreeA(HKEY_LOCAL_MACHINE, kBenchLogKey.c_str()); }
};

bool RegisterSource() {
    const std::string path = kBenchLogKey + "\\Disk";
    const std::string file = MessageFilePath();
    UniqueRegKey key;
    return RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, key.put(),
                           nullptr) == ERROR_SUCCESS &&
           RegSetValueExA(key.get(), "EventMessageFile", 0, REG_EXPAND_SZ,
                          reinterpret_cast<const BYTE*>(file.c_str()),
                          static_cast<DWORD>(file.size() + 1)) == ERROR_SUCCESS;
}

// The mandatory calls for one kept record, with nothing of the pass's own work around them.
bool FloorRecord(const std::string& keyPath, const std::string& logPath, const std::string& line) {
    UniqueRegKey key;
    if (RegOpenKeyA(HKEY_LOCAL_MACHINE, keyPath.c_str(), key.put()) != ERROR_SUCCESS) {
        return false;
    }
    char value[MAX_PATH];
    DWORD size = 0;
    RegQueryValueExA(key.get(), "EventMessageFile", nullptr, nullptr, reinterpret_cast<BYTE*>(value), &size);
    size = sizeof value;
    if (RegQueryValueExA(key.get(), "EventMessageFile", nullptr, nullptr, reinterpret_cast<BYTE*>(value),
                         &size) != ERROR_SUCCESS) {
        return false;
    }
    key.reset();
    char expanded[MAX_PATH];
    const DWORD needed = ExpandEnvironmentStringsA(value, nullptr, 0);
    if (needed == 0 || needed > sizeof expanded || ExpandEnvironmentStringsA(value, expanded, needed) == 0) {
        return false;
    }
    const UniqueModule module(LoadLibraryExA(expanded, nullptr, LOAD_LIBRARY_AS_DATAFILE));
    DWORD_PTR inserts[] = {reinterpret_cast<DWORD_PTR>("C:"), reinterpret_cast<DWORD_PTR>("sector 1")};
    char message[1024];
    if (FormatMessageA(
            FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ARGUMENT_ARRAY,
            module.get(), kEventId, 0, message, sizeof message, reinterpret_cast<va_list*>(inserts)) == 0) {
        return false;
    }
    return BareAppend(logPath, line);
}
#endif

}  // namespace

int main(int argc, char** argv) {
    const long recordCount = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 20000;
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("siftwell-bench-" + std::to_string(std::rand()));
    std::filesystem::create_directories(dir);
    const std::string directory = dir.string();

    siftwell::testing::FakeEventSource events;
    events.records.reserve(static_cast<std::size_t>(recordCount));
    for (long i = 0; i < recordCount; ++i) {
        events.records.push_back(
            siftwell::testing::BuildEventRecord({.eventType = static_cast<std::uint16_t>(i % 2 ? 2 : 1),
                                                 .eventId = kEventId,
                                                 .timeGenerated = 1142328413u + static_cast<std::uint32_t>(i),
                                                 .sourceName = "Disk",
                                                 .computerName = "HOST",
                                                 .strings = {"C:", "sector " + std::to_string(i)},
                                                 .data = {}}));
    }
    siftwell::testing::FakeNetwork network;
    ResultFileAt log(directory, kResultFileName);
#ifdef _WIN32
    const char* where = "Windows (Wine): real registry, message file, date and error texts";
    const BenchLogKeyRemover removeKeyAtEnd;
    if (!RegisterSource()) {
        std::fprintf(stderr, "cannot register the bench source\n");
        return 1;
    }
    Win32MessageCatalogue messages;
    Win32SystemErrors errors;
    Win32DateText dates;
    Win32LogFiles files(directory);
    Win32TextCodec codec;
#else
    const char* where = "host: fake registry and message file, US date form";
    siftwell::testing::FakeCatalogue messages;
    messages.registrations[{kLogName, "Disk"}] = "disk.dll";
    messages.messages[{"disk.dll", kEventId}] = "The disk %1 has a bad block at %2.\r\n";
    siftwell::testing::FakeSystemErrors errors;
    siftwell::testing::UsDateText dates;
    siftwell::testing::FakeLogFiles files;
    zandrel::testing::FakeTextCodec codec;
#endif
    const Platform platform{events, messages, network, errors, dates, log, files, codec};
    {
        std::FILE* conf = std::fopen((dir / "event.conf").string().c_str(), "wb");
        std::fprintf(conf, "[event.conf]\r\nLogType=%s\r\nErrorLevel=Error\r\nTimeZone=-5\r\n", kLogName);
        std::fclose(conf);
    }

    // Rounds of pass, writer, bare loop and floor in turn, so that a slow moment of the machine or a
    // cold start weighs on all of them alike; the medians are printed.
    constexpr int kRounds = 3;
    const long kept = (recordCount + 1) / 2;
    std::vector<double> passSeconds, writerSeconds, oneShotSeconds, movingSeconds, bareSeconds, floorSeconds;
    std::string line;
    for (int round = 0; round < kRounds; ++round) {
        events.reads = 0;
        std::filesystem::remove(dir / "event.log");
        const Clock::time_point passStart = Clock::now();
        const ExitStatus status = RunCapture(platform, directory);
        passSeconds.push_back(SecondsSince(passStart));
        if (status != ExitStatus::Completed) {
            std::fprintf(stderr, "the run ended with status %d\n", static_cast<int>(status));
            return 1;
        }
        if (line.empty()) {
            // The same number of lines of the same mean length, with nothing but the file work.
            const auto logSize = std::filesystem::file_size(dir / "event.log");
            line.assign(static_cast<std::size_t>(logSize / static_cast<unsigned long long>(kept)) - 2, 'x');
        }

        std::filesystem::remove(dir / "writer.log");
        const Clock::time_point writerStart = Clock::now();
        {
            ResultFileAt writer(directory, "writer.log");
            for (long i = 0; i < kept; ++i) {
                if (!writer.AppendLine(line).Ok()) {
                    std::fprintf(stderr, "the writer lost a line\n");
                    return 1;
                }
            }
        }
        writerSeconds.push_back(SecondsSince(writerStart));

        const std::string oneShotPath = (dir / "oneshot.log").string();
        std::filesystem::remove(oneShotPath);
        const Clock::time_point oneShotStart = Clock::now();
        for (long i = 0; i < kept; ++i) {
            if (!AppendResultLine(oneShotPath, line).Ok()) {
                std::fprintf(stderr, "the one-shot writer lost a line\n");
                return 1;
            }
        }
        oneShotSeconds.push_back(SecondsSince(oneShotStart));
#ifdef _WIN32
        const std::string movingPath = (dir / "moving.log").string();
        std::filesystem::remove(movingPath);
        const Clock::time_point movingStart = Clock::now();
        {
            ResultFileCalls calls;
            calls.getFileInformation = &TimesMovingOn;
            ResultFileWriter writer(movingPath, calls);
            for (long i = 0; i < kept; ++i) {
                if (!writer.Append(line).Ok()) {
                    std::fprintf(stderr, "the writer lost a line\n");
                    return 1;
                }
            }
        }
        movingSeconds.push_back(SecondsSince(movingStart));
#endif

        const std::string barePath = (dir / "bare.log").string();
        const Clock::time_point bareStart = Clock::now();
        for (long i = 0; i < kept; ++i) {
            if (!BareAppend(barePath, line)) {
                std::fprintf(stderr, "the bare loop lost a line\n");
                return 1;
            }
        }
        bareSeconds.push_back(SecondsSince(bareStart));
#ifdef _WIN32
        const std::string keyPath =
            std::string("SYSTEM\\CurrentControlSet\\Services\\EventLog\\") + kLogName + "\\Disk";
        const std::string floorPath = (dir / "floor.log").string();
        const Clock::time_point floorStart = Clock::now();
        for (long i = 0; i < kept; ++i) {
            if (!FloorRecord(keyPath, floorPath, line)) {
                std::fprintf(stderr, "the floor's calls failed\n");
                return 1;
            }
        }
        floorSeconds.push_back(SecondsSince(floorStart));
#endif
        std::printf("  round %d: pass %.3f s, writer %.3f s, one-shot %.3f s, bare %.3f s", round + 1,
                    passSeconds.back(), writerSeconds.back(), oneShotSeconds.back(), bareSeconds.back());
#ifdef _WIN32
        std::printf(", times moving on %.3f s, floor %.3f s", movingSeconds.back(), floorSeconds.back());
#endif
        std::printf("\n");
    }
    std::filesystem::remove_all(dir);

    const double pass = Median(passSeconds);
    const double writer = Median(writerSeconds);
    const double bare = Median(bareSeconds);
    std::printf("Siftwell pass benchmark, %s; medians of the %d rounds above\n", where, kRounds);
    std::printf("  records read:             %ld (%ld kept, lines of %zu bytes)\n", recordCount, kept,
                line.size() + 2);
    std::printf("  pass:                     %.3f s, %.0f records/s, %.0f kept lines/s\n", pass,
                recordCount / pass, kept / pass);
    std::printf("  writer:                   %.3f s, %.0f lines/s\n", writer, kept / writer);
    const double oneShot = Median(oneShotSeconds);
    std::printf("  one-shot writer:          %.3f s, %.0f lines/s\n", oneShot, kept / oneShot);
#ifdef _WIN32
    const double moving = Median(movingSeconds);
    std::printf("  writer, times moving on:  %.3f s, %.0f lines/s\n", moving, kept / moving);
#endif
    std::printf("  bare open/append/close:   %.3f s, %.0f lines/s\n", bare, kept / bare);
    std::printf("  writer rate / bare rate:  %.2f\n", bare / writer);
#ifdef _WIN32
    const double floor = Median(floorSeconds);
    std::printf("  floor (bare append):      %.3f s, %.0f kept lines/s\n", floor, kept / floor);
    std::printf("  pass rate / floor rate:   %.2f\n", floor / pass);
#endif
    return 0;
}
