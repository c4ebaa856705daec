#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "ResultFile.h"
#include "Scratch.h"

#ifdef _WIN32
#include <windows.h>
// After windows.h, which they need.
#include <aclapi.h>
#include <sddl.h>

#include "LinkCheck.h"
#include "ProgramRun.h"
#include "ResultFileCalls.h"
#include "ResultFileWriter.h"
#include "UniqueHandle.h"
#include "Wine.h"
#else
#include <sys/resource.h>
#include <sys/stat.h>

#include <cerrno>
#include <csignal>
#endif

namespace zandrel {
namespace {

TEST(AppendResultLine, CreatesThenAppendsWithCrLf) {
    testing::ScratchDir dir;
    const std::string path = dir.PathOf("event.log");
    ASSERT_TRUE(AppendResultLine(path, "first").Ok());
    ASSERT_TRUE(AppendResultLine(path, "\tsecond\r\n").Ok());
    EXPECT_EQ(dir.Read("event.log"), "first\r\n\tsecond\r\n\r\n");
}

TEST(AppendResultLine, WritesNulBytesAsTheyAre) {
    testing::ScratchDir dir;
    ASSERT_TRUE(AppendResultLine(dir.PathOf("event.log"), std::string("a\0b\0", 4)).Ok());
    EXPECT_EQ(dir.Read("event.log"), std::string("a\0b\0\r\n", 6));
}

TEST(AppendResultLine, ReportsAFileThatCannotBeOpened) {
    testing::ScratchDir dir;
    EXPECT_FALSE(AppendResultLine(dir.PathOf("no-such-directory/event.log"), "lost").Ok());
}

#ifndef _WIN32
// A full disk on the native side: a write that fails (/dev/full) is no line, and one that stops short
// (at the file-size limit) is cut back to where it began.
TEST(AppendResultLine, AWriteThatFailsOrStopsShortLeavesNoPartOfTheLine) {
    const Status full = AppendResultLine("/dev/full", "lost");
    ASSERT_NE(FailureOf(full), nullptr);
    EXPECT_EQ(FailureOf(full)->number, ENOSPC);
    testing::ScratchDir dir;
    EXPECT_FALSE(ClearResultFile(dir.Path()).Ok()) << "a folder is no result file to empty";

    dir.Write("event.log", "earlier\r\n");
    rlimit limit{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &limit), 0);
    const rlimit before = limit;
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    limit.rlim_cur = 10;  // room for one byte of the line
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limit), 0);
    const Status cut = AppendResultLine(dir.PathOf("event.log"), "a line longer than the room");
    ::setrlimit(RLIMIT_FSIZE, &before);
    std::signal(SIGXFSZ, oldHandler);
    ASSERT_NE(FailureOf(cut), nullptr);
    EXPECT_EQ(FailureOf(cut)->number, ENOSPC);
    EXPECT_EQ(dir.Read("event.log"), "earlier\r\n");
}
#endif

// A fragment that a refused cut (or a writer of old) left never runs into the next line.
TEST(AppendResultLine, StartsOnALineOfItsOwn) {
    const struct {
        const char* before;
        const char* after;
    } cases[] = {
        {"", "next\r\n"},
        {"earlier\r\n", "earlier\r\nnext\r\n"},
        {"earlier\r\nCPU Utilization=", "earlier\r\nCPU Utilization=\r\nnext\r\n"},
        {"x", "x\r\nnext\r\n"},                  // shorter than a line end
        {"earlier\n", "earlier\n\r\nnext\r\n"},  // a bare LF ends no line of these files
        {"cut\rx", "cut\rx\r\nnext\r\n"},        // nor a CR that something follows
    };
    for (const auto& c : cases) {
        testing::ScratchDir dir;
        dir.Write("event.log", c.before);
        EXPECT_TRUE(AppendResultLine(dir.PathOf("event.log"), "next").Ok()) << c.before;
        EXPECT_EQ(dir.Read("event.log"), c.after) << c.before;
    }
}

// A result file that is another name of someone else's file: the line and the fresh start fail, and
// that file keeps every byte.
void ExpectNotWrittenThrough(const testing::ScratchDir& dir, std::string_view target = "other.txt") {
    EXPECT_FALSE(AppendResultLine(dir.PathOf("event.log"), "lost").Ok());
    EXPECT_FALSE(ClearResultFile(dir.PathOf("event.log")).Ok());
    EXPECT_EQ(dir.Read(target), "someone else's\r\n");
}

TEST(ResultFileLinks, AHardLinkIsNotWrittenThrough) {
    testing::ScratchDir dir;
    dir.Write("other.txt", "someone else's\r\n");
    std::filesystem::create_hard_link(dir.PathOf("other.txt"), dir.PathOf("event.log"));
    ExpectNotWrittenThrough(dir);
}

// Under Wine a Unix link, which shows as the file it leads to, not as a reparse point.
TEST(ResultFileLinks, ASymbolicLinkIsNotWrittenThrough) {
    const std::string elsewhere = JoinPath("elsewhere", "event.log");
    const struct {
        std::string target;
        bool linesBefore;  // lines went into a file of the name before the link took its place
        bool moved;        // that very file, moved away, is where the link leads
    } cases[] = {
        {"other.txt", false, false},
        {elsewhere, false, false},
        // As long as the lines before it, byte for byte: only where it is tells it apart.
        {"other.txt", true, false},
        {elsewhere, true, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.target + (c.linesBefore ? ", after lines" : ""));
        testing::ScratchDir dir;
        std::filesystem::create_directory(dir.PathOf("elsewhere"));
        if (c.linesBefore) {
            ASSERT_TRUE(AppendResultLine(dir.PathOf("event.log"), "someone else's").Ok());
            if (c.moved) {
                std::filesystem::rename(dir.PathOf("event.log"), dir.PathOf(c.target));
            } else {
                std::filesystem::remove(dir.PathOf("event.log"));
            }
        }
        if (!c.moved) {
            dir.Write(c.target, "someone else's\r\n");
        }
        if (!dir.Link("event.log", dir.PathOf(c.target))) {
            GTEST_SKIP() << "this process may make no symbolic links";
        }
        ExpectNotWrittenThrough(dir, c.target);
    }
    // One that leads nowhere: its target is not created through it either.
    testing::ScratchDir dir;
    dir.Write("nowhere.txt", "");
    ASSERT_TRUE(dir.Link("event.log", dir.PathOf("nowhere.txt")));
    std::filesystem::remove(dir.PathOf("nowhere.txt"));
    EXPECT_FALSE(AppendResultLine(dir.PathOf("event.log"), "lost").Ok());
    EXPECT_FALSE(dir.Exists("nowhere.txt"));
}

// No link of the file's own, however the path reaches it: the lines and the fresh start go through.
TEST(ResultFileLinks, AFileReachedAnotherWayIsWritten) {
    testing::ScratchDir dir;
    std::filesystem::create_directory(dir.PathOf("real"));
    if (!dir.Link("linked", dir.PathOf("real"), true)) {
        GTEST_SKIP() << "this process may make no symbolic links";
    }
    const std::string path = JoinPath(dir.PathOf("real"), "event.log");
    std::vector<std::string> paths = {JoinPath(dir.PathOf("linked"), "event.log")};
#ifdef _WIN32
    std::string upper = path;
    for (char& c : upper) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    paths.push_back(upper);
    paths.push_back("\\\\?\\" + path);
#endif
    for (const std::string& asked : paths) {
        SCOPED_TRACE(asked);
        ASSERT_TRUE(AppendResultLine(asked, "earlier").Ok());
        EXPECT_TRUE(ClearResultFile(asked).Ok());
        EXPECT_TRUE(AppendResultLine(asked, "line").Ok());
        EXPECT_EQ(dir.Read(JoinPath("real", "event.log")), "line\r\n");
    }
}

#ifdef _WIN32

// A result file in a drive's root: the root's final path ends with its separator, the file's folder
// does not, and both are the same folder.
TEST(ResultFileLinks, AFileInADrivesRootIsWritten) {
    char windows[MAX_PATH] = {};
    ASSERT_GT(GetWindowsDirectoryA(windows, MAX_PATH), 2u);
    const std::string path =
        std::string(windows, 3) + "zandrel-root-" + std::to_string(GetCurrentProcessId()) + ".log";
    if (!UniqueFile(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr))) {
        GTEST_SKIP() << "this account may not make files in " << std::string(windows, 3);
    }
    const struct Removed {
        std::string path;
        ~Removed() { DeleteFileA(path.c_str()); }
    } removed{path};
    EXPECT_TRUE(AppendResultLine(path, "earlier").Ok());
    EXPECT_TRUE(ClearResultFile(path).Ok());
    EXPECT_TRUE(AppendResultLine(path, "line").Ok());
    std::ifstream in(path, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "line\r\n");
}

// The file's DACL as SDDL text; Wine keeps the descriptor given at creation and shows it, but
// enforces none of it.
std::string DaclOf(const std::string& path) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetNamedSecurityInfoA(path.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                              nullptr, nullptr, &descriptor) != ERROR_SUCCESS) {
        return "(unreadable)";
    }
    const UniqueLocal ownedDescriptor(descriptor);
    LPSTR text = nullptr;
    if (!ConvertSecurityDescriptorToStringSecurityDescriptorA(descriptor, SDDL_REVISION_1,
                                                              DACL_SECURITY_INFORMATION, &text, nullptr)) {
        return "(no text)";
    }
    const UniqueLocal ownedText(text);
    return text;
}

std::string ProcessUser() {
    UniqueKernelHandle token;
    alignas(TOKEN_USER) unsigned char user[256];
    DWORD size = 0;
    LPSTR text = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.put()) ||
        !GetTokenInformation(token.get(), TokenUser, user, sizeof user, &size) ||
        !ConvertSidToStringSidA(reinterpret_cast<TOKEN_USER*>(user)->User.Sid, &text)) {
        return "(unknown)";
    }
    const UniqueLocal owned(text);
    return text;
}

// The faults that no file system here shows at will, through the writer's table of calls: the one
// call of the row fails, every other is the real one, and the clock moves on as the writer waits.
// A row's faults act only while it is armed, so that one writer writes the lines before and after
// the faulted one, and what it kept of them counts as it would in a run.
namespace fault {
ULONGLONG now = 0;
bool armed = false;
// Opens still to be refused, and with what: another run's handle by default. With `probesPass` an
// open that asks no access passes (the file is there, this account may only not write it); with
// `onlyCreates` only a create is refused (a folder that this account may not write).
int heldOpens = 0;
DWORD refusal = ERROR_SHARING_VIOLATION;
bool probesPass = false;
bool onlyCreates = false;

ULONGLONG WINAPI TickCount() {
    return now;
}
void WINAPI Pause(DWORD ms) {
    now += ms;
}
HANDLE WINAPI RefusedOpen(LPCSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                          DWORD disposition, DWORD flags, HANDLE model) {
    const bool spared = (probesPass && access == 0) || (onlyCreates && disposition != CREATE_NEW);
    if (armed && heldOpens > 0 && !spared) {
        --heldOpens;
        SetLastError(refusal);
        return INVALID_HANDLE_VALUE;
    }
    return CreateFileA(path, access, share, security, disposition, flags, model);
}
// A full drive as Wine reports it: success, with half of the bytes.
BOOL WINAPI ShortWrite(HANDLE file, LPCVOID bytes, DWORD size, LPDWORD written, LPOVERLAPPED overlapped) {
    return WriteFile(file, bytes, armed ? size / 2 : size, written, overlapped);
}
BOOL WINAPI BrokenWrite(HANDLE file, LPCVOID bytes, DWORD size, LPDWORD written, LPOVERLAPPED overlapped) {
    if (!armed) {
        return WriteFile(file, bytes, size, written, overlapped);
    }
    WriteFile(file, bytes, size / 2, written, overlapped);
    SetLastError(ERROR_NETNAME_DELETED);
    return FALSE;
}
// WriteFile sets the count to 0 when it fails, whatever reached the file before the failure.
BOOL WINAPI BrokenWriteTellingNothing(HANDLE file, LPCVOID bytes, DWORD size, LPDWORD written,
                                      LPOVERLAPPED overlapped) {
    const BOOL done = BrokenWrite(file, bytes, size, written, overlapped);
    if (armed) {
        *written = 0;
    }
    return done;
}
BOOL WINAPI RefusedCut(HANDLE file, FILE_INFO_BY_HANDLE_CLASS kind, LPVOID info, DWORD size) {
    if (!armed) {
        return SetFileInformationByHandle(file, kind, info, size);
    }
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
}
BOOL WINAPI LockTaken(HANDLE file, DWORD flags, DWORD reserved, DWORD low, DWORD high, LPOVERLAPPED range) {
    if (!armed) {
        return LockFileEx(file, flags, reserved, low, high, range);
    }
    SetLastError(ERROR_LOCK_VIOLATION);
    return FALSE;
}
BOOL WINAPI NoLocks(HANDLE file, DWORD flags, DWORD reserved, DWORD low, DWORD high, LPOVERLAPPED range) {
    if (!armed) {
        return LockFileEx(file, flags, reserved, low, high, range);
    }
    SetLastError(ERROR_NOT_SUPPORTED);
    return FALSE;
}
BOOL WINAPI NoToken(HANDLE process, DWORD access, PHANDLE token) {
    if (!armed) {
        return OpenProcessToken(process, access, token);
    }
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
}
// The account's TOKEN_USER in exactly the structure's size, its SID kept elsewhere: an answer that
// holds all that is read from it.
BOOL WINAPI BareTokenUser(HANDLE token, TOKEN_INFORMATION_CLASS kind, LPVOID info, DWORD size,
                          PDWORD needed) {
    alignas(TOKEN_USER) static unsigned char whole[256];
    if (!armed || kind != TokenUser) {
        return GetTokenInformation(token, kind, info, size, needed);
    }
    if (!GetTokenInformation(token, TokenUser, whole, sizeof whole, needed)) {
        return FALSE;
    }
    *needed = sizeof(TOKEN_USER);
    if (size < sizeof(TOKEN_USER)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    std::memcpy(info, whole, sizeof(TOKEN_USER));
    return TRUE;
}
BOOL WINAPI NoDescriptor(LPCSTR sddl, DWORD revision, PSECURITY_DESCRIPTOR* descriptor, PULONG size) {
    if (!armed) {
        return ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl, revision, descriptor, size);
    }
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
}

// Counts the searches of the folder, which a name asked for exactly never needs, and the second
// handles, which only a file that a storage filter keeps or a line to cut back needs.
int searches = 0;
int reopens = 0;
HANDLE WINAPI Search(LPCSTR path, LPWIN32_FIND_DATAA entry) {
    ++searches;
    return FindFirstFileA(path, entry);
}
// Counts the unlocks that fail: a lock that stays until the handle closes holds the next run up.
int failedUnlocks = 0;
BOOL WINAPI CheckedUnlock(HANDLE file, DWORD reserved, DWORD low, DWORD high, LPOVERLAPPED range) {
    const BOOL done = UnlockFileEx(file, reserved, low, high, range);
    failedUnlocks += done ? 0 : 1;
    return done;
}
HANDLE WINAPI CountedReopen(HANDLE file, DWORD access, DWORD share, DWORD flags) {
    ++reopens;
    return ReOpenFile(file, access, share, flags);
}

// Counts the final-path questions; `finalPathRefusal` (when not 0) is what they fail with instead,
// every one, or with `onlyFolderOnce` only the folder's first.
int finalPathAsks = 0;
DWORD finalPathRefusal = 0;
bool onlyFolderOnce = false;
DWORD WINAPI FinalPath(HANDLE handle, LPSTR path, DWORD size, DWORD flags) {
    ++finalPathAsks;
    const DWORD length = GetFinalPathNameByHandleA(handle, path, size, flags);
    const bool folder = length != 0 && length < size && !std::string_view(path).ends_with("\\event.log");
    if (finalPathRefusal == 0 || (onlyFolderOnce && !folder)) {
        return length;
    }
    SetLastError(std::exchange(finalPathRefusal, onlyFolderOnce ? 0 : finalPathRefusal));
    return 0;
}

// A reparse point of `tag` (0: none) with `names` names, as the facts show it. The handles that the
// writer reopens without FILE_FLAG_OPEN_REPARSE_POINT are those on which a tag's filter works; a write
// or a cut through any other is one around it.
DWORD tag = 0;
DWORD names = 1;
std::vector<HANDLE> filterHandles;
int aroundFilter = 0;
bool ThroughFilter(HANDLE file) {
    return std::find(filterHandles.begin(), filterHandles.end(), file) != filterHandles.end();
}
BOOL WINAPI Tagged(HANDLE file, FILE_INFO_BY_HANDLE_CLASS kind, LPVOID info, DWORD size) {
    if (kind == FileAttributeTagInfo) {
        FILE_BASIC_INFO basic{};
        if (!GetFileInformationByHandleEx(file, FileBasicInfo, &basic, sizeof basic)) {
            return FALSE;
        }
        *static_cast<FILE_ATTRIBUTE_TAG_INFO*>(info) = {basic.FileAttributes | FILE_ATTRIBUTE_REPARSE_POINT,
                                                        tag};
        return TRUE;
    }
    if (!GetFileInformationByHandleEx(file, kind, info, size)) {
        return FALSE;
    }
    if (kind == FileBasicInfo && tag != 0) {
        static_cast<FILE_BASIC_INFO*>(info)->FileAttributes |= FILE_ATTRIBUTE_REPARSE_POINT;
    } else if (kind == FileStandardInfo) {
        static_cast<FILE_STANDARD_INFO*>(info)->NumberOfLinks = names;
    }
    return TRUE;
}
HANDLE WINAPI Reopen(HANDLE file, DWORD access, DWORD share, DWORD flags) {
    const HANDLE handle = ReOpenFile(file, access, share, flags);
    if (handle != INVALID_HANDLE_VALUE && (flags & FILE_FLAG_OPEN_REPARSE_POINT) == 0) {
        filterHandles.push_back(handle);
    }
    return handle;
}
BOOL WINAPI WriteTagged(HANDLE file, LPCVOID bytes, DWORD size, LPDWORD written, LPOVERLAPPED overlapped) {
    aroundFilter += !ThroughFilter(file);
    return WriteFile(file, bytes, size, written, overlapped);
}
BOOL WINAPI SetTagged(HANDLE file, FILE_INFO_BY_HANDLE_CLASS kind, LPVOID info, DWORD size) {
    aroundFilter += kind == FileEndOfFileInfo && !ThroughFilter(file);
    return SetFileInformationByHandle(file, kind, info, size);
}
}  // namespace fault

std::int32_t ErrorOf(const Status& status) {
    const Failure* failure = FailureOf(status);
    return failure == nullptr ? 0 : failure->number;
}

ResultFileCalls FaultCalls() {
    ResultFileCalls calls;
    calls.tickCount = &fault::TickCount;
    calls.sleep = &fault::Pause;
    calls.createFile = &fault::RefusedOpen;
    calls.getFinalPathName = &fault::FinalPath;
    calls.findFirstFile = &fault::Search;
    calls.reOpenFile = &fault::CountedReopen;
    calls.unlockFile = &fault::CheckedUnlock;
    fault::armed = false;
    fault::failedUnlocks = 0;
    fault::searches = 0;
    fault::reopens = 0;
    fault::now = 0;
    fault::heldOpens = 0;
    fault::refusal = ERROR_SHARING_VIOLATION;
    fault::probesPass = false;
    fault::onlyCreates = false;
    fault::finalPathAsks = 0;
    fault::finalPathRefusal = 0;
    fault::onlyFolderOnce = false;
    return calls;
}

TEST(ResultFileFaults, ALineIsWholeOrAbsentAndAFreshStartDoneOrFailed) {
    constexpr int kForGood = 1 << 20;
    const struct {
        const char* name;
        void (*fault)(ResultFileCalls&);
        int heldOpens;
        const char* before;  // null: no file
        bool freshStart;     // Clear, else Append("next")
        DWORD error;         // 0: done
        const char* after;
        bool waitedItOut;                // the whole five seconds
        const char* thenNext = nullptr;  // after one more line written as it should be
        bool readOnly = false;           // the file's attribute set after the line before
    } cases[] = {
        {"a short write is cut back", [](ResultFileCalls& c) { c.writeFile = &fault::ShortWrite; }, 0,
         "earlier\r\n", false, ERROR_DISK_FULL, "earlier\r\n", false},
        {"a write that fails part-way is cut back",
         [](ResultFileCalls& c) { c.writeFile = &fault::BrokenWrite; }, 0, "earlier\r\n", false,
         ERROR_NETNAME_DELETED, "earlier\r\n", false},
        {"a write that fails part-way and counts nothing is cut back",
         [](ResultFileCalls& c) { c.writeFile = &fault::BrokenWriteTellingNothing; }, 0, "earlier\r\n", false,
         ERROR_NETNAME_DELETED, "earlier\r\n", false},
        // The fragment stays, and the writer does not take the file for as its last line left it.
        {"a refused cut",
         [](ResultFileCalls& c) {
             c.writeFile = &fault::ShortWrite;
             c.setFileInformation = &fault::RefusedCut;
         },
         0, "earlier\r\n", false, ERROR_DISK_FULL, "earlier\r\nnex", false, "earlier\r\nnex\r\nnext\r\n"},
        {"a fresh start that cannot empty the file",
         [](ResultFileCalls& c) { c.setFileInformation = &fault::RefusedCut; }, 0, "earlier\r\n", true,
         ERROR_ACCESS_DENIED, "earlier\r\n", false},
        {"a lock that never comes", [](ResultFileCalls& c) { c.lockFile = &fault::LockTaken; }, 0,
         "earlier\r\n", false, ERROR_LOCK_VIOLATION, "earlier\r\n", true},
        {"a lock that never comes, fresh start", [](ResultFileCalls& c) { c.lockFile = &fault::LockTaken; },
         0, "earlier\r\n", true, ERROR_LOCK_VIOLATION, "earlier\r\n", true},
        {"a file system without locks", [](ResultFileCalls& c) { c.lockFile = &fault::NoLocks; }, 0,
         "earlier\r\n", false, 0, "earlier\r\nnext\r\n", false},
        {"no token for a new file", [](ResultFileCalls& c) { c.openProcessToken = &fault::NoToken; }, 0,
         nullptr, false, ERROR_ACCESS_DENIED, nullptr, false},
        {"a TOKEN_USER of its own size for a new file",
         [](ResultFileCalls& c) { c.getTokenInformation = &fault::BareTokenUser; }, 0, nullptr, false, 0,
         "next\r\n", false},
        {"no descriptor for a new file",
         [](ResultFileCalls& c) { c.convertStringSecurityDescriptor = &fault::NoDescriptor; }, 0, nullptr,
         false, ERROR_INVALID_PARAMETER, nullptr, false},
        {"an existing file needs no descriptor",
         [](ResultFileCalls& c) { c.convertStringSecurityDescriptor = &fault::NoDescriptor; }, 0,
         "earlier\r\n", false, 0, "earlier\r\nnext\r\n", false},
        {"a file held a moment", nullptr, 3, "earlier\r\n", false, 0, "earlier\r\nnext\r\n", false},
        {"a file held a moment, fresh start", nullptr, 3, "earlier\r\n", true, 0, "", false},
        {"a file held for good", nullptr, kForGood, "earlier\r\n", false, ERROR_SHARING_VIOLATION,
         "earlier\r\n", true},
        {"a file held for good, fresh start", nullptr, kForGood, "earlier\r\n", true, ERROR_SHARING_VIOLATION,
         "earlier\r\n", true},
        // Windows refuses every open of a file whose delete is pending, also one that asks no access.
        {"a delete pending a moment", [](ResultFileCalls&) { fault::refusal = ERROR_ACCESS_DENIED; }, 4,
         "earlier\r\n", false, 0, "earlier\r\nnext\r\n", false},
        {"a delete pending for good", [](ResultFileCalls&) { fault::refusal = ERROR_ACCESS_DENIED; },
         kForGood, "earlier\r\n", false, ERROR_ACCESS_DENIED, "earlier\r\n", true},
        // Waiting cannot help: the line and the fresh start fail at once.
        {"a file that this account may not write",
         [](ResultFileCalls&) {
             fault::refusal = ERROR_ACCESS_DENIED;
             fault::probesPass = true;
         },
         kForGood, "earlier\r\n", false, ERROR_ACCESS_DENIED, "earlier\r\n", false},
        {"a file that this account may not write, fresh start",
         [](ResultFileCalls&) {
             fault::refusal = ERROR_ACCESS_DENIED;
             fault::probesPass = true;
         },
         kForGood, "earlier\r\n", true, ERROR_ACCESS_DENIED, "earlier\r\n", false},
        // Windows refuses to open it for writing; Wine run by root does not, hence the refusal here.
        {"a read-only file",
         [](ResultFileCalls&) {
             fault::refusal = ERROR_ACCESS_DENIED;
             fault::probesPass = true;
         },
         kForGood, "earlier\r\n", false, ERROR_ACCESS_DENIED, "earlier\r\n", false, nullptr, true},
        {"a read-only file, fresh start", nullptr, 0, "earlier\r\n", true, ERROR_ACCESS_DENIED, "earlier\r\n",
         false, nullptr, true},
        {"a folder that this account may not write",
         [](ResultFileCalls&) {
             fault::refusal = ERROR_ACCESS_DENIED;
             fault::onlyCreates = true;
         },
         kForGood, nullptr, false, ERROR_ACCESS_DENIED, nullptr, false},
        {"a missing folder", [](ResultFileCalls&) { fault::refusal = ERROR_PATH_NOT_FOUND; }, kForGood,
         nullptr, false, ERROR_PATH_NOT_FOUND, nullptr, false},
        {"a missing folder, fresh start", [](ResultFileCalls&) { fault::refusal = ERROR_PATH_NOT_FOUND; },
         kForGood, nullptr, true, ERROR_PATH_NOT_FOUND, nullptr, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        testing::ScratchDir dir;
        const std::string path = dir.PathOf("event.log");
        ResultFileCalls calls = FaultCalls();
        if (c.fault != nullptr) {
            c.fault(calls);
        }
        ResultFileWriter writer(path, calls);
        if (c.before != nullptr) {
            ASSERT_EQ(std::string(c.before), "earlier\r\n");
            ASSERT_TRUE(writer.Append("earlier").Ok());
        }
        if (c.readOnly) {
            ASSERT_TRUE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY));
        }
        fault::armed = true;
        fault::heldOpens = c.heldOpens;
        const Status status = c.freshStart ? writer.Clear() : writer.Append("next");
        fault::armed = false;
        EXPECT_EQ(ErrorOf(status), static_cast<std::int32_t>(c.error));
        EXPECT_EQ(dir.Read("event.log"),
                  c.after == nullptr ? std::nullopt : std::optional<std::string>(c.after));
        EXPECT_EQ(fault::now >= 5000, c.waitedItOut) << fault::now;
        if (c.thenNext != nullptr) {
            EXPECT_TRUE(writer.Append("next").Ok());
            EXPECT_EQ(dir.Read("event.log"), c.thenNext);
        }
        if (c.readOnly) {
            SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        }
    }
}

// A reparse point is a link only when its tag is a name surrogate; a file that a storage filter keeps
// is the probe's own, written through a handle on which the filter works. Each row: a line, then a
// fresh start.
TEST(ResultFileLinks, OnlyANameSurrogateOrASecondNameIsALink) {
    const struct {
        const char* name;
        DWORD tag;
        DWORD names;
        bool link;
    } cases[] = {
        {"a symbolic link", static_cast<DWORD>(IO_REPARSE_TAG_SYMLINK), 1, true},
        {"a junction", static_cast<DWORD>(IO_REPARSE_TAG_MOUNT_POINT), 1, true},
        {"a deduplicated file", static_cast<DWORD>(IO_REPARSE_TAG_DEDUP), 1, false},
        {"a file that compact /exe packed (WOF)", static_cast<DWORD>(IO_REPARSE_TAG_WOF), 1, false},
        {"a hard link", 0, 2, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        testing::ScratchDir dir;
        const std::string path = dir.PathOf("event.log");
        ASSERT_TRUE(AppendResultLine(path, "earlier").Ok());
        ResultFileCalls calls = FaultCalls();
        calls.getFileInformation = &fault::Tagged;
        calls.reOpenFile = &fault::Reopen;
        calls.writeFile = &fault::WriteTagged;
        calls.setFileInformation = &fault::SetTagged;
        fault::tag = c.tag;
        fault::names = c.names;
        fault::aroundFilter = 0;
        ResultFileWriter writer(path, calls);

        fault::filterHandles.clear();
        const Status line = writer.Append("next");
        EXPECT_EQ(dir.Read("event.log"), c.link ? "earlier\r\n" : "earlier\r\nnext\r\n");
        fault::filterHandles.clear();
        const Status freshStart = writer.Clear();
        EXPECT_EQ(dir.Read("event.log"), c.link ? "earlier\r\n" : "");
        const std::int32_t refused = c.link ? kLinkRefused : 0;
        EXPECT_EQ(ErrorOf(line), refused);
        EXPECT_EQ(ErrorOf(freshStart), refused);
        if (!c.link) {
            EXPECT_EQ(fault::aroundFilter, 0);
        }
    }
}

// The root of a fixed drive other than `drive` ("C:"), or nothing.
std::string OtherFixedDrive(const std::string& drive) {
    const DWORD drives = GetLogicalDrives();
    for (char letter = 'A'; letter <= 'Z'; ++letter) {
        std::string root = "A:\\";
        root[0] = letter;
        if ((drives >> (letter - 'A') & 1) != 0 &&
            std::toupper(static_cast<unsigned char>(drive[0])) != letter &&
            GetDriveTypeA(root.c_str()) == DRIVE_FIXED) {
            return root;
        }
    }
    return {};
}

// Where the file really is costs more than the line's own write: a writer asks it once, and again
// only when it cannot know. Each row is two lines of one writer.
TEST(ResultFileWriter, AsksWhereTheFileIsOnlyWhenItCannotKnow) {
    const struct {
        const char* name;
        DWORD refusal;         // what the final-path question fails with (0: it is answered)
        bool onlyFolderOnce;   // only the folder's, the first time
        bool otherRunBetween;  // another run appends a line between the writer's two
        int asksAtFirst;
        int asksAtSecond;
        bool driveRelative = false;
    } cases[] = {
        // The file as the first line left it: nothing asked. Windows may set the file's times only
        // at the close, after they were kept; then the second line asks the file's final path again.
        {"a second line", 0, false, false, 2, 0},
        {"a line after another run's line", 0, false, true, 2, 1},  // the folder's is kept
        // The line goes out: no link that Windows makes goes unseen there.
        {"a file system that cannot name files", ERROR_NOT_SUPPORTED, false, false, 1, 1},
        {"a folder that cannot be named once", ERROR_ACCESS_DENIED, true, false, 2, 2},
        // "C:event.log": the current folder of its drive is the one to name.
        {"a path relative to its drive's current folder", 0, false, false, 2, 0, true},
    };
    const std::filesystem::path current = std::filesystem::current_path();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        testing::ScratchDir dir;
        const std::string path = dir.PathOf("event.log");
        // The drive's own current folder ("=C:"), as the process had it.
        const std::string driveFolder = std::string("=").append(path, 0, 2);
        char kept[MAX_PATH] = {};
        const DWORD keptLength = GetEnvironmentVariableA(driveFolder.c_str(), kept, MAX_PATH);
        if (c.driveRelative) {
            // Seen only from another drive, where there is one: "C:" is then the folder that
            // Windows keeps for C:, not this process's current folder.
            const std::string other = OtherFixedDrive(path.substr(0, 2));
            SetEnvironmentVariableA(driveFolder.c_str(), dir.Path().c_str());
            std::filesystem::current_path(other.empty() ? dir.Folder() : std::filesystem::path(other));
        }
        ResultFileWriter writer(c.driveRelative ? path.substr(0, 2) + "event.log" : path, FaultCalls());
        fault::finalPathRefusal = c.refusal;
        fault::onlyFolderOnce = c.onlyFolderOnce;
        EXPECT_TRUE(writer.Append("first").Ok());
        EXPECT_EQ(fault::finalPathAsks, c.asksAtFirst);
        if (c.otherRunBetween) {
            ASSERT_TRUE(AppendResultLine(path, "other").Ok());
        }
        fault::finalPathAsks = 0;
        EXPECT_TRUE(writer.Append("second").Ok());
        if (c.asksAtSecond == 0 && !testing::RunningUnderWine()) {
            EXPECT_LE(fault::finalPathAsks, 1);
        } else {
            EXPECT_EQ(fault::finalPathAsks, c.asksAtSecond);
        }
        EXPECT_EQ(dir.Read("event.log"),
                  c.otherRunBetween ? "first\r\nother\r\nsecond\r\n" : "first\r\nsecond\r\n");
        EXPECT_EQ(fault::searches, 0);
        EXPECT_EQ(fault::reopens, 0);
        EXPECT_EQ(fault::failedUnlocks, 0);
        std::filesystem::current_path(current);
        SetEnvironmentVariableA(driveFolder.c_str(),
                                keptLength > 0 && keptLength < MAX_PATH ? kept : nullptr);
    }
}
#endif

// A new result file is not readable by everyone, whatever its folder lets them do; an existing one
// keeps what it was given, also through a fresh start.
TEST(ResultFilePermissions, ANewFileIsPrivateAnExistingOneKeepsItsOwn) {
    testing::ScratchDir dir;
    const std::string path = dir.PathOf("event.log");
    ASSERT_TRUE(AppendResultLine(path, "first").Ok());
#ifdef _WIN32
    const std::string user = ProcessUser();
    if (testing::RunningUnderWine()) {
        // Wine keeps no descriptor: it turns the one given at creation into the file's Unix mode and
        // reads one back from that mode (0600 here; a file created without it reads "Everyone: read").
        EXPECT_EQ(DaclOf(path), "D:(A;;FA;;;SY)(A;;FA;;;" + user + ")");
    } else {
        EXPECT_EQ(DaclOf(path), "D:P(A;;FA;;;SY)(A;;FA;;;BA)(A;;FA;;;" + user + ")");
    }
    // An administrator's grant to everyone (one that Wine can keep in the mode).
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorA(
        ("D:(A;;FA;;;SY)(A;;FA;;;" + user + ")(A;;0x1200a9;;;WD)").c_str(), SDDL_REVISION_1, &descriptor,
        nullptr));
    const UniqueLocal owned(descriptor);
    ASSERT_TRUE(SetFileSecurityA(path.c_str(), DACL_SECURITY_INFORMATION, descriptor));
    const std::string granted = DaclOf(path);
    ASSERT_NE(granted.find(";;;WD)"), std::string::npos) << granted;
    ASSERT_TRUE(ClearResultFile(path).Ok());
    ASSERT_TRUE(AppendResultLine(path, "fresh").Ok());
    EXPECT_EQ(DaclOf(path), granted);
#else
    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
    ASSERT_TRUE(ClearResultFile(path).Ok());
    ASSERT_TRUE(AppendResultLine(path, "fresh").Ok());
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u);
#endif
    EXPECT_EQ(dir.Read("event.log"), "fresh\r\n");
}

}  // namespace
}  // namespace zandrel
