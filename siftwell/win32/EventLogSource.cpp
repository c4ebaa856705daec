#include <windows.h>

#include <cstddef>
#include <new>

#include "siftwell/win32/Adapters.h"
#include "LastError.h"
#include "UniqueHandle.h"
#include "siftwell/core/eventlog.h"

namespace zandrel::siftwell {
namespace {

// The pass reads the records it is handed by the layout the system gives them.
static_assert(sizeof(EVENTLOGRECORD) == kRecordFixedPartSize);
static_assert(offsetof(EVENTLOGRECORD, TimeGenerated) == kTimeGeneratedOffset);
static_assert(offsetof(EVENTLOGRECORD, EventID) == kEventIdOffset);
static_assert(offsetof(EVENTLOGRECORD, EventType) == kEventTypeOffset);
static_assert(offsetof(EVENTLOGRECORD, StringOffset) == kStringOffsetOffset);
static_assert(offsetof(EVENTLOGRECORD, DataOffset) == kDataOffsetOffset);
static_assert(sizeof(EVENTLOGRECORD::TimeGenerated) == 4 && sizeof(EVENTLOGRECORD::EventID) == 4 &&
              sizeof(EVENTLOGRECORD::EventType) == 2 && sizeof(EVENTLOGRECORD::StringOffset) == 4 &&
              sizeof(EVENTLOGRECORD::DataOffset) == 4);

using UniqueEventLog = UniqueHandle<NullHandleTraits<HANDLE, &CloseEventLog>>;
constexpr DWORD kReadFlags = EVENTLOG_SEQUENTIAL_READ | EVENTLOG_FORWARDS_READ;

class Win32EventLogReader : public EventLogReader {
  public:
    Win32EventLogReader(HANDLE log, ReadEventLogCall readEventLog) : log_(log), readEventLog_(readEventLog) {}

    Result<std::uint32_t> CountRecords() override {
        DWORD records = 0;
        if (!GetNumberOfEventLogRecords(log_.get(), &records)) {
            return LastErrorFailure();
        }
        return std::uint32_t{records};
    }

    RecordProbe ProbeNextRecord() override {
        // No record fits in one byte: the call fails and tells the next record's length.
        unsigned char probe[1];
        DWORD read = 0;
        DWORD needed = 0;
        if (readEventLog_(log_.get(), kReadFlags, 0, probe, sizeof probe, &read, &needed)) {
            return {};
        }
        const auto error = static_cast<std::int32_t>(GetLastError());
        return {std::uint32_t{needed}, error};
    }

    Result<std::vector<unsigned char>> ReadNextRecord(std::uint32_t size) override {
        std::vector<unsigned char> record;
        try {
            record.resize(size);
        } catch (const std::bad_alloc&) {
            // No memory for the record: it is unreadable like any other.
            return Failure{ERROR_NOT_ENOUGH_MEMORY, {}};
        }
        DWORD read = 0;
        DWORD needed = 0;
        if (!readEventLog_(log_.get(), kReadFlags, 0, record.data(), size, &read, &needed)) {
            return LastErrorFailure();
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
        return LastErrorFailure();
    }
    return std::make_unique<Win32EventLogReader>(log, readEventLog_);
}

}  // namespace zandrel::siftwell
