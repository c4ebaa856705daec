// The platform ports of the probe, implemented with the Windows calls (ANSI forms) and nothing else.
#pragma once

#include <windows.h>

#include <string>

#include "siftwell/core/Ports.h"

namespace zandrel::siftwell {

// The two calls whose answers Wine cannot be made to give (a log that fails a read with a chosen
// error, an expansion that needs its documented extra character) can be replaced in tests.
using ReadEventLogCall = decltype(&ReadEventLogA);
using ExpandEnvironmentCall = decltype(&ExpandEnvironmentStringsA);

// OpenEventLogA, GetNumberOfEventLogRecords, ReadEventLogA, CloseEventLog.
class Win32EventSource : public EventSource {
  public:
    explicit Win32EventSource(ReadEventLogCall readEventLog = &ReadEventLogA) : readEventLog_(readEventLog) {}
    Result<std::unique_ptr<EventLogReader>> Open(const std::string& serverName,
                                                 const std::string& logName) override;

  private:
    ReadEventLogCall readEventLog_;
};

// The registry's event source registrations, ExpandEnvironmentStringsA, and FormatMessageA over a
// message file loaded as data.
class Win32MessageCatalogue : public MessageCatalogue {
  public:
    explicit Win32MessageCatalogue(ExpandEnvironmentCall expand = &ExpandEnvironmentStringsA)
        : expand_(expand) {}
    Result<std::unique_ptr<SourceRegistration>> OpenSource(const std::string& logName,
                                                           const std::string& sourceName) override;
    Result<std::string> ExpandEnvironment(const std::string& text) override;
    std::unique_ptr<MessageModule> LoadMessages(const std::string& messageFile) override;

  private:
    ExpandEnvironmentCall expand_;
};

// WNetAddConnection2W, WNetCancelConnection2A, and the network error texts.
class Win32NetworkSession : public NetworkSession {
  public:
    Status AddConnection(const std::string& remoteName, const std::string& userName,
                         const WideSecret& password) override;
    void CancelConnection(const std::string& remoteName) override;
    Result<std::string> NetworkMessage(std::int32_t error, bool fromNetworkMessages) override;
    void Notify(std::string_view text) override;
};

class Win32SystemErrors : public SystemErrors {
  public:
    std::string SystemErrorText(std::int32_t error) override;
};

// VarBstrFromDate under the user's regional settings.
class Win32DateText : public DateText {
  public:
    Result<std::string> FormatDate(const CivilTime& time) override;
};

// FindFirstFileA, and the result files' fresh start, in one directory.
class Win32LogFiles : public LogFiles {
  public:
    explicit Win32LogFiles(std::string directory) : directory_(std::move(directory)) {}
    Result<std::optional<std::string>> FindVisibleFile(const std::string& name) override;
    Status ClearLogFile(const std::string& name) override;

  private:
    std::string directory_;
};

}  // namespace zandrel::siftwell
