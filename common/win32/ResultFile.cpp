// The Windows writer of the result files (ResultFileWriter.h): one for each file a run writes.
//
// FILE_APPEND_DATA without FILE_WRITE_DATA makes every write land at the current end of the file;
// the writers' lock (WritersLock.h) keeps overlapping runs' lines whole where the append alone does
// not. A line is whole or absent. Under the lock the append reads where the file ends; a write that
// fails or comes back short (a full drive: Wine then reports success with fewer bytes) is cut back to
// that end before the lock is released. Should even the cut be refused, the next append finds the
// file not ending in CR LF and puts one in front of its line, in the same write, so that a torn
// fragment never runs into the next record.
//
// The append and the fresh start make the same checks in the same order: the file opened (waiting
// out another run that holds it a moment, or a delete still pending), the writers' lock, the file's facts,
// the link checks (LinkCheck.h); only then is anything written. A file that a storage filter keeps (a reparse
// point that is no link) is read, written and cut through a second handle of the same open file without
// FILE_FLAG_OPEN_REPARSE_POINT, on which the filter does its work. A file the append creates is private
// (PrivateFile.h); a file that exists keeps its permissions.
#include <windows.h>

#include <memory>
#include <string>
#include <string_view>

#include "LastError.h"
#include "LinkCheck.h"
#include "PrivateFile.h"
#include "ResultFile.h"
#include "ResultFileCalls.h"
#include "ResultFileWriter.h"
#include "UniqueHandle.h"
#include "WritersLock.h"

namespace zandrel {
namespace {

// How long a line or a fresh start may wait for the file or the writers' lock before it fails.
constexpr ULONGLONG kWaitMs = 5000;
constexpr DWORD kPollMs = 5;

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// Every open sees a link itself rather than what it leads to.
constexpr DWORD kOpenFlags = FILE_FLAG_OPEN_REPARSE_POINT;

// Whether an open that was refused may pass in a moment: only another run holding the file without
// sharing, or a delete still pending (someone removing the log while runs write to it). Windows
// refuses every open of a file whose delete is pending with ERROR_ACCESS_DENIED, as it refuses a
// file that the account's rights deny, a read-only file and a folder in the file's place, none of
// which waiting helps. An open that asks no access at all (which CreateFile documents for reading
// a file's metadata even where reading the file is denied) tells them apart: it is refused only a
// file whose delete is pending, and a file that does open tells by its DeletePending. `created`:
// the open that was refused was the create of a file that was absent a moment ago, which a folder
// that may not be written refuses.
bool MayPass(const ResultFileCalls& calls, const std::string& path, const Failure& failure, bool created) {
    if (failure.number == ERROR_SHARING_VIOLATION || failure.number == ERROR_LOCK_VIOLATION ||
        failure.number == ERROR_DELETE_PENDING) {
        return true;
    }
    if (failure.number != ERROR_ACCESS_DENIED) {
        return false;
    }
    // With backup semantics, so that a folder in the file's place opens too.
    const UniqueFile probe(calls.createFile(path.c_str(), 0, kShareAll, nullptr, OPEN_EXISTING,
                                            kOpenFlags | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!probe) {
        const DWORD error = GetLastError();
        // Gone: the delete went through, and the next open creates the file; unless the create was
        // what was refused, which found the name free.
        return error == ERROR_ACCESS_DENIED || error == ERROR_DELETE_PENDING ||
               (error == ERROR_FILE_NOT_FOUND && !created);
    }
    FILE_STANDARD_INFO standard{};
    return calls.getFileInformation(probe.get(), FileStandardInfo, &standard, sizeof standard) &&
           standard.DeletePending;
}

enum class Purpose { Append, FreshStart };

// The append reads as well: LockFileEx wants a handle opened for reading or writing, and an
// append-only handle has neither; the append also reads the file's last bytes.
DWORD AccessFor(Purpose purpose) {
    return purpose == Purpose::Append ? GENERIC_READ | FILE_APPEND_DATA : GENERIC_READ | GENERIC_WRITE;
}

Result<UniqueFile> OpenOnce(const ResultFileCalls& calls, const std::string& path, Purpose purpose,
                            DWORD disposition, SECURITY_ATTRIBUTES* security) {
    UniqueFile file(calls.createFile(path.c_str(), AccessFor(purpose), kShareAll, security, disposition,
                                     kOpenFlags, nullptr));
    if (!file) {
        return LastErrorFailure();
    }
    return file;
}

// Opens the result file, waiting until `deadline` while another run holds it. The append creates a
// file that is absent; the fresh start fails with ERROR_FILE_NOT_FOUND for it.
Result<UniqueFile> OpenResultFile(const ResultFileCalls& calls, const std::string& path, Purpose purpose,
                                  ULONGLONG deadline) {
    // How often the name was taken for the create yet absent for the open.
    int nowhere = 0;
    for (;;) {
        bool created = false;
        Result<UniqueFile> file = OpenOnce(calls, path, purpose, OPEN_EXISTING, nullptr);
        const Failure* failure = FailureOf(file);
        if (failure != nullptr && failure->number == ERROR_FILE_NOT_FOUND && purpose == Purpose::Append) {
            // Only a file that this open creates takes the descriptor; one that cannot be made fails
            // the line at once. CREATE_NEW rather than OPEN_ALWAYS: a symbolic link that leads nowhere
            // would have the target created through it (Wine does so with a Unix one), while this
            // create refuses any name that is taken.
            Result<PrivateFileSecurity> security = PrivateFileSecurity::Make(calls);
            if (const Failure* refused = FailureOf(security)) {
                return *refused;
            }
            file = OpenOnce(calls, path, purpose, CREATE_NEW, ValueOf(security).Attributes());
            failure = FailureOf(file);
            created = true;
            if (failure != nullptr && failure->number == ERROR_FILE_EXISTS) {
                // Another run created the file in the meantime, and it keeps its own descriptor; a
                // name that stays taken yet cannot be opened is a link to nothing.
                if (++nowhere >= 3) {
                    return Failure{kLinkRefused, {}};
                }
                continue;
            }
        }
        if (failure == nullptr || !MayPass(calls, path, *failure, created) || calls.tickCount() >= deadline) {
            return file;
        }
        calls.sleep(kPollMs);
    }
}

// Whether the file, `end` bytes long, is empty or ends with CR LF.
Result<bool> EndsALine(const ResultFileCalls& calls, HANDLE file, LONGLONG end) {
    if (end == 0) {
        return true;
    }
    LARGE_INTEGER at{};
    at.QuadPart = end >= 2 ? end - 2 : 0;
    // Through the handle's position rather than an OVERLAPPED offset, which Wine completes through
    // its server at ten times the cost. The position means nothing to the append, which always
    // lands at the end.
    if (!calls.setFilePointer(file, at, nullptr, FILE_BEGIN)) {
        return LastErrorFailure();
    }
    char last[2] = {};
    DWORD read = 0;
    if (!calls.readFile(file, last, 2, &read, nullptr)) {
        return LastErrorFailure();
    }
    return read == 2 && last[0] == '\r' && last[1] == '\n';
}

// Takes the file back to `end`, where it stood before the line. Under the writers' lock every byte
// after it is this line's; without locks (a file system that has none) the cut is made only while
// the file ends with exactly this line's own bytes.
// `flags` are those that `file` was opened with.
Status CutBack(const ResultFileCalls& calls, HANDLE file, DWORD flags, LONGLONG end, DWORD written,
               bool exclusive) {
    FILE_STANDARD_INFO standard{};
    if (!calls.getFileInformation(file, FileStandardInfo, &standard, sizeof standard)) {
        return LastErrorFailure();
    }
    const LONGLONG now = standard.EndOfFile.QuadPart;
    if (now <= end || (!exclusive && now != end + written)) {
        return Status();
    }
    // The append handle may not set the end, and FILE_WRITE_DATA on it would make its writes land
    // at the file position instead of the end: a second handle, of this open file rather than of the
    // path, which may name another file by now.
    const UniqueFile cutter(calls.reOpenFile(file, FILE_WRITE_DATA, kShareAll, flags));
    if (!cutter) {
        return LastErrorFailure();
    }
    FILE_END_OF_FILE_INFO endOfFile{};
    endOfFile.EndOfFile.QuadPart = end;
    if (!calls.setFileInformation(cutter.get(), FileEndOfFileInfo, &endOfFile, sizeof endOfFile)) {
        return LastErrorFailure();
    }
    return Status();
}

// The result file opened, locked and checked: what the append and the fresh start both start from.
struct CheckedFile {
    UniqueFile file;
    // For a file that a storage filter keeps (a reparse point that is no link): the same open file
    // without FILE_FLAG_OPEN_REPARSE_POINT, so that the filter reads and writes its data.
    UniqueFile throughFilter;
    WritersLock lock;  // after the file: released before it is closed
    FileFacts facts;   // as the handle that reads and writes shows them
    Proof proof;

    // The handle that reads, writes and cuts the file, and the flags it was opened with.
    HANDLE Data() const noexcept { return throughFilter ? throughFilter.get() : file.get(); }
    DWORD DataFlags() const noexcept { return throughFilter ? 0 : kOpenFlags; }
};

Result<CheckedFile> OpenChecked(const ResultFileCalls& calls, const std::string& path, Purpose purpose,
                                KnownFile& known) {
    const ULONGLONG deadline = calls.tickCount() + kWaitMs;
    Result<UniqueFile> file = OpenResultFile(calls, path, purpose, deadline);
    if (const Failure* failure = FailureOf(file)) {
        return *failure;
    }
    Result<WritersLock> lock = WritersLock::Take(calls, ValueOf(file).get(), deadline);
    if (const Failure* failure = FailureOf(lock)) {
        return *failure;
    }
    Result<FileFacts> facts = ReadFacts(calls, ValueOf(file).get());
    if (const Failure* failure = FailureOf(facts)) {
        return *failure;
    }
    UniqueFile throughFilter;
    if (!ValueOf(facts).link && ValueOf(facts).storage) {
        // Under the lock taken on the first handle, and of the very file that was checked; its size
        // and times as the filter shows them.
        throughFilter.reset(calls.reOpenFile(ValueOf(file).get(), AccessFor(purpose), kShareAll, 0));
        if (!throughFilter) {
            return LastErrorFailure();
        }
        facts = ReadFacts(calls, throughFilter.get());
        if (const Failure* failure = FailureOf(facts)) {
            return *failure;
        }
    }
    const Result<Proof> proof = RefuseLinks(calls, ValueOf(file).get(), path, ValueOf(facts), known);
    if (const Failure* failure = FailureOf(proof)) {
        return *failure;
    }
    return CheckedFile{std::move(ValueOf(file)), std::move(throughFilter), std::move(ValueOf(lock)),
                       ValueOf(facts), ValueOf(proof)};
}

}  // namespace

Status ResultFileWriter::Append(std::string_view text) {
    // With the CR LF that goes in front when the file does not end a line.
    std::string line;
    line.reserve(text.size() + 4);
    line.append("\r\n").append(text).append("\r\n");
    if (line.size() > MAXDWORD) {
        return Status::Failed(ERROR_INVALID_PARAMETER);
    }
    const Result<CheckedFile> checked = OpenChecked(calls_, path_, Purpose::Append, known_);
    if (const Failure* failure = FailureOf(checked)) {
        return *failure;
    }
    const HANDLE file = ValueOf(checked).Data();
    const DWORD flags = ValueOf(checked).DataFlags();
    const LONGLONG end = ValueOf(checked).facts.end;
    // A file as this writer's last line left it ends with that line's CR LF. What cannot be read counts
    // as a line's end: the line then goes out as it is.
    const Result<bool> endsALine =
        ValueOf(checked).proof == Proof::AsLeft ? Result<bool>(true) : EndsALine(calls_, file, end);
    const std::string_view bytes =
        FailureOf(endsALine) || ValueOf(endsALine) ? std::string_view(line).substr(2) : line;
    DWORD written = 0;
    if (calls_.writeFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr)) {
        if (written == bytes.size()) {
            // Still under the lock, so that no other writer's line comes in between; should the file's
            // stamp not be had, the next line asks afresh.
            if (ValueOf(checked).proof != Proof::Untold && ValueOf(checked).lock.IsHeld()) {
                static_cast<void>(KeepAsLeft(calls_, file, end + written, known_));
            }
            return Status();
        }
        // A write that succeeds short of the whole line ran out of room (Wine reports a full drive so).
        // A cut that is refused leaves the fragment: the next line starts with CR LF.
        static_cast<void>(CutBack(calls_, file, flags, end, written, ValueOf(checked).lock.IsHeld()));
        return Status::Failed(ERROR_DISK_FULL);
    }
    const Failure failed = LastErrorFailure();
    static_cast<void>(CutBack(calls_, file, flags, end, written, ValueOf(checked).lock.IsHeld()));
    return failed;
}

Status ResultFileWriter::Clear() {
    // Emptied, not deleted: a run that opened the file a moment ago and waits for the lock would
    // otherwise write its line into a file that is about to vanish (Wine even opens such a file
    // afresh), and the permissions that an administrator gave the file stay as they are. Under the
    // writers' lock every line lands either before the fresh start or after it.
    const Result<CheckedFile> checked = OpenChecked(calls_, path_, Purpose::FreshStart, known_);
    if (const Failure* failure = FailureOf(checked)) {
        return failure->number == ERROR_FILE_NOT_FOUND ? Status() : Status(*failure);
    }
    // Windows refuses to open a read-only file for writing; Wine run by root does not. The old lines
    // of a read-only log are kept either way.
    if (ValueOf(checked).facts.readOnly) {
        return Status::Failed(ERROR_ACCESS_DENIED);
    }
    FILE_END_OF_FILE_INFO endOfFile{};
    if (!calls_.setFileInformation(ValueOf(checked).Data(), FileEndOfFileInfo, &endOfFile,
                                   sizeof endOfFile)) {
        return LastErrorFailure();
    }
    return Status();
}

Status AppendResultLine(const std::string& path, std::string_view text) {
    return ResultFileWriter(path).Append(text);
}

Status ClearResultFile(const std::string& path) {
    return ResultFileWriter(path).Clear();
}

ResultFileAt::ResultFileAt(std::string_view directory, std::string_view fileName)
    : writer_(std::make_unique<ResultFileWriter>(JoinPath(directory, fileName))) {}

ResultFileAt::~ResultFileAt() = default;

Status ResultFileAt::AppendLine(std::string_view text) {
    return writer_->Append(text);
}

}  // namespace zandrel
