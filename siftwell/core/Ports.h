// What the capture run needs from the operating system, as small interfaces: the Windows adapters
// implement them with the calls of the platform, the tests with fakes that can be told to fail.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Failure.h"
#include "ResultFile.h"
#include "Secret.h"
#include "TextCodec.h"

namespace zandrel::siftwell {

// A failed call reports the thread's last-error value, read on the line right after the call, as the
// failure's number.

// What a read of the next record into a buffer too small for any record tells: the error number it
// failed with (an insufficient buffer) and the record's length (0 when it told none).
struct RecordProbe {
    std::uint32_t length = 0;
    std::int32_t error = 0;
};

// One opened event log, read oldest first; closing it is the object's end.
class EventLogReader {
  public:
    virtual ~EventLogReader() = default;
    [[nodiscard]] virtual Result<std::uint32_t> CountRecords() = 0;
    // The size probe: does not advance the read position.
    [[nodiscard]] virtual RecordProbe ProbeNextRecord() = 0;
    // The next record, read with a buffer of `size` bytes; handed back in a buffer of exactly its length.
    [[nodiscard]] virtual Result<std::vector<unsigned char>> ReadNextRecord(std::uint32_t size) = 0;
};

class EventSource {
  public:
    virtual ~EventSource() = default;
    // An empty server name means this computer.
    [[nodiscard]] virtual Result<std::unique_ptr<EventLogReader>> Open(const std::string& serverName,
                                                                       const std::string& logName) = 0;
};

// The ten insertion strings of one message, slot 1 first; an unset slot reaches the system as null.
using MessageArgs = std::array<std::optional<std::string>, 10>;

// What the system reads for a message's inserts: one entry for each of %1 to %99, each a narrow
// string (a null entry shows as the system shows one).
inline constexpr std::size_t kInsertTableSize = 99;
using InsertArguments = std::array<const char*, kInsertTableSize>;

// One source's registration key, open until the object's end.
class SourceRegistration {
  public:
    virtual ~SourceRegistration() = default;
    // The EventMessageFile value as stored; nothing when the key holds none.
    [[nodiscard]] virtual Result<std::optional<std::string>> MessageFileValue() = 0;
};

// The messages of one message file (or, where it has none or could not be loaded, the system's own
// table), loaded once for all that is asked of it and released at the object's end.
class MessageModule {
  public:
    virtual ~MessageModule() = default;
    // The message as written, its inserts untouched.
    [[nodiscard]] virtual Result<std::string> Template(std::uint32_t eventId) = 0;
    // The message with its inserts read from `inserts`.
    [[nodiscard]] virtual Result<std::string> Format(std::uint32_t eventId,
                                                     const InsertArguments& inserts) = 0;
};

// The local registry's event source registrations and their message files.
class MessageCatalogue {
  public:
    virtual ~MessageCatalogue() = default;
    // A failure when the source has no key under the log that can be opened.
    [[nodiscard]] virtual Result<std::unique_ptr<SourceRegistration>> OpenSource(
        const std::string& logName, const std::string& sourceName) = 0;
    // The text with its environment references expanded.
    [[nodiscard]] virtual Result<std::string> ExpandEnvironment(const std::string& text) = 0;
    // The message file by its name, an empty name loading none; a file that cannot be loaded leaves
    // the system's table alone to answer.
    [[nodiscard]] virtual std::unique_ptr<MessageModule> LoadMessages(const std::string& messageFile) = 0;
};

class NetworkSession {
  public:
    virtual ~NetworkSession() = default;
    // A refusal carries the network error number. The password goes as the characters the settings
    // file holds: the ANSI call would make a wide copy of its own for the network provider.
    virtual Status AddConnection(const std::string& remoteName, const std::string& userName,
                                 const WideSecret& password) = 0;
    virtual void CancelConnection(const std::string& remoteName) = 0;
    // The system's text for a network error number; `fromNetworkMessages` asks for the network
    // management message module to be searched first.
    // A failure carries the lookup's own error number.
    [[nodiscard]] virtual Result<std::string> NetworkMessage(std::int32_t error,
                                                             bool fromNetworkMessages) = 0;
    // A notice for whoever debugs the probe; it must never wait for anyone.
    virtual void Notify(std::string_view text) = 0;
};

class SystemErrors {
  public:
    virtual ~SystemErrors() = default;
    // The system's text for the number, untrimmed; empty when it has none.
    virtual std::string SystemErrorText(std::int32_t error) = 0;
};

// A calendar date and time of day, already shifted into the configured zone.
struct CivilTime {
    std::int64_t year = 1970;
    int month = 1;
    int day = 1;
    int hour = 0;
    int minute = 0;
    int second = 0;
};

class DateText {
  public:
    virtual ~DateText() = default;
    // The user's regional form: short date and long time, the date alone at midnight.
    [[nodiscard]] virtual Result<std::string> FormatDate(const CivilTime& time) = 0;
};

// The executable's directory as an ordinary file search sees it.
class LogFiles {
  public:
    virtual ~LogFiles() = default;
    // The name under which a search for `name` finds a file that is neither hidden nor system;
    // nothing when it finds none.
    [[nodiscard]] virtual Result<std::optional<std::string>> FindVisibleFile(const std::string& name) = 0;
    // Empties the log for the run's fresh start, safely against other runs appending at the time.
    virtual Status ClearLogFile(const std::string& name) = 0;
};

struct Platform {
    EventSource& events;
    MessageCatalogue& messages;
    NetworkSession& network;
    SystemErrors& errors;
    DateText& dates;
    ResultFile& log;
    LogFiles& files;
    const TextCodec& codec;  // the ANSI code page, in which event.conf is read when it has no mark
};

}  // namespace zandrel::siftwell
