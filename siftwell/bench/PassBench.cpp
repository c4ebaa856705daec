// Times one capture run over a synthetic log of 100,000 records (half of the kept type, each with two
// insertion strings and a registered message file) through the real pass with a test event source,
// and the bare file work the pass prescribes: open, append one line, close, per kept record.
// On the host the registry and message file are fakes; under Wine they are real.
//   SiftwellBench [records]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "Fakes.h"
#include "Module1.h"
#include "RecordBuilder.h"
#include "ResultFile.h"
#include "ResultFileLog.h"

#ifdef _WIN32
#include <windows.h>

#include "Adapters.h"
#include "ProgramRun.h"
#include "UniqueHandle.h"
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

#ifdef _WIN32
std::string MessageFilePath() {
    return zandrel::testing::BuildPathToWindows(SIFTWELL_BENCH_MESSAGES_DLL);
}

bool RegisterSource() {
    const std::string path =
        std::string("SYSTEM\\CurrentControlSet\\Services\\EventLog\\") + kLogName + "\\Disk";
    const std::string file = MessageFilePath();
    UniqueRegKey key;
    return RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, key.put(),
                           nullptr) == ERROR_SUCCESS &&
           RegSetValueExA(key.get(), "EventMessageFile", 0, REG_EXPAND_SZ,
                          reinterpret_cast<const BYTE*>(file.c_str()),
                          static_cast<DWORD>(file.size() + 1)) == ERROR_SUCCESS;
}
#endif

}  // namespace

int main(int argc, char** argv) {
    const long recordCount = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 100000;
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
    ResultFileLog log(directory);
#ifdef _WIN32
    const char* where = "Windows (Wine): real registry, message file, date and error texts";
    if (!RegisterSource()) {
        std::fprintf(stderr, "cannot register the bench source\n");
        return 1;
    }
    Win32MessageCatalogue messages;
    Win32SystemErrors errors;
    Win32DateText dates;
    Win32LogFiles files(directory);
#else
    const char* where = "host: fake registry and message file, US date form";
    siftwell::testing::FakeCatalogue messages;
    messages.registrations[{kLogName, "Disk"}] = "disk.dll";
    messages.messages[{"disk.dll", kEventId}] = "The disk %1 has a bad block at %2.\r\n";
    siftwell::testing::FakeSystemErrors errors;
    siftwell::testing::UsDateText dates;
    siftwell::testing::FakeLogFiles files;
#endif
    const Platform platform{events, messages, network, errors, dates, log, files};
    {
        std::FILE* conf = std::fopen((dir / "event.conf").string().c_str(), "wb");
        std::fprintf(conf, "[event.conf]\r\nLogType=%s\r\nErrorLevel=Error\r\nTimeZone=-5\r\n", kLogName);
        std::fclose(conf);
    }

    const Clock::time_point passStart = Clock::now();
    const ExitStatus status = RunCapture(platform, directory);
    const double passSeconds = SecondsSince(passStart);
    const auto logSize = std::filesystem::file_size(dir / "event.log");
    const long kept = (recordCount + 1) / 2;
    if (status != ExitStatus::Completed) {
        std::fprintf(stderr, "the run ended with status %d\n", static_cast<int>(status));
        return 1;
    }

    // The same number of lines of the same mean length, with nothing but the file work.
    const std::string line(static_cast<std::size_t>(logSize / static_cast<unsigned long long>(kept)) - 2,
                           'x');
    const std::string barePath = (dir / "bare.log").string();
    const Clock::time_point bareStart = Clock::now();
    for (long i = 0; i < kept; ++i) {
        if (!AppendResultLine(barePath, line)) {
            return 1;
        }
    }
    const double bareSeconds = SecondsSince(bareStart);
    std::filesystem::remove_all(dir);

    std::printf("Siftwell pass benchmark, %s\n", where);
    std::printf("  records read:           %ld (%ld kept, lines of %zu bytes)\n", recordCount, kept,
                line.size() + 2);
    std::printf("  pass:                   %.3f s, %.0f records/s, %.0f kept lines/s\n", passSeconds,
                recordCount / passSeconds, kept / passSeconds);
    std::printf("  bare open/append/close: %.3f s, %.0f lines/s\n", bareSeconds, kept / bareSeconds);
    std::printf("  pass time / bare time:  %.2f\n", passSeconds / bareSeconds);
    return 0;
}
