// Fakes of the platform ports: they keep what they were asked and can be told to fail with a chosen
// error number.
#pragma once

#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "FakeTextCodec.h"
#include "MemoryResultFile.h"
#include "SecretCount.h"
#include "siftwell/core/Ports.h"

namespace zandrel::siftwell::testing {

class FakeEventSource : public EventSource {
  public:
    std::vector<std::vector<unsigned char>> records;
    std::optional<std::int32_t> openError;
    std::optional<std::int32_t> countError;
    // The read of record `readFailureAt` (0 first) fails with `readError`.
    std::optional<std::size_t> readFailureAt;
    std::int32_t readError = 0;
    // The size probe of record i reports this length instead of the record's own.
    std::map<std::size_t, std::uint32_t> probedLengths;
    std::vector<std::uint32_t> readSizes;  // the buffer size of each read

    std::vector<std::pair<std::string, std::string>> opened;  // server, log
    int closed = 0;
    std::size_t reads = 0;

    Result<std::unique_ptr<EventLogReader>> Open(const std::string& serverName,
                                                 const std::string& logName) override;
};

// Formats like the system does for the inserts a message refers to: %1 to %99 read the argument
// table (a null entry shows "(null)"), %% is a percent sign, %r a CR, %n a CR LF.
std::string FormatInserts(std::string_view pattern, const InsertArguments& inserts);

class FakeCatalogue : public MessageCatalogue {
  public:
    // (log, source) -> what a read of its EventMessageFile value answers: the text, nothing (a key
    // without the value) or the failure.
    std::map<std::pair<std::string, std::string>, Result<std::optional<std::string>>> registrations;
    std::map<std::string, std::string> environment;                         // "%Name%" -> text
    std::map<std::pair<std::string, std::uint32_t>, std::string> messages;  // (file, id) -> pattern
    std::map<std::uint32_t, std::string> systemMessages;                    // id -> pattern
    std::set<std::string> unexpandable;     // values whose environment expansion fails
    std::set<std::uint32_t> unformattable;  // messages whose template reads but whose formatting fails

    std::vector<std::string> formattedFiles;  // each file loaded
    std::vector<std::uint32_t> formattedIds;  // each message whose template was asked for
    std::vector<MessageArgs> formattedArgs;   // slots 1 to 10 of each table formatted with

    Result<std::unique_ptr<SourceRegistration>> OpenSource(const std::string& logName,
                                                           const std::string& sourceName) override;
    Result<std::string> ExpandEnvironment(const std::string& text) override;
    std::unique_ptr<MessageModule> LoadMessages(const std::string& messageFile) override;
};

class FakeNetwork : public NetworkSession {
  public:
    std::int32_t addResult = 0;
    std::map<std::int32_t, std::string> systemTexts;
    std::map<std::int32_t, std::string> networkTexts;  // what the network management module holds
    std::int32_t formatError = 317;

    std::vector<std::string> calls;  // "add \\host\ipc$ user pass", "cancel ...", "message 53 system"
    // Secrets still held at each later call (a refusal's message lookup, the cancellation).
    std::vector<std::size_t> secretsHeldAfterAdd;
    zandrel::testing::SecretCount secrets;  // made before, and so outliving, every secret of the run
    std::vector<std::string> notices;
    const std::string* journal = nullptr;  // event.log as it stood when the connection was cancelled
    std::string logAtCancel;

    Status AddConnection(const std::string& remoteName, const std::string& userName,
                         const WideSecret& password) override;
    void CancelConnection(const std::string& remoteName) override;
    Result<std::string> NetworkMessage(std::int32_t error, bool fromNetworkMessages) override;
    void Notify(std::string_view text) override { notices.emplace_back(text); }
};

class FakeSystemErrors : public SystemErrors {
  public:
    std::map<std::int32_t, std::string> texts = {{5, "Access denied.\r\n"}, {38, "Reached end of file.\r\n"}};
    std::string SystemErrorText(std::int32_t error) override;
};

// The United States form: 3/14/2006 9:26:53 AM, and the date alone at midnight.
class UsDateText : public DateText {
  public:
    std::optional<std::int32_t> failure;  // every date fails with it
    Result<std::string> FormatDate(const CivilTime& time) override;
};

class FakeLogFiles : public LogFiles {
  public:
    struct File {
        std::string name;
        bool hidden = false;
    };
    std::vector<File> files;
    std::optional<std::int32_t> findError;
    std::optional<std::int32_t> clearError;
    std::vector<std::string> cleared;

    Result<std::optional<std::string>> FindVisibleFile(const std::string& name) override;
    Status ClearLogFile(const std::string& name) override;
};

// All fakes together, as the run takes them.
struct FakePlatform {
    FakeEventSource events;
    FakeCatalogue messages;
    FakeNetwork network;
    FakeSystemErrors errors;
    UsDateText dates;
    zandrel::testing::MemoryResultFile log;
    FakeLogFiles files;
    zandrel::testing::FakeTextCodec codec;
    Platform platform{events, messages, network, errors, dates, log, files, codec};
    FakePlatform() { network.journal = &log.bytes; }
    FakePlatform(const FakePlatform&) = delete;
    FakePlatform& operator=(const FakePlatform&) = delete;
};

}  // namespace zandrel::siftwell::testing
