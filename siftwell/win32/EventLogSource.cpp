#include <windows.h>

#include <new>
#include <stdexcept>

#include "siftwell/win32/Adapters.h"
#include "UniqueHandle.h"

namespace zandrel::siftwell {
namespace {

using UniqueEventLog = UniqueHandle<NullHandleTraits<HANDLE, &CloseEventLog>>;
constexpr DWORD kReadFlags = EVENTLOG_SEQUENTIAL_READ | EVENTLOG_FORWARDS_READ;

Failure LastError() {
    return Failure{static_cast<std::int32_t>(GetLastError()), {}};
}

class Win32EventLogReader : public EventLogReader {
  public:
    Win32EventLogReader(HANDLE log, ReadEventLogCall readEventLog) : log_(log), readEventLog_(readEventLog) {}

    Result<std::uint32_t> CountRecords() override {
        DWORD records = 0;
        if (!GetNumberOfEventLogRecords(log_.get(), &records)) {
            return LastError();
        }
        return std::uint32_t{records};
    }

    Result<std::vector<unsigned char>> ReadNextRecord() override {
        // No record fits in one byte: the call fails and tells the next record's length.
        unsigned char probe[1];
        DWORD read = 0;
        DWORD needed = 0;
        readEventLog_(log_.get(), kReadFlags, 0, probe, sizeof probe, &read, &needed);

        // A probe that failed for another reason (end of the log, log changed, host gone) tells no
        // length; the read still gets a real buffer, so that its error is the system's own.
        const DWORD size = needed > sizeof probe ? needed : sizeof probe;
        std::vector<unsigned char> record;
        try {
            record.resize(size);
        } catch (const std::bad_alloc&) {
            // A length no memory can hold: the record is unreadable like any other.
            return Failure{ERROR_NOT_ENOUGH_MEMORY, {}};
        } catch (const std::length_error&) {
            // The same where the length is beyond what a vector can address (a 32-bit build).
            return Failure{ERROR_NOT_ENOUGH_MEMORY, {}};
        }
        if (!readEventLog_(log_.get(), kReadFlags, 0, record.data(), size, &read, &needed)) {
            return LastError();
        }
        record.resize(read < record.size() ? read : record.size());
        return record;
    }

  private:
    UniqueEventLog log_;
    ReadEventLogCall readEventLog_;
};

}  // namespace

Result<std::unique_ptr<EventLogReader>> Win32EventSource::Open(const std::string& serverName,
                                                               const std::string& logName) {
    HANDLE log = OpenEventLogA(serverName.c_str(), logName.c_str());
    if (log == nullptr) {
        return LastError();
    }
    return std::make_unique<Win32EventLogReader>(log, readEventLog_);
}

}  // namespace zandrel::siftwell
