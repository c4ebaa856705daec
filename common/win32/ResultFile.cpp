// The Windows writer of the result files.
//
// FILE_APPEND_DATA without FILE_WRITE_DATA makes every write land at the current end of the file.
// Windows does that atomically on local volumes, but Wine does not, and neither do all redirectors:
// each writer therefore also takes an exclusive lock on one byte far beyond any real data, around
// the single WriteFile of the whole line. The lock never covers data, so readers are not disturbed.
#include "ResultFile.h"

#include <windows.h>

#include "UniqueHandle.h"

namespace zandrel {
namespace {

// How long a line may wait for the file or the writers' lock before it counts as lost.
constexpr ULONGLONG kWaitMs = 5000;
constexpr DWORD kPollMs = 5;

// The byte every writer locks: the last but one of the largest file offset, which no data reaches.
constexpr DWORD kLockOffsetLow = 0xFFFFFFFE;
constexpr DWORD kLockOffsetHigh = 0x7FFFFFFF;

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

UniqueFile OpenForAppend(const std::string& path, ULONGLONG deadline) {
    for (;;) {
        // Read access as well: LockFileEx wants a handle opened for reading or writing, and an
        // append-only handle has neither.
        UniqueFile file(CreateFileA(path.c_str(), GENERIC_READ | FILE_APPEND_DATA,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
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
    std::string line;
    line.reserve(text.size() + 2);
    line.append(text).append("\r\n");
    if (line.size() > MAXDWORD) {
        return Status::Failed(ERROR_INVALID_PARAMETER);
    }

    const ULONGLONG deadline = GetTickCount64() + kWaitMs;
    const UniqueFile file = OpenForAppend(path, deadline);
    if (!file) {
        return LastError();
    }
    const WritersLock lock(file.get(), deadline);
    if (!lock) {
        return LastError();
    }
    DWORD written = 0;
    if (!WriteFile(file.get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr)) {
        return LastError();
    }
    return written == line.size() ? Status() : Status::Failed(ERROR_DISK_FULL);
}

Status ClearResultFile(const std::string& path) {
    // Emptied, not deleted: a run that opened the file a moment ago and waits for the lock would
    // otherwise write its line into a file that is about to vanish (Wine even opens such a file
    // afresh). Under the writers' lock every line lands either before the fresh start or after it.
    const UniqueFile file(CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        return GetLastError() == ERROR_FILE_NOT_FOUND ? Status() : LastError();
    }
    // Windows refuses to open a read-only file for writing; Wine run by root does not. The old lines
    // of a read-only log are kept either way.
    BY_HANDLE_FILE_INFORMATION info{};
    if (GetFileInformationByHandle(file.get(), &info) &&
        (info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0) {
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
