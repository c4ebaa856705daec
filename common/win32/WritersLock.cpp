#include "WritersLock.h"

#include <utility>

#include "LastError.h"

namespace zandrel {
namespace {

// The byte every writer locks: the last but one of the largest file offset, which no data reaches.
constexpr DWORD kLockOffsetLow = 0xFFFFFFFE;
constexpr DWORD kLockOffsetHigh = 0x7FFFFFFF;
constexpr DWORD kPollMs = 5;

OVERLAPPED LockedRange() {
    OVERLAPPED range{};
    range.Offset = kLockOffsetLow;
    range.OffsetHigh = kLockOffsetHigh;
    return range;
}

}  // namespace

Result<WritersLock> WritersLock::Take(const ResultFileCalls& calls, HANDLE file, ULONGLONG deadline) {
    for (;;) {
        OVERLAPPED range = LockedRange();
        if (calls.lockFile(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &range)) {
            return WritersLock(calls, file);
        }
        const Failure failure = LastErrorFailure();
        if (failure.number == ERROR_NOT_SUPPORTED || failure.number == ERROR_INVALID_FUNCTION) {
            return WritersLock(calls, nullptr);
        }
        if (failure.number != ERROR_LOCK_VIOLATION || calls.tickCount() >= deadline) {
            return failure;
        }
        calls.sleep(kPollMs);
    }
}

WritersLock::WritersLock(WritersLock&& other) noexcept
    : calls_(other.calls_), file_(std::exchange(other.file_, nullptr)) {}

WritersLock::~WritersLock() {
    if (file_ != nullptr) {
        // A lock left behind goes with the handle's close, only later on some systems.
        OVERLAPPED range = LockedRange();
        calls_->unlockFile(file_, 0, 1, 0, &range);
    }
}

}  // namespace zandrel
