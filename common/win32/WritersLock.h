// The writers' lock of the result files: an exclusive lock on one byte far beyond any real data,
// which every writer takes around its single write. Windows appends atomically on local volumes by
// itself; Wine and some redirectors do not. The lock never covers data, so readers are not disturbed.
#pragma once

#include <windows.h>

#include "Failure.h"
#include "ResultFileCalls.h"

namespace zandrel {

class WritersLock {
  public:
    // Takes the lock on `file`, asking again until `deadline` (a LockFileEx that waits would wait for
    // ever). Failed when another writer keeps it past the deadline (ERROR_LOCK_VIOLATION) or the file
    // refuses it. Where the file system has no byte-range locks at all, the line goes out without:
    // there the append itself is all there is.
    static Result<WritersLock> Take(const ResultFileCalls& calls, HANDLE file, ULONGLONG deadline);

    WritersLock(WritersLock&& other) noexcept;
    WritersLock& operator=(WritersLock&&) = delete;
    WritersLock(const WritersLock&) = delete;
    WritersLock& operator=(const WritersLock&) = delete;
    ~WritersLock();

    // Whether no other writer that keeps to the lock can be at the file.
    bool IsHeld() const noexcept { return file_ != nullptr; }

  private:
    WritersLock(const ResultFileCalls& calls, HANDLE file) : calls_(&calls), file_(file) {}

    const ResultFileCalls* calls_;
    HANDLE file_;  // null where the file system has no locks
};

}  // namespace zandrel
