// What only Windows can settle, run from the test kit on a Windows machine: the real event log read
// back through the real probe, refused connections to real hosts, the management service's figures
// against the system's own, the installed package's permissions, links as result files, DLLs planted
// beside the programs, NTFS under the writer's shortcut, and the launcher on a desktop that a user
// sees. Under Wine every row skips with a reason that begins "needs Windows"; without elevation or a
// desktop a row says what it needs.
#include <gtest/gtest.h>
#include "Socket.h"
#include <windows.h>
// After windows.h, which they need.
#include <aclapi.h>
#include <commctrl.h>
#include <msi.h>
#include <msiquery.h>
#include <oleauto.h>
#include <sddl.h>
#include <winioctl.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <string>
#include <vector>

#include "Com.h"
#include "ProgramRun.h"
#include "ResultFileCalls.h"
#include "ResultFileWriter.h"
#include "Scratch.h"
#include "UniqueHandle.h"
#include "Wine.h"
#include "launcher/tests/win32/Polling.h"
#include "launcher/tests/win32/Processes.h"
#include "launcher/tests/win32/TextFiles.h"
#include "launcher/tests/win32/TopWindows.h"
#include "siftwell/tests/win32/EventSources.h"

namespace zandrel::testing {
namespace {

using namespace std::chrono_literals;

const std::string kSiftwell = BuildPathToWindows(ZANDREL_SIFTWELL_EXE);
const std::string kGaugewell = BuildPathToWindows(ZANDREL_GAUGEWELL_EXE);
const std::string kLauncher = BuildPathToWindows(ZANDREL_LAUNCHER_EXE);
const std::string kServer = BuildPathToWindows(ZANDREL_SERVER_EXE);
const std::string kMsi = BuildPathToWindows(ZANDREL_MSI);
const std::string kMessagesDll = BuildPathToWindows(SIFTWELL_TEST_MESSAGES_DLL);
const std::string kPlantedMpr = BuildPathToWindows(SIFTWELL_PLANTED_MPR_DLL);
const std::string kPlantedNetmsg = BuildPathToWindows(ZANDREL_PLANTED_NETMSG_DLL);
const std::string kPlantedWbemcomn = BuildPathToWindows(ZANDREL_PLANTED_WBEMCOMN_DLL);
const std::string kAbnormalEndProbe = BuildPathToWindows(ZANDREL_ABNORMALENDPROBE_EXE);

constexpr char kSource[] = "ZandrelKitTest";

bool Elevated() {
    UniqueKernelHandle token;
    TOKEN_ELEVATION elevation{};
    DWORD size = 0;
    return OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.put()) &&
           GetTokenInformation(token.get(), TokenElevation, &elevation, sizeof elevation, &size) &&
           elevation.TokenIsElevated != 0;
}

// A desktop that a user sees: the interactive window station, and this thread's desktop the input one.
bool InteractiveDesktop() {
    USEROBJECTFLAGS flags{};
    DWORD size = 0;
    if (!GetUserObjectInformationA(GetProcessWindowStation(), UOI_FLAGS, &flags, sizeof flags, &size) ||
        (flags.dwFlags & WSF_VISIBLE) == 0) {
        return false;
    }
    const HDESK input = OpenInputDesktop(0, FALSE, DESKTOP_READOBJECTS);
    if (input == nullptr) {
        return false;
    }
    char inputName[256] = {};
    char ownName[256] = {};
    const bool same = GetUserObjectInformationA(input, UOI_NAME, inputName, sizeof inputName, &size) &&
                      GetUserObjectInformationA(GetThreadDesktop(GetCurrentThreadId()), UOI_NAME, ownName,
                                                sizeof ownName, &size) &&
                      lstrcmpiA(inputName, ownName) == 0;
    CloseDesktop(input);
    return same;
}

// Why the row cannot run here: empty when it can. `underWine` says what Wine lacks for it.
std::string Unmet(const char* underWine, bool needsAdministrator = false, bool needsDesktop = false) {
    if (RunningUnderWine()) {
        return std::string("needs Windows: ") + underWine;
    }
    if (needsAdministrator && !Elevated()) {
        return "needs an administrator: run run-tests.cmd from an elevated prompt";
    }
    if (needsDesktop && !InteractiveDesktop()) {
        return "needs an interactive desktop: run from a console or Remote Desktop session";
    }
    return {};
}

#define ZANDREL_SKIP_UNLESS(...)                                  \
    if (const std::string why = Unmet(__VA_ARGS__); !why.empty()) \
    GTEST_SKIP() << why

std::string SystemFolder() {
    char folder[MAX_PATH] = {};
    const UINT length = GetSystemDirectoryA(folder, MAX_PATH);
    return std::string(folder, length < MAX_PATH ? length : 0);
}

// The drive that Windows is on, as the probes take it ("C").
std::string SystemDriveLetter() {
    return SystemFolder().substr(0, 1);
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t from = 0;
    for (std::size_t end; (end = text.find("\r\n", from)) != std::string::npos; from = end + 2) {
        lines.push_back(text.substr(from, end - from));
    }
    return lines;
}

std::string ReplaceCrLf(std::string text) {
    for (std::size_t at; (at = text.find("\r\n")) != std::string::npos;) {
        text.replace(at, 2, " ");
    }
    return text;
}

// The system's text for a network error as Microsoft documents its lookup: netmsg.dll's table first
// for 2100 to 2999, then the system's.
std::string NetworkErrorText(DWORD error) {
    DWORD flags = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
    UniqueModule netmsg;
    if (error >= 2100 && error <= 2999) {
        netmsg.reset(
            LoadLibraryExA((SystemFolder() + "\\netmsg.dll").c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
        if (netmsg) {
            flags |= FORMAT_MESSAGE_FROM_HMODULE;
        }
    }
    char text[256];
    const DWORD length = FormatMessageA(flags, netmsg.get(), error, 0, text, sizeof text, nullptr);
    return std::string(text, length);
}

// The program at `path` started in its own folder and waited for.
ProgramRun RunInPlace(const std::string& path, const std::string& resultFile, DWORD timeoutMs = 120000) {
    const std::string folder = path.substr(0, path.find_last_of('\\'));
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    std::string commandLine = "\"" + path + "\"";
    ProgramRun run;
    if (!CreateProcessA(path.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(),
                        &startup, &info)) {
        ADD_FAILURE() << "cannot start " << path << ": error " << GetLastError();
        return run;
    }
    const UniqueKernelHandle process(info.hProcess);
    const UniqueKernelHandle thread(info.hThread);
    if (WaitForSingleObject(process.get(), timeoutMs) != WAIT_OBJECT_0) {
        run.timedOut = true;
        TerminateProcess(process.get(), 255);
        WaitForSingleObject(process.get(), 5000);
    }
    GetExitCodeProcess(process.get(), &run.exitCode);
    std::ifstream in(folder + "\\" + resultFile, std::ios::binary);
    if (in) {
        run.resultFile = std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    return run;
}

// ---------------------------------------------------------------------------------------------------
// The real event log: a source registered with the tests' message file, one record of each type
// written with ReportEventA, read back through the real Siftwell.exe.

// A character of this system's ANSI code page beyond ASCII, as its bytes; empty where it has none.
std::string CodePageCharacter() {
    for (const wchar_t* candidate :
         {L"\u00E9", L"\u00FC", L"\u0436", L"\u03A9", L"\u30A2", L"\u4E2D", L"\uAC00"}) {
        char bytes[8] = {};
        BOOL lossy = FALSE;
        const int length = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, candidate, 1, bytes,
                                               sizeof bytes, nullptr, &lossy);
        wchar_t back[4] = {};
        if (length > 0 && !lossy &&
            MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, bytes, length, back, 4) == 1 &&
            back[0] == candidate[0]) {
            return std::string(bytes, static_cast<std::size_t>(length));
        }
    }
    return {};
}

// The date and time as the probe shows them, from VarBstrFromDate in the user's settings.
std::string TimeText(DWORD secondsSince1970) {
    ULARGE_INTEGER ticks{};
    ticks.QuadPart = (secondsSince1970 + 11644473600ULL) * 10000000ULL;
    const FILETIME stamp{ticks.LowPart, ticks.HighPart};
    SYSTEMTIME time{};
    DATE date = 0;
    UniqueBstr text;
    if (!FileTimeToSystemTime(&stamp, &time) || !SystemTimeToVariantTime(&time, &date) ||
        VarBstrFromDate(date, LOCALE_USER_DEFAULT, 0, text.put()) != S_OK) {
        return "(no date text)";
    }
    char ansi[256] = {};
    const int length = WideCharToMultiByte(CP_ACP, 0, text.get(), -1, ansi, sizeof ansi, nullptr, nullptr);
    return std::string(ansi, length > 0 ? static_cast<std::size_t>(length - 1) : 0);
}

// The source's key, deleted again at the end of the row.
struct RegisteredSource {
    ~RegisteredSource() {
        RegDeleteKeyA(HKEY_LOCAL_MACHINE,
                      (std::string(siftwell::testing::kEventLogKey) + "Application\\" + kSource).c_str());
    }
};

struct EventSourceHandle {
    HANDLE handle = RegisterEventSourceA(nullptr, kSource);
    ~EventSourceHandle() {
        if (handle != nullptr) {
            DeregisterEventSource(handle);
        }
    }
};

struct EventLogHandle {
    HANDLE handle = OpenEventLogA(nullptr, "Application");
    ~EventLogHandle() {
        if (handle != nullptr) {
            CloseEventLog(handle);
        }
    }
};

// TimeGenerated of this run's records (those whose strings hold `nonce`), by event type, read from
// the newest back.
std::vector<std::pair<WORD, DWORD>> RecordTimes(const std::string& nonce) {
    std::vector<std::pair<WORD, DWORD>> times;
    const EventLogHandle log;
    std::vector<char> buffer(0x10000);
    DWORD read = 0;
    DWORD needed = 0;
    for (int batches = 0; log.handle != nullptr && batches < 64; ++batches) {
        if (!ReadEventLogA(log.handle, EVENTLOG_SEQUENTIAL_READ | EVENTLOG_BACKWARDS_READ, 0, buffer.data(),
                           static_cast<DWORD>(buffer.size()), &read, &needed)) {
            if (GetLastError() == ERROR_INSUFFICIENT_BUFFER && needed > buffer.size()) {
                buffer.resize(needed);
                continue;
            }
            break;
        }
        for (DWORD at = 0; at + sizeof(EVENTLOGRECORD) <= read;) {
            const auto* record = reinterpret_cast<const EVENTLOGRECORD*>(buffer.data() + at);
            const char* bytes = buffer.data() + at;
            const std::string source(bytes + sizeof(EVENTLOGRECORD));
            const std::string strings(bytes + record->StringOffset,
                                      record->DataOffset - record->StringOffset);
            if (source == kSource && strings.find(nonce) != std::string::npos) {
                times.emplace_back(record->EventType, record->TimeGenerated);
            }
            at += record->Length == 0 ? read : record->Length;
        }
    }
    return times;
}

TEST(WindowsEventLog, RecordsOfEveryTypeComeBackThroughTheProbeByteForByte) {
    ZANDREL_SKIP_UNLESS("Wine's event log keeps no records written with ReportEventA", true);
    const RegisteredSource cleanup;
    ASSERT_NO_FATAL_FAILURE(siftwell::testing::RegisterSource("Application", kSource, kMessagesDll));
    const std::string nonce =
        "kit" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(GetTickCount64());
    const std::string local = CodePageCharacter();
    RecordProperty("code_page", std::to_string(GetACP()));

    // Messages 7 ("The disk %1 has a bad block at %2.") and 13 ("Two lines:" CR LF "second line with
    // %1.") of the tests' message file as the system formats them, each ending with CR LF; the probe
    // turns every CR LF into a blank, those of the insertion strings too.
    const struct {
        WORD type;
        const char* level;
        DWORD id;
        std::vector<std::string> strings;
        std::string message;
    } kRows[] = {
        {EVENTLOG_ERROR_TYPE,
         "Error",
         7,
         {nonce + "\tE", "two\r\nlines" + local},
         "The disk " + nonce + "\tE has a bad block at two\r\nlines" + local + ".\r\n"},
        {EVENTLOG_WARNING_TYPE,
         "Warning",
         13,
         {nonce + " W\r\n" + local},
         "Two lines:\r\nsecond line with " + nonce + " W\r\n" + local + ".\r\n"},
        {EVENTLOG_INFORMATION_TYPE,
         "Information",
         7,
         {nonce + local, "\t"},
         "The disk " + nonce + local + " has a bad block at \t.\r\n"},
        {EVENTLOG_SUCCESS,
         "Success",
         13,
         {nonce + "\r\n\r\n"},
         "Two lines:\r\nsecond line with " + nonce + "\r\n\r\n.\r\n"},
        {EVENTLOG_AUDIT_SUCCESS,
         "Audit Success",
         7,
         {nonce + " AS", local + "\r\n"},
         "The disk " + nonce + " AS has a bad block at " + local + "\r\n.\r\n"},
        {EVENTLOG_AUDIT_FAILURE,
         "Audit Failure",
         13,
         {nonce + " AF\t"},
         "Two lines:\r\nsecond line with " + nonce + " AF\t.\r\n"},
    };
    {
        const EventSourceHandle source;
        ASSERT_NE(source.handle, nullptr) << "RegisterEventSourceA: error " << GetLastError();
        for (const auto& row : kRows) {
            std::vector<const char*> strings;
            for (const std::string& text : row.strings) {
                strings.push_back(text.c_str());
            }
            ASSERT_TRUE(ReportEventA(source.handle, row.type, 0, row.id, nullptr,
                                     static_cast<WORD>(strings.size()), 0, strings.data(), nullptr))
                << row.level << ": ReportEventA error " << GetLastError();
        }
    }
    const std::vector<std::pair<WORD, DWORD>> times = RecordTimes(nonce);
    ASSERT_EQ(times.size(), std::size(kRows)) << "this run's records read back from the Application log";

    for (const auto& row : kRows) {
        SCOPED_TRACE(row.level);
        DWORD generated = 0;
        for (const auto& [type, time] : times) {
            generated = type == row.type ? time : generated;
        }
        ScratchDir dir;
        dir.Write("event.conf", std::string("[event.conf]\r\nServer=\r\nLogType=Application\r\nErrorLevel=") +
                                    row.level + "\r\nTimeZone=0\r\nOverwriteLog=True\r\n");
        const ProgramRun run = RunProgram(dir, kSiftwell, "event.log", 600000);
        EXPECT_FALSE(run.timedOut);
        EXPECT_EQ(run.exitCode, 0u);
        ASSERT_TRUE(run.resultFile.has_value());
        std::vector<std::string> ours;
        for (const std::string& line : Lines(*run.resultFile)) {
            if (line.find(nonce) != std::string::npos) {
                ours.push_back(line);
            }
        }
        const std::string expected = std::string(row.level) + " event on (LOCALHOST) at " +
                                     TimeText(generated) + " (GMT) - Source: \"" + kSource +
                                     "\".  Event: " + ReplaceCrLf(row.message);
        EXPECT_EQ(ours, std::vector<std::string>{expected});
    }
}

// ---------------------------------------------------------------------------------------------------
// The real remote path: refused connections with the system's own error numbers and texts.

TEST(WindowsRemote, RefusedConnectionsWriteTheRealErrorLinesAndEndAtOnce) {
    ZANDREL_SKIP_UNLESS("Wine refuses every connection with its own error 1222");
    const struct {
        const char* server;
        std::vector<DWORD> errors;  // what Microsoft documents for the refusal
    } kRows[] = {
        // A wrong password for an account of this machine's own server: a logon failure.
        // A connection to it that this logon session already holds with other credentials is a conflict.
        {"127.0.0.1",
         {ERROR_LOGON_FAILURE, ERROR_INVALID_PASSWORD, ERROR_ACCOUNT_RESTRICTION,
          ERROR_SESSION_CREDENTIAL_CONFLICT}},
        // .invalid never resolves (RFC 2606).
        {"zandrel-kit-no-such-host.invalid",
         {ERROR_BAD_NETPATH, ERROR_BAD_NET_NAME, ERROR_NO_NET_OR_BAD_PATH}},
    };
    for (const auto& row : kRows) {
        SCOPED_TRACE(row.server);
        ScratchDir dir;
        dir.Write("event.conf", std::string("[event.conf]\r\nServer=") + row.server +
                                    "\r\nUsername=zandrel-kit-nobody\r\nPassword=not-the-password\r\n"
                                    "LogType=System\r\nErrorLevel=Error\r\n");
        const auto started = std::chrono::steady_clock::now();
        const ProgramRun run = RunProgram(dir, kSiftwell, "event.log", 120000);
        const auto seconds =
            std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - started);
        RecordProperty(std::string("seconds_") + row.server, std::to_string(seconds.count()));
        EXPECT_FALSE(run.timedOut);
        EXPECT_EQ(run.exitCode, 0u);
        // No event log is read after a refusal: the run ends within the connection attempt's time.
        EXPECT_LT(seconds, 60s);
        ASSERT_TRUE(run.resultFile.has_value());
        const std::string head = std::string("SIFTWELL ERROR: Could not connect to ") + row.server +
                                 " using username: \"zandrel-kit-nobody\".  Exiting.\r\n\tERROR: ";
        ASSERT_EQ(run.resultFile->substr(0, head.size()), head) << *run.resultFile;
        const DWORD error = std::strtoul(run.resultFile->c_str() + head.size(), nullptr, 10);
        RecordProperty(std::string("error_") + row.server, std::to_string(error));
        std::printf("%s refused with error %lu after %lld s\n", row.server, error,
                    static_cast<long long>(seconds.count()));
        EXPECT_NE(std::find(row.errors.begin(), row.errors.end(), error), row.errors.end())
            << "error " << error;
        const std::string text = NetworkErrorText(error);
        EXPECT_FALSE(text.empty()) << "the system has no text for " << error;
        // The system's text keeps its own CR LF: an empty line follows. No "OK.", no password note.
        EXPECT_EQ(*run.resultFile, head + std::to_string(error) + " - " + text + "\r\n");
    }
}

// ---------------------------------------------------------------------------------------------------
// The real management service: Gaugewell's figures against the system's own calls around the run.

struct Figures {
    ULONGLONG availablePhysical = 0;
    ULONGLONG totalPhysical = 0;
    ULONGLONG freeDisk = 0;
    ULONGLONG sizeDisk = 0;
};

Figures TakeFigures(const std::string& root) {
    Figures figures;
    MEMORYSTATUSEX memory{};
    memory.dwLength = sizeof memory;
    EXPECT_TRUE(GlobalMemoryStatusEx(&memory));
    figures.availablePhysical = memory.ullAvailPhys;
    figures.totalPhysical = memory.ullTotalPhys;
    ULARGE_INTEGER available{}, total{}, free{};
    EXPECT_TRUE(GetDiskFreeSpaceExA(root.c_str(), &available, &total, &free));
    figures.freeDisk = free.QuadPart;
    figures.sizeDisk = total.QuadPart;
    return figures;
}

ULONGLONG Digits(const std::string& text) {
    ULONGLONG value = 0;
    for (const char c : text) {
        if (c >= '0' && c <= '9') {
            value = value * 10 + static_cast<ULONGLONG>(c - '0');
        }
    }
    return value;
}

// Checks a Gaugewell.log of one run on this computer against the figures taken before and after it.
void ExpectFiguresAgree(const std::string& result, const std::string& drive, const Figures& before,
                        const Figures& after) {
    const std::vector<std::string> lines = Lines(result);
    ASSERT_EQ(lines.size(), 4u) << result;
    EXPECT_TRUE(std::regex_match(lines[0], std::regex("CPU Utilization= \\d{1,3}%"))) << lines[0];
    EXPECT_EQ(lines[3], "Zandrel data capture completed");

    // Free Memory=<number, the locale's separators but commas> <unit> (<P>% Free)
    std::smatch memory;
    ASSERT_TRUE(std::regex_match(lines[1], memory,
                                 std::regex("Free Memory=([^ ]*) (Bytes|KB|MB|GB|) \\((\\d+)% Free\\)")))
        << lines[1];
    const std::string unit = memory[2];
    const double divisor = unit == "GB"   ? 1073741824.0
                           : unit == "MB" ? 1048576.0
                           : unit == "KB" ? 1024.0
                                          : 1.0;
    const double shown = static_cast<double>(Digits(memory[1])) * divisor;
    const double low = static_cast<double>(std::min(before.availablePhysical, after.availablePhysical));
    const double high = static_cast<double>(std::max(before.availablePhysical, after.availablePhysical));
    // The service counts in kilobytes and rounds down; other processes take and give memory meanwhile.
    const double slack = std::max(static_cast<double>(before.totalPhysical) * 0.05, 256.0 * 1048576.0);
    using ::testing::Test;
    Test::RecordProperty("free_memory_shown_mb", std::to_string(static_cast<long long>(shown / 1048576.0)));
    Test::RecordProperty("free_memory_system_mb", std::to_string(static_cast<long long>(low / 1048576.0)));
    EXPECT_GE(shown + divisor, low - slack) << lines[1];
    EXPECT_LE(shown, high + slack) << lines[1];
    const double percent = low * 100.0 / static_cast<double>(before.totalPhysical);
    EXPECT_NEAR(static_cast<double>(Digits(memory[3])), percent, 6.0) << lines[1];

    std::smatch disk;
    ASSERT_TRUE(std::regex_match(
        lines[2], disk, std::regex("Free Space on Drive " + drive + ":=(\\d+) MB \\((\\d+)% Free\\)")))
        << lines[2];
    const double shownMb = static_cast<double>(Digits(disk[1]));
    const double lowMb = static_cast<double>(std::min(before.freeDisk, after.freeDisk)) / 1048576.0;
    const double highMb = static_cast<double>(std::max(before.freeDisk, after.freeDisk)) / 1048576.0;
    Test::RecordProperty("free_disk_shown_mb", std::to_string(static_cast<long long>(shownMb)));
    Test::RecordProperty("free_disk_system_mb", std::to_string(static_cast<long long>(lowMb)));
    EXPECT_GE(shownMb, lowMb - 256.0) << lines[2];
    EXPECT_LE(shownMb, highMb + 256.0) << lines[2];
    const double diskPercent = lowMb * 1048576.0 * 100.0 / static_cast<double>(before.sizeDisk);
    EXPECT_NEAR(static_cast<double>(Digits(disk[2])), diskPercent, 1.5) << lines[2];
}

TEST(WindowsManagementService, FiguresAgreeWithTheSystemsOwnCalls) {
    ZANDREL_SKIP_UNLESS("Wine's management service has figures of its own making");
    const std::string drive = SystemDriveLetter();
    ScratchDir dir;
    dir.Write("memory.conf", "[memory.conf]\r\nDisk=" + drive + "\r\n");
    const Figures before = TakeFigures(drive + ":\\");
    const ProgramRun run = RunProgram(dir, kGaugewell, "Gaugewell.log", 300000);
    const Figures after = TakeFigures(drive + ":\\");
    EXPECT_FALSE(run.timedOut);
    EXPECT_EQ(run.exitCode, 0u);
    ASSERT_TRUE(run.resultFile.has_value());
    ExpectFiguresAgree(*run.resultFile, drive, before, after);
}

// ---------------------------------------------------------------------------------------------------
// The installed package: the MSI into a fresh folder, the permissions Windows gave it.

std::string DaclText(PSECURITY_DESCRIPTOR descriptor) {
    LPSTR text = nullptr;
    if (!ConvertSecurityDescriptorToStringSecurityDescriptorA(descriptor, SDDL_REVISION_1,
                                                              DACL_SECURITY_INFORMATION, &text, nullptr)) {
        return "(no SDDL: error " + std::to_string(GetLastError()) + ")";
    }
    const UniqueLocal owned(text);
    return text;
}

// The DACL of a file or folder as SDDL.
std::string DaclOf(const std::string& path) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    const DWORD error = GetNamedSecurityInfoA(path.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION,
                                              nullptr, nullptr, nullptr, nullptr, &descriptor);
    if (error != ERROR_SUCCESS) {
        return "(error " + std::to_string(error) + ")";
    }
    const UniqueLocal owned(descriptor);
    return DaclText(descriptor);
}

// A documented row in the form that Windows writes it back (aliases, the order of flags).
std::string Normalised(const std::string& sddl) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl.c_str(), SDDL_REVISION_1, &descriptor,
                                                              nullptr)) {
        return "(bad SDDL " + sddl + ")";
    }
    const UniqueLocal owned(descriptor);
    return DaclText(descriptor);
}

std::string TokenUserSid() {
    UniqueKernelHandle token;
    char buffer[256] = {};
    DWORD size = 0;
    LPSTR text = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.put()) ||
        !GetTokenInformation(token.get(), TokenUser, buffer, sizeof buffer, &size) ||
        !ConvertSidToStringSidA(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, &text)) {
        return "(no user SID)";
    }
    const UniqueLocal owned(text);
    return text;
}

std::string ProductCodeOf(const std::string& package) {
    MSIHANDLE database = 0;
    MSIHANDLE view = 0;
    MSIHANDLE record = 0;
    char code[64] = {};
    DWORD size = sizeof code;
    if (MsiOpenDatabaseA(package.c_str(), MSIDBOPEN_READONLY, &database) == ERROR_SUCCESS &&
        MsiDatabaseOpenViewA(database, "SELECT `Value` FROM `Property` WHERE `Property`='ProductCode'",
                             &view) == ERROR_SUCCESS &&
        MsiViewExecute(view, 0) == ERROR_SUCCESS && MsiViewFetch(view, &record) == ERROR_SUCCESS) {
        MsiRecordGetStringA(record, 1, code, &size);
    }
    for (const MSIHANDLE handle : {record, view, database}) {
        if (handle != 0) {
            MsiCloseHandle(handle);
        }
    }
    return code;
}

// msiexec with `arguments`, waited for; its exit status.
DWORD Msiexec(const std::string& arguments) {
    const std::string program = SystemFolder() + "\\msiexec.exe";
    std::string commandLine = "\"" + program + "\" " + arguments;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!CreateProcessA(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &info)) {
        return GetLastError();
    }
    const UniqueKernelHandle process(info.hProcess);
    const UniqueKernelHandle thread(info.hThread);
    WaitForSingleObject(process.get(), 600000);
    DWORD status = 0;
    GetExitCodeProcess(process.get(), &status);
    return status;
}

// The package taken off again at the end of the row, however it ends.
struct Installed {
    std::string package;
    std::string log;
    ~Installed() { Msiexec("/x \"" + package + "\" /qn /norestart /l*v \"" + log + "\""); }
};

TEST(WindowsPackage, InstalledFolderAndFilesCarryTheDocumentedPermissions) {
    ZANDREL_SKIP_UNLESS("Wine's installer applies no permissions", true);
    const std::string productCode = ProductCodeOf(kMsi);
    ASSERT_FALSE(productCode.empty()) << "no ProductCode in " << kMsi;
    if (MsiQueryProductStateA(productCode.c_str()) == INSTALLSTATE_DEFAULT) {
        GTEST_SKIP() << "needs a machine without Zandrel installed: this one has " << productCode;
    }
    ScratchDir dir;
    const std::string folder = dir.PathOf("Installed");
    const std::string log = dir.PathOf("install.log");
    const DWORD status =
        Msiexec("/i \"" + kMsi + "\" /qn /norestart INSTALLDIR=\"" + folder + "\" /l*v \"" + log + "\"");
    const Installed installed{kMsi, dir.PathOf("uninstall.log")};
    ASSERT_TRUE(status == ERROR_SUCCESS || status == ERROR_SUCCESS_REBOOT_REQUIRED)
        << "msiexec /i: " << status << "; log " << log;

    // The rows of the package (packaging/Zandrel.wxs.in, the README's permission table).
    const std::string program = "D:PAI(A;;FA;;;SY)(A;;FA;;;BA)(A;;0x1200a9;;;BU)";
    const std::string settings = "D:PAI(A;;FA;;;SY)(A;;FA;;;BA)";
    const struct {
        const char* name;
        std::string dacl;
    } kRows[] = {
        {"", "D:PAI(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;;0x1200a9;;;BU)(A;OICIIO;FA;;;CO)"},
        {"Siftwell.exe", program},
        {"Gaugewell.exe", program},
        {"Zandrel.exe", program},
        {"event.conf", settings},
        {"memory.conf", settings},
        {"THIRD-PARTY-NOTICES.txt", "D:PAI(A;;FA;;;SY)(A;;FA;;;BA)(A;;FR;;;BU)"},
    };
    for (const auto& row : kRows) {
        const std::string path = *row.name == '\0' ? folder : folder + "\\" + row.name;
        const std::string actual = DaclOf(path);
        RecordProperty(std::string("dacl_") + (*row.name == '\0' ? "folder" : row.name), actual);
        EXPECT_EQ(actual, Normalised(row.dacl)) << path;
    }

    // A result file that the probe creates there is private to its creator, SYSTEM and Administrators,
    // whatever the folder passes on.
    const ProgramRun run = RunInPlace(folder + "\\Gaugewell.exe", "Gaugewell.log", 300000);
    EXPECT_FALSE(run.timedOut);
    ASSERT_TRUE(run.resultFile.has_value()) << "no Gaugewell.log in " << folder;
    const std::string resultDacl = DaclOf(folder + "\\Gaugewell.log");
    RecordProperty("dacl_Gaugewell.log", resultDacl);
    // Protected and with these three entries; whether Windows marks it auto-inherited (AI) as well is
    // its own affair for a descriptor given at creation.
    const auto withoutAutoInherited = [](std::string sddl) {
        return sddl.rfind("D:PAI", 0) == 0 ? "D:P" + sddl.substr(5) : sddl;
    };
    EXPECT_EQ(
        withoutAutoInherited(resultDacl),
        withoutAutoInherited(Normalised("D:P(A;;FA;;;SY)(A;;FA;;;BA)(A;;FA;;;" + TokenUserSid() + ")")));
    DeleteFileA((folder + "\\Gaugewell.log").c_str());
}

// ---------------------------------------------------------------------------------------------------
// Links as result files: a symbolic link, a hard link and a junction to a folder, each refused.

// Makes `link` (which must not exist) a junction to the folder `target` (a full path).
bool MakeJunction(const std::string& link, const std::string& target) {
    if (!CreateDirectoryA(link.c_str(), nullptr)) {
        return false;
    }
    const UniqueFile handle(CreateFileA(link.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                        FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!handle) {
        return false;
    }
    wchar_t wide[MAX_PATH] = {};
    const int length = MultiByteToWideChar(CP_ACP, 0, target.c_str(), -1, wide, MAX_PATH);
    if (length <= 1) {
        return false;
    }
    const std::wstring substitute = L"\\??\\" + std::wstring(wide);
    const std::wstring print(wide);
    // REPARSE_DATA_BUFFER's mount-point form (ntifs.h, which MinGW's headers leave out).
    struct MountPoint {
        DWORD tag;
        WORD dataLength;
        WORD reserved;
        WORD substituteOffset;
        WORD substituteLength;
        WORD printOffset;
        WORD printLength;
        wchar_t paths[2 * MAX_PATH + 8];
    } buffer{};
    buffer.tag = IO_REPARSE_TAG_MOUNT_POINT;
    buffer.substituteOffset = 0;
    buffer.substituteLength = static_cast<WORD>(substitute.size() * sizeof(wchar_t));
    buffer.printOffset = static_cast<WORD>(buffer.substituteLength + sizeof(wchar_t));
    buffer.printLength = static_cast<WORD>(print.size() * sizeof(wchar_t));
    std::copy(substitute.begin(), substitute.end(), buffer.paths);
    std::copy(print.begin(), print.end(), buffer.paths + substitute.size() + 1);
    buffer.dataLength =
        static_cast<WORD>(4 * sizeof(WORD) + buffer.printOffset + buffer.printLength + sizeof(wchar_t));
    DWORD returned = 0;
    return DeviceIoControl(handle.get(), FSCTL_SET_REPARSE_POINT, &buffer, 8 + buffer.dataLength, nullptr, 0,
                           &returned, nullptr) != FALSE;
}

TEST(WindowsLinks, LinkedResultFilesAreRefusedAndWhatTheyLeadToIsKept) {
    ZANDREL_SKIP_UNLESS("Wine makes no symbolic links, hard links or junctions of Windows' kind", true);
    constexpr char kOthers[] = "someone else's\r\n";
    enum class Kind { Symbolic, Hard, Junction };
    const struct {
        const char* program;
        const char* resultFile;
        const char* settingsFile;
        const char* settings;
        unsigned long exitCode;
    } kProbes[] = {
        {"Siftwell", "event.log", "event.conf", "[event.conf]\r\nLogType=System\r\nErrorLevel=Error\r\n", 3},
        {"Siftwell", "event.log", "event.conf",
         "[event.conf]\r\nLogType=System\r\nErrorLevel=Error\r\nOverwriteLog=True\r\n", 4},
        {"Gaugewell", "Gaugewell.log", "memory.conf", "[memory.conf]\r\nDisk=C\r\n", 3},
    };
    for (const Kind kind : {Kind::Symbolic, Kind::Hard, Kind::Junction}) {
        for (const auto& probe : kProbes) {
            SCOPED_TRACE(std::string(probe.settings) + " link kind " +
                         std::to_string(static_cast<int>(kind)));
            ScratchDir dir;
            dir.Write(probe.settingsFile, probe.settings);
            CreateDirectoryA(dir.PathOf("elsewhere").c_str(), nullptr);
            dir.Write("elsewhere\\other.txt", kOthers);
            const std::string link = dir.PathOf(probe.resultFile);
            const std::string target =
                dir.PathOf(kind == Kind::Junction ? "elsewhere" : "elsewhere\\other.txt");
            bool made = false;
            if (kind == Kind::Symbolic) {
                made = CreateSymbolicLinkA(link.c_str(), target.c_str(),
                                           SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE);
            } else if (kind == Kind::Hard) {
                made = CreateHardLinkA(link.c_str(), target.c_str(), nullptr);
            } else {
                made = MakeJunction(link, target);
            }
            ASSERT_TRUE(made) << "cannot make the link: error " << GetLastError();
            const ProgramRun run = RunProgram(
                dir, probe.program == std::string("Siftwell") ? kSiftwell : kGaugewell, "unused.log");
            EXPECT_FALSE(run.timedOut);
            EXPECT_EQ(run.exitCode, probe.exitCode);
            EXPECT_EQ(dir.Read("elsewhere\\other.txt"), kOthers);
            std::error_code ignored;
            EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.PathOf("elsewhere"), ignored),
                                    std::filesystem::directory_iterator()),
                      1)
                << "a file appeared in the folder the link leads to";
            if (kind == Kind::Junction) {
                RemoveDirectoryA(link.c_str());  // the junction alone, before the scratch folder goes
            }
        }
    }
}

// ---------------------------------------------------------------------------------------------------
// Planted DLLs: MPR.dll and netmsg.dll beside Siftwell, wbemcomn.dll (which the management service's
// in-process COM servers load) beside Gaugewell. None is loaded, and both probes still work.
//
// netmsg.dll is loaded as a data file (no code of it runs) and only for errors 2100 to 2999: a planted
// copy taken there would show as a missing or wrong text, which the line check below sees.

TEST(WindowsPlantedDlls, NoneIsLoadedAndTheProbesStillWork) {
    ZANDREL_SKIP_UNLESS("Wine takes its own copies of these DLLs whatever lies beside a program");
    {
        ScratchDir dir;
        ASSERT_TRUE(CopyFileA(kPlantedMpr.c_str(), dir.PathOf("MPR.dll").c_str(), FALSE));
        ASSERT_TRUE(CopyFileA(kPlantedNetmsg.c_str(), dir.PathOf("netmsg.dll").c_str(), FALSE));
        dir.Write(
            "event.conf",
            "[event.conf]\r\nServer=127.0.0.1\r\nUsername=zandrel-kit-nobody\r\nPassword=not-the-password\r\n"
            "LogType=System\r\nErrorLevel=Error\r\n");
        const ProgramRun run = RunProgram(dir, kSiftwell, "event.log", 120000);
        EXPECT_FALSE(dir.Exists("planted-dll-ran")) << "the planted MPR.dll was loaded";
        EXPECT_FALSE(dir.Exists("planted-netmsg.dll-ran")) << "the planted netmsg.dll was loaded";
        EXPECT_EQ(run.exitCode, 0u);
        ASSERT_TRUE(run.resultFile.has_value());
        // The planted MPR would have answered success: the system's refused.
        const std::string head =
            "SIFTWELL ERROR: Could not connect to 127.0.0.1 using username: "
            "\"zandrel-kit-nobody\".  Exiting.\r\n\tERROR: ";
        ASSERT_EQ(run.resultFile->substr(0, head.size()), head);
        const DWORD error = std::strtoul(run.resultFile->c_str() + head.size(), nullptr, 10);
        EXPECT_EQ(*run.resultFile, head + std::to_string(error) + " - " + NetworkErrorText(error) + "\r\n");
    }
    {
        ScratchDir dir;
        ASSERT_TRUE(CopyFileA(kPlantedWbemcomn.c_str(), dir.PathOf("wbemcomn.dll").c_str(), FALSE));
        const std::string drive = SystemDriveLetter();
        dir.Write("memory.conf", "[memory.conf]\r\nDisk=" + drive + "\r\n");
        const Figures before = TakeFigures(drive + ":\\");
        const ProgramRun run = RunProgram(dir, kGaugewell, "Gaugewell.log", 300000);
        const Figures after = TakeFigures(drive + ":\\");
        EXPECT_FALSE(dir.Exists("planted-wbemcomn.dll-ran")) << "the planted wbemcomn.dll was loaded";
        EXPECT_EQ(run.exitCode, 0u);
        ASSERT_TRUE(run.resultFile.has_value());
        ExpectFiguresAgree(*run.resultFile, drive, before, after);
    }
}

// ---------------------------------------------------------------------------------------------------
// The writer's shortcut on NTFS: a second line appended to a file as the first one left it need not
// ask for the file's final path again, when NTFS's stamps say that nothing touched it in between.

int finalPathCalls = 0;

DWORD WINAPI CountedFinalPath(HANDLE file, LPSTR path, DWORD size, DWORD flags) {
    ++finalPathCalls;
    return GetFinalPathNameByHandleA(file, path, size, flags);
}

TEST(WindowsNtfs, TheWritersShortcutOnASecondLineIsReportedAsAFigure) {
    ZANDREL_SKIP_UNLESS("Wine keeps the file times of the Unix file system beneath it");
    ScratchDir dir;
    char fileSystem[MAX_PATH + 1] = {};
    const std::string root = dir.Path().substr(0, 3);
    if (!GetVolumeInformationA(root.c_str(), nullptr, 0, nullptr, nullptr, nullptr, fileSystem,
                               sizeof fileSystem) ||
        std::string(fileSystem) != "NTFS") {
        GTEST_SKIP() << "needs NTFS: the scratch folder is on " << fileSystem;
    }
    ResultFileCalls calls;
    calls.getFinalPathName = &CountedFinalPath;
    const std::string path = dir.PathOf("Gaugewell.log");
    // One writer for both lines, as a run holds one for its result file.
    ResultFileWriter writer(path, calls);
    finalPathCalls = 0;
    ASSERT_TRUE(writer.Append("first").Ok());
    const int first = finalPathCalls;
    finalPathCalls = 0;
    ASSERT_TRUE(writer.Append("second").Ok());
    const int second = finalPathCalls;
    EXPECT_EQ(dir.Read("Gaugewell.log"), "first\r\nsecond\r\n");
    EXPECT_GT(first, 0) << "the first line of a new file proves its path";
    RecordProperty("final_path_calls_first_line", std::to_string(first));
    RecordProperty("final_path_calls_second_line", std::to_string(second));
    RecordProperty("second_line_skips_the_question", second == 0 ? "yes" : "no");
    std::printf("final-path questions: first line %d, second line %d (0: the shortcut held)\n", first,
                second);
}

// ---------------------------------------------------------------------------------------------------
// The launcher on a desktop that a user sees, with the stand-in server beside it.

constexpr char kFormClass[] = "Zandrel.form1";
constexpr char kServerClass[] = "Zandrel.StandInServer";
constexpr char kMenuClass[] = "#32768";
constexpr UINT kTrayCallback = 517;

// Whether the shell's notification area (the classic toolbar of Windows 10 and Server 2016 to 2022)
// holds an icon of `owner`: 1 yes, 0 no, -1 where the shell has no such toolbar (Windows 11's).
int TrayHoldsIconOf(HWND owner) {
    std::vector<HWND> toolbars;
    if (const HWND tray = FindWindowA("Shell_TrayWnd", nullptr)) {
        const HWND notify = FindWindowExA(tray, nullptr, "TrayNotifyWnd", nullptr);
        const HWND pager = notify ? FindWindowExA(notify, nullptr, "SysPager", nullptr) : nullptr;
        if (const HWND toolbar =
                pager ? FindWindowExA(pager, nullptr, "ToolbarWindow32", nullptr) : nullptr) {
            toolbars.push_back(toolbar);
        }
    }
    if (const HWND overflow = FindWindowA("NotifyIconOverflowWindow", nullptr)) {
        if (const HWND toolbar = FindWindowExA(overflow, nullptr, "ToolbarWindow32", nullptr)) {
            toolbars.push_back(toolbar);
        }
    }
    if (toolbars.empty()) {
        return -1;
    }
    for (const HWND toolbar : toolbars) {
        DWORD explorerId = 0;
        GetWindowThreadProcessId(toolbar, &explorerId);
        const UniqueKernelHandle explorer(
            OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, explorerId));
        if (!explorer) {
            continue;
        }
        void* remote = VirtualAllocEx(explorer.get(), nullptr, sizeof(TBBUTTON), MEM_COMMIT, PAGE_READWRITE);
        const LRESULT count = SendMessageA(toolbar, TB_BUTTONCOUNT, 0, 0);
        bool found = false;
        for (LRESULT i = 0; remote != nullptr && i < count && !found; ++i) {
            TBBUTTON button{};
            HWND iconOwner = nullptr;
            SIZE_T read = 0;
            found = SendMessageA(toolbar, TB_GETBUTTON, static_cast<WPARAM>(i),
                                 reinterpret_cast<LPARAM>(remote)) &&
                    ReadProcessMemory(explorer.get(), remote, &button, sizeof button, &read) &&
                    // The button's data begins with the owner's window (the shell's TRAYDATA).
                    ReadProcessMemory(explorer.get(), reinterpret_cast<void*>(button.dwData), &iconOwner,
                                      sizeof iconOwner, &read) &&
                    iconOwner == owner;
        }
        if (remote != nullptr) {
            VirtualFreeEx(explorer.get(), remote, 0, MEM_RELEASE);
        }
        if (found) {
            return 1;
        }
    }
    return 0;
}

// A crash that nothing handles ends the run by itself: Windows Error Reporting writes its report and
// shows no box (a box would hold the run until someone clicked it, and the bound would pass first).
TEST(WindowsCrash, ACrashEndsTheRunWithNoBoxToClick) {
    ZANDREL_SKIP_UNLESS("Wine hands a crash to its own debugger");
    ScratchDir dir;
    SetEnvironmentVariableA("ZANDREL_END_BY", "crash");
    const ProgramRun run = RunProgram(dir, kAbnormalEndProbe, "none.log", 120000);
    SetEnvironmentVariableA("ZANDREL_END_BY", nullptr);
    EXPECT_FALSE(run.timedOut) << "the crash waited for an answer";
    EXPECT_EQ(run.exitCode, static_cast<unsigned long>(EXCEPTION_ACCESS_VIOLATION));
}

TEST(WindowsDesktop, TheLauncherShowsItsWindowAddsItsIconAndExitEndsTheServer) {
    ZANDREL_SKIP_UNLESS("Wine's desktop and notification area are tried in launcher_e2e_tests", false, true);
    using launcher::FirstTopWindowOf;
    using launcher::WaitForTopWindow;
    using launcher::WaitUntil;
    ScratchDir dir;
    ASSERT_TRUE(CopyFileA(kLauncher.c_str(), dir.PathOf("Zandrel.exe").c_str(), FALSE));
    ASSERT_TRUE(CopyFileA(kServer.c_str(), dir.PathOf("zandrel-server.exe").c_str(), FALSE));
    launcher::StartedProcess started = launcher::StartProgram(dir.PathOf("Zandrel.exe"));
    ASSERT_NE(started.Id(), 0u);

    // The start-up window, shown until the first tick.
    const HWND form = WaitForTopWindow(started.Id(), kFormClass, 15s);
    ASSERT_NE(form, nullptr) << "no start-up window";
    HWND serverWindow = nullptr;
    ASSERT_TRUE(
        WaitUntil([&] { return (serverWindow = FindWindowA(kServerClass, nullptr)) != nullptr; }, 15s));
    DWORD serverId = 0;
    GetWindowThreadProcessId(serverWindow, &serverId);
    launcher::StartedProcess server = launcher::OpenRunningProcess(serverId);

    // The tick hides it and adds the icon.
    ASSERT_TRUE(WaitUntil([&] { return !IsWindowVisible(form); }, 20s)) << "the start-up window stayed";
    int icon = -1;
    WaitUntil([&] { return (icon = TrayHoldsIconOf(form)) != 0; }, 10s);
    RecordProperty("tray_icon_seen", icon == 1   ? "yes"
                                     : icon == 0 ? "no"
                                                 : "not visible to the test on this shell");
    EXPECT_NE(icon, 0) << "no icon of the launcher in the notification area";

    // The menu on the icon's right button, then its second entry, Exit. A menu takes the foreground,
    // which this process, the one a user works in, lets the launcher have.
    AllowSetForegroundWindow(started.Id());
    PostMessageA(form, kTrayCallback, 0, WM_RBUTTONDOWN);
    HWND menu = nullptr;
    ASSERT_TRUE(
        WaitUntil([&] { return (menu = FirstTopWindowOf(started.Id(), kMenuClass, true)) != nullptr; }, 10s))
        << "no menu";
    PostMessageA(menu, WM_KEYDOWN, VK_DOWN, 0);
    PostMessageA(menu, WM_KEYDOWN, VK_DOWN, 0);
    PostMessageA(menu, WM_KEYDOWN, VK_RETURN, 0);
    EXPECT_TRUE(started.WaitForEnd(15000)) << "the launcher did not end on Exit";
    EXPECT_EQ(started.ExitCode(), 0u);
    EXPECT_TRUE(server.WaitForEnd(15000)) << "the server did not end";
    const std::vector<std::string> serverLog =
        launcher::SplitLines(launcher::ReadWholeFile(dir.PathOf("zandrel-server.log")));
    ASSERT_FALSE(serverLog.empty());
    EXPECT_EQ(serverLog.back(), "WM_CLOSE received: ending") << "Exit did not reach the server's window";
    if (icon == 1) {
        EXPECT_EQ(TrayHoldsIconOf(form), 0) << "the icon stayed after Exit";
    }
}

}  // namespace
}  // namespace zandrel::testing
