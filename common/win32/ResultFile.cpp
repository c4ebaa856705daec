// The Windows writer of the result files.
//
// FILE_APPEND_DATA without FILE_WRITE_DATA makes every write land at the current end of the file.
// Windows does that atomically on local volumes, but Wine does not, and neither do all redirectors:
// each writer therefore also takes an exclusive lock on one byte far beyond any real data, around
// the single WriteFile of the whole line. The lock never covers data, so readers are not disturbed.
//
// A line is whole or absent. Under the lock the append reads where the file ends; a write that fails
// or comes back short (a full drive: Wine then reports success with fewer bytes) is cut back to that
// end before the lock is released. Should even the cut be refused, the next append finds the file
// not ending in CR LF and puts one in front of its line, in the same write, so that a torn fragment
// never runs into the next record.
//
// A file the writer creates is private to SYSTEM, Administrators and the account that runs the
// probe; a file that exists keeps its permissions. A result file that is a link (a reparse point, or
// a file with more than one name) is never written through: it would carry the lines, or a fresh
// start, into a file that is not the probe's own. Not every link shows as a reparse point (Wine shows
// a Unix symbolic link as the file it leads to), so the writer also asks where the opened file really
// is and compares that with the folder and name that were asked for.
#include "ResultFile.h"

#include <windows.h>
// After windows.h, which it needs.
#include <sddl.h>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <optional>
#include <string_view>
#include <vector>

#include "UniqueHandle.h"

namespace zandrel {
namespace {

// How long a line may wait for the file or the writers' lock before it counts as lost.
constexpr ULONGLONG kWaitMs = 5000;
constexpr DWORD kPollMs = 5;

// The byte every writer locks: the last but one of the largest file offset, which no data reaches.
constexpr DWORD kLockOffsetLow = 0xFFFFFFFE;
constexpr DWORD kLockOffsetHigh = 0x7FFFFFFF;

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// Every open sees a link itself rather than what it leads to.
constexpr DWORD kOpenFlags = FILE_FLAG_OPEN_REPARSE_POINT;
// What a line or a fresh start that meets a link fails with.
constexpr DWORD kLinkRefused = ERROR_CANT_ACCESS_FILE;

using UniqueLocal = UniqueHandle<NullHandleTraits<HLOCAL, &LocalFree>>;

// The account that runs this process, as SDDL text.
std::optional<std::string> ProcessUserSid() {
    UniqueKernelHandle token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.put())) {
        return std::nullopt;
    }
    DWORD size = 0;
    if (GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size) ||
        GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
        return std::nullopt;
    }
    std::vector<unsigned char> buffer(size);  // new'd storage: aligned for the pointer inside
    if (!GetTokenInformation(token.get(), TokenUser, buffer.data(), size, &size)) {
        return std::nullopt;
    }
    LPSTR text = nullptr;
    if (!ConvertSidToStringSidA(reinterpret_cast<const TOKEN_USER*>(buffer.data())->User.Sid, &text)) {
        return std::nullopt;
    }
    const UniqueLocal owned(text);
    return std::string(text);
}

// A protected DACL for a result file that this process creates: the folder's permissions (which may
// let every user read the records) are not inherited. The creator keeps full control, which the cut
// of a torn line needs.
class PrivateFileSecurity {
  public:
    PrivateFileSecurity() {
        const std::optional<std::string> user = ProcessUserSid();
        if (!user) {
            return;
        }
        const std::string sddl = "D:P(A;;FA;;;SY)(A;;FA;;;BA)(A;;FA;;;" + *user + ")";
        PSECURITY_DESCRIPTOR descriptor = nullptr;
        if (ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl.c_str(), SDDL_REVISION_1, &descriptor,
                                                                 nullptr)) {
            descriptor_.reset(descriptor);
            attributes_.nLength = sizeof attributes_;
            attributes_.lpSecurityDescriptor = descriptor;
            attributes_.bInheritHandle = FALSE;
        }
    }
    // Null when the descriptor could not be built; the thread's last error then tells why.
    SECURITY_ATTRIBUTES* attributes() { return descriptor_ ? &attributes_ : nullptr; }

  private:
    UniqueLocal descriptor_;
    SECURITY_ATTRIBUTES attributes_{};
};

// Another run holding the file without sharing, or a delete still pending (someone removing the log
// while runs write to it), passes in a moment; a directory or a read-only file in the way does not.
bool MayPass(const std::string& path, DWORD error) {
    if (error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION) {
        return true;
    }
    if (error != ERROR_ACCESS_DENIED) {
        return false;
    }
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes == INVALID_FILE_ATTRIBUTES ||
           (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) == 0;
}

UniqueFile OpenAppendHandle(const std::string& path, DWORD disposition, SECURITY_ATTRIBUTES* security) {
    // Read access as well: LockFileEx wants a handle opened for reading or writing, and an
    // append-only handle has neither; the append also reads the file's last bytes.
    return UniqueFile(CreateFileA(path.c_str(), GENERIC_READ | FILE_APPEND_DATA, kShareAll, security,
                                  disposition, kOpenFlags, nullptr));
}

UniqueFile OpenForAppend(const std::string& path, ULONGLONG deadline) {
    // How often the name was taken for the create yet absent for the open.
    int nowhere = 0;
    for (;;) {
        UniqueFile file = OpenAppendHandle(path, OPEN_EXISTING, nullptr);
        if (!file && GetLastError() == ERROR_FILE_NOT_FOUND) {
            // Only a file that this open creates takes the descriptor. CREATE_NEW rather than
            // OPEN_ALWAYS: a symbolic link that leads nowhere would have the target created through it
            // (Wine does so with a Unix one), while this create refuses any name that is taken.
            PrivateFileSecurity security;
            if (security.attributes() == nullptr) {
                return {};
            }
            file = OpenAppendHandle(path, CREATE_NEW, security.attributes());
            if (!file && GetLastError() == ERROR_FILE_EXISTS) {
                // Another run created the file in the meantime, and it keeps its own descriptor; a
                // name that stays taken yet cannot be opened is a link to nothing.
                if (++nowhere >= 3) {
                    SetLastError(kLinkRefused);
                    return {};
                }
                continue;
            }
        }
        if (file) {
            return file;
        }
        const DWORD error = GetLastError();
        if (!MayPass(path, error) || GetTickCount64() >= deadline) {
            SetLastError(error);  // the open's own error, not the attribute query's
            return {};
        }
        Sleep(kPollMs);
    }
}

// Where an open file or folder really is, as the file system names it: "\\?\C:\...", or
// "\\?\UNC\..." on a share. Nothing where the file system cannot tell.
std::optional<std::string> FinalPathOf(HANDLE handle) {
    std::string path(MAX_PATH, '\0');
    for (;;) {
        const DWORD length = GetFinalPathNameByHandleA(handle, path.data(), static_cast<DWORD>(path.size()),
                                                       FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
        if (length == 0) {
            return std::nullopt;
        }
        // The count it answers is not always that of the bytes (Wine counts wide characters, and the
        // size it needs without the terminating NUL): the name is what stands before the NUL, and a
        // buffer filled to its end is grown and asked again.
        const std::size_t text = strnlen(path.data(), path.size());
        if (length < path.size() && text + 1 < path.size()) {
            path.resize(text);
            return path;
        }
        path.assign(std::max<std::size_t>(path.size() * 2, std::size_t{length} + 1), '\0');
    }
}

// A path cut into the folder that holds the file, in a form that opens it, and the file's name.
struct PathParts {
    std::string folder;
    std::string_view name;
};

PathParts SplitPath(const std::string& path) {
    const std::size_t separator = path.find_last_of("\\/");
    if (separator != std::string::npos) {
        // With its separator: "C:\" and "\\server\share\" open as the roots they are.
        return {path.substr(0, separator + 1), std::string_view(path).substr(separator + 1)};
    }
    const std::size_t colon = path.find(':');  // "C:event.log": in the current folder of that drive
    if (colon != std::string::npos) {
        return {path.substr(0, colon + 1) + ".", std::string_view(path).substr(colon + 1)};
    }
    return {".", path};
}

// The final path of a folder, without a separator at its end (a root's final path has one).
std::optional<std::string> FolderFinalPath(const std::string& folder) {
    // Followed through links, unlike the result file: the folder may well be reached through one (an
    // install folder under a linked directory), and only the file's own name must not be a link.
    const UniqueFile handle(CreateFileA(folder.c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr,
                                        OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!handle) {
        return std::nullopt;
    }
    std::optional<std::string> path = FinalPathOf(handle.get());
    // A root's final path ends with its separator. The last byte alone does not tell: in a double-byte
    // code page it may be the trail byte of a folder name's last character (0x5C, as in 932's "表").
    if (path && !path->empty()) {
        const char* end = path->data() + path->size();
        const char* last = CharPrevA(path->data(), end);
        if (end - last == 1 && *last == '\\') {
            path->pop_back();
        }
    }
    return path;
}

// The folder's final path, kept for the process: the probes write every line into one folder. A
// kept answer that no longer matches is asked for afresh before it counts.
class FolderFinalPaths {
  public:
    std::optional<std::string> Get(const std::string& folder, bool afresh) {
        const std::lock_guard<std::mutex> lock(mutex_);
        if (afresh || !asked_ || folder != folder_) {
            folder_ = folder;
            final_ = FolderFinalPath(folder);
            asked_ = true;
        }
        return final_;
    }

  private:
    std::mutex mutex_;
    bool asked_ = false;
    std::string folder_;
    std::optional<std::string> final_;  // nothing where the file system cannot tell
};

// Whether the open `file` lies elsewhere than the entry that `path` names: the name is a link that the
// file system followed without showing a reparse point. Where the file system cannot name the file or
// its folder, the answer is no: that says nothing of links, every link that Windows makes is a reparse
// point (refused on its own), and a probe on such a share must not lose its lines.
bool LeadsElsewhere(HANDLE file, const std::string& path) {
    const std::optional<std::string> where = FinalPathOf(file);
    const std::size_t separator = where ? where->find_last_of('\\') : std::string::npos;
    if (separator == std::string::npos) {
        return false;
    }
    const std::string_view whereFolder = std::string_view(*where).substr(0, separator);
    const std::string_view whereName = std::string_view(*where).substr(separator + 1);

    static FolderFinalPaths folders;
    const PathParts asked = SplitPath(path);
    std::optional<std::string> folder = folders.Get(asked.folder, false);
    if (folder && *folder != whereFolder) {
        folder = folders.Get(asked.folder, true);
    }
    if (!folder) {
        return false;
    }
    // Both sides come from the same call, so a drive mapping, a short name, a "\\?\" or a linked
    // folder on the way shows the same on both. Compared exactly: a folder may tell case apart.
    if (*folder != whereFolder) {
        return true;
    }
    if (whereName == asked.name) {
        return false;
    }
    // The name asked for in other letters, a short name, or with the dots and spaces at its end that
    // Windows drops: still no link if it finds the very entry that the file system names (a link is
    // an entry of its own, under its own name).
    WIN32_FIND_DATAA entry{};
    const UniqueFindHandle found(FindFirstFileA(path.c_str(), &entry));
    return !found || whereName != entry.cFileName;
}

// What the writer needs to know of an open result file. Two cheap queries: the classic
// GetFileInformationByHandle also asks for the volume, which costs Wine more than the append itself.
struct FileFacts {
    LONGLONG end = 0;
    bool link = false;
    bool readOnly = false;
};

std::optional<FileFacts> ReadFacts(HANDLE file) {
    // Two classes that every file system answers: GetFileSizeEx and GetFileTime rest on them.
    FILE_STANDARD_INFO standard{};
    FILE_BASIC_INFO basic{};
    if (!GetFileInformationByHandleEx(file, FileStandardInfo, &standard, sizeof standard) ||
        !GetFileInformationByHandleEx(file, FileBasicInfo, &basic, sizeof basic)) {
        return std::nullopt;
    }
    return FileFacts{standard.EndOfFile.QuadPart,
                     standard.NumberOfLinks > 1 || (basic.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0,
                     (basic.FileAttributes & FILE_ATTRIBUTE_READONLY) != 0};
}

// Whether the file, `end` bytes long, is empty or ends with CR LF. What cannot be read counts as a
// line's end: the line then goes out as it is.
bool EndsALine(HANDLE file, LONGLONG end) {
    if (end == 0) {
        return true;
    }
    LARGE_INTEGER at{};
    at.QuadPart = end >= 2 ? end - 2 : 0;
    char last[2] = {};
    DWORD read = 0;
    // Through the handle's position rather than an OVERLAPPED offset, which Wine completes through
    // its server at ten times the cost. The position means nothing to the append, which always
    // lands at the end.
    if (!SetFilePointerEx(file, at, nullptr, FILE_BEGIN) || !ReadFile(file, last, 2, &read, nullptr)) {
        return true;
    }
    return read == 2 && last[0] == '\r' && last[1] == '\n';
}

// Takes the file back to `end`, where it stood before the line. Under the writers' lock every byte
// after it is this line's; without locks (a file system that has none) the cut is made only while
// the file ends with exactly this line's own bytes.
void CutBack(HANDLE file, LONGLONG end, DWORD written, bool exclusive) {
    FILE_STANDARD_INFO standard{};
    if (!GetFileInformationByHandleEx(file, FileStandardInfo, &standard, sizeof standard)) {
        return;
    }
    const LONGLONG now = standard.EndOfFile.QuadPart;
    if (now <= end || (!exclusive && now != end + written)) {
        return;
    }
    // The append handle may not set the end, and FILE_WRITE_DATA on it would make its writes land
    // at the file position instead of the end: a second handle, of this open file rather than of the
    // path, which may name another file by now.
    const UniqueFile cutter(ReOpenFile(file, FILE_WRITE_DATA, kShareAll, kOpenFlags));
    if (!cutter) {
        return;
    }
    FILE_END_OF_FILE_INFO endOfFile{};
    endOfFile.EndOfFile.QuadPart = end;
    SetFileInformationByHandle(cutter.get(), FileEndOfFileInfo, &endOfFile, sizeof endOfFile);
}

// The writers' lock, held for as long as the object lives. Where the file system has no byte-range
// locks at all, the line goes out without it: there the append itself is all there is.
class WritersLock {
  public:
    WritersLock(HANDLE file, ULONGLONG deadline) : file_(file) {
        range_.Offset = kLockOffsetLow;
        range_.OffsetHigh = kLockOffsetHigh;
        for (;;) {
            // LockFileEx that waits would wait for ever; polling keeps the wait bounded.
            if (LockFileEx(file_, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &range_)) {
                state_ = State::Held;
                return;
            }
            const DWORD error = GetLastError();
            if (error == ERROR_NOT_SUPPORTED || error == ERROR_INVALID_FUNCTION) {
                state_ = State::Unsupported;
                return;
            }
            if (error != ERROR_LOCK_VIOLATION || GetTickCount64() >= deadline) {
                return;
            }
            Sleep(kPollMs);
        }
    }
    WritersLock(const WritersLock&) = delete;
    WritersLock& operator=(const WritersLock&) = delete;
    ~WritersLock() {
        if (state_ == State::Held) {
            const DWORD lastError = GetLastError();
            UnlockFileEx(file_, 0, 1, 0, &range_);
            SetLastError(lastError);
        }
    }
    // Whether the line may be written now.
    explicit operator bool() const { return state_ != State::NotHad; }
    // Whether no other writer that keeps to the lock can be at the file.
    bool held() const { return state_ == State::Held; }

  private:
    enum class State { NotHad, Held, Unsupported };
    HANDLE file_;
    OVERLAPPED range_{};
    State state_ = State::NotHad;
};

Status LastError() {
    return Status::Failed(static_cast<std::int32_t>(GetLastError()));
}

}  // namespace

Status AppendResultLine(const std::string& path, std::string_view text) {
    // With the CR LF that goes in front when the file does not end a line.
    std::string line;
    line.reserve(text.size() + 4);
    line.append("\r\n").append(text).append("\r\n");
    if (line.size() > MAXDWORD) {
        return Status::Failed(ERROR_INVALID_PARAMETER);
    }

    const ULONGLONG deadline = GetTickCount64() + kWaitMs;
    const UniqueFile file = OpenForAppend(path, deadline);
    if (!file) {
        return LastError();
    }
    if (LeadsElsewhere(file.get(), path)) {
        return Status::Failed(kLinkRefused);
    }
    const WritersLock lock(file.get(), deadline);
    if (!lock) {
        return LastError();
    }
    const std::optional<FileFacts> facts = ReadFacts(file.get());
    if (!facts) {
        return LastError();
    }
    if (facts->link) {
        return Status::Failed(kLinkRefused);
    }
    const std::string_view bytes =
        EndsALine(file.get(), facts->end) ? std::string_view(line).substr(2) : line;
    DWORD written = 0;
    const BOOL wrote =
        WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    if (wrote && written == bytes.size()) {
        return Status();
    }
    // A write that succeeds short of the whole line ran out of room (Wine reports a full drive so).
    const Status failed = wrote ? Status::Failed(ERROR_DISK_FULL) : LastError();
    CutBack(file.get(), facts->end, written, lock.held());
    return failed;
}

Status ClearResultFile(const std::string& path) {
    // Emptied, not deleted: a run that opened the file a moment ago and waits for the lock would
    // otherwise write its line into a file that is about to vanish (Wine even opens such a file
    // afresh), and the permissions that an administrator gave the file stay as they are. Under the
    // writers' lock every line lands either before the fresh start or after it.
    const UniqueFile file(CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, kShareAll, nullptr,
                                      OPEN_EXISTING, kOpenFlags, nullptr));
    if (!file) {
        return GetLastError() == ERROR_FILE_NOT_FOUND ? Status() : LastError();
    }
    const std::optional<FileFacts> facts = ReadFacts(file.get());
    if (!facts) {
        return LastError();
    }
    if (facts->link || LeadsElsewhere(file.get(), path)) {
        return Status::Failed(kLinkRefused);
    }
    // Windows refuses to open a read-only file for writing; Wine run by root does not. The old lines
    // of a read-only log are kept either way.
    if (facts->readOnly) {
        return Status::Failed(ERROR_ACCESS_DENIED);
    }
    const WritersLock lock(file.get(), GetTickCount64() + kWaitMs);
    if (!lock) {
        return LastError();
    }
    if (!SetEndOfFile(file.get())) {  // a new handle stands at offset 0
        return LastError();
    }
    return Status();
}

}  // namespace zandrel
