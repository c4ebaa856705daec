#include "siftwell/tests/Fakes.h"

#include <algorithm>
#include <cctype>

namespace zandrel::siftwell::testing {
namespace {

constexpr std::int32_t kInsufficientBuffer = 122;

class FakeReader : public EventLogReader {
  public:
    explicit FakeReader(FakeEventSource& source) : source_(source) {}
    ~FakeReader() override { ++source_.closed; }

    Result<std::uint32_t> CountRecords() override {
        if (source_.countError) {
            return Failure{*source_.countError, {}};
        }
        return static_cast<std::uint32_t>(source_.records.size());
    }

    RecordProbe ProbeNextRecord() override {
        const std::size_t index = source_.reads;
        if (index >= source_.records.size()) {
            return {0, 38};  // end of the log
        }
        const auto probed = source_.probedLengths.find(index);
        return {probed != source_.probedLengths.end()
                    ? probed->second
                    : static_cast<std::uint32_t>(source_.records[index].size()),
                kInsufficientBuffer};
    }

    Result<std::vector<unsigned char>> ReadNextRecord(std::uint32_t size) override {
        const std::size_t index = source_.reads++;
        source_.readSizes.push_back(size);
        if (source_.readFailureAt && *source_.readFailureAt == index) {
            return Failure{source_.readError, {}};
        }
        if (index >= source_.records.size()) {
            return Failure{38, {}};  // end of the log
        }
        if (size < source_.records[index].size()) {
            return Failure{kInsufficientBuffer, {}};
        }
        return source_.records[index];
    }

  private:
    FakeEventSource& source_;
};

constexpr std::int32_t kKeyNotFound = 2;
constexpr std::int32_t kMessageNotFound = 317;
constexpr std::int32_t kNotEnoughMemory = 8;

class FakeRegistration : public SourceRegistration {
  public:
    explicit FakeRegistration(Result<std::optional<std::string>> value) : value_(std::move(value)) {}
    Result<std::optional<std::string>> MessageFileValue() override { return value_; }

  private:
    Result<std::optional<std::string>> value_;
};

class FakeMessages : public MessageModule {
  public:
    FakeMessages(FakeCatalogue& catalogue, std::string file)
        : catalogue_(catalogue), file_(std::move(file)) {}

    Result<std::string> Template(std::uint32_t eventId) override {
        catalogue_.formattedIds.push_back(eventId);
        const std::string* pattern = Find(eventId);
        if (pattern == nullptr) {
            return Failure{kMessageNotFound, {}};
        }
        return *pattern;
    }

    Result<std::string> Format(std::uint32_t eventId, const InsertArguments& inserts) override {
        MessageArgs args;
        for (std::size_t i = 0; i < args.size(); ++i) {
            if (inserts[i] != nullptr) {
                args[i] = inserts[i];
            }
        }
        catalogue_.formattedArgs.push_back(args);
        const std::string* pattern = Find(eventId);
        if (pattern == nullptr) {
            return Failure{kMessageNotFound, {}};
        }
        if (catalogue_.unformattable.contains(eventId)) {
            return Failure{kInsufficientBuffer, {}};
        }
        return FormatInserts(*pattern, inserts);
    }

  private:
    const std::string* Find(std::uint32_t eventId) const {
        if (const auto found = catalogue_.messages.find({file_, eventId});
            found != catalogue_.messages.end()) {
            return &found->second;
        }
        if (const auto system = catalogue_.systemMessages.find(eventId);
            system != catalogue_.systemMessages.end()) {
            return &system->second;
        }
        return nullptr;
    }

    FakeCatalogue& catalogue_;
    std::string file_;
};

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

}  // namespace

Result<std::unique_ptr<EventLogReader>> FakeEventSource::Open(const std::string& serverName,
                                                              const std::string& logName) {
    opened.emplace_back(serverName, logName);
    if (openError) {
        return Failure{*openError, {}};
    }
    return std::make_unique<FakeReader>(*this);
}

std::string FormatInserts(std::string_view pattern, const InsertArguments& table) {
    std::string text;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] != '%' || i + 1 == pattern.size()) {
            text += pattern[i];
            continue;
        }
        const char next = pattern[i + 1];
        if (next >= '1' && next <= '9') {
            std::size_t number = static_cast<std::size_t>(next - '0');
            ++i;
            if (i + 1 < pattern.size() && pattern[i + 1] >= '0' && pattern[i + 1] <= '9') {
                number = number * 10 + static_cast<std::size_t>(pattern[++i] - '0');
            }
            const char* insert = table.at(number - 1);
            text += insert != nullptr ? insert : "(null)";
        } else if (next == 'r') {
            text += '\r';
            ++i;
        } else if (next == 'n') {
            text += "\r\n";
            ++i;
        } else {
            text += next;
            ++i;
        }
    }
    return text;
}

Result<std::unique_ptr<SourceRegistration>> FakeCatalogue::OpenSource(const std::string& logName,
                                                                      const std::string& sourceName) {
    const auto found = registrations.find({logName, sourceName});
    if (found == registrations.end()) {
        return Failure{kKeyNotFound, {}};
    }
    return std::make_unique<FakeRegistration>(found->second);
}

Result<std::string> FakeCatalogue::ExpandEnvironment(const std::string& text) {
    if (unexpandable.contains(text)) {
        return Failure{kNotEnoughMemory, {}};
    }
    std::string expanded = text;
    for (const auto& [name, value] : environment) {
        for (std::size_t at = expanded.find(name); at != std::string::npos; at = expanded.find(name, at)) {
            expanded.replace(at, name.size(), value);
            at += value.size();
        }
    }
    return expanded;
}

std::unique_ptr<MessageModule> FakeCatalogue::LoadMessages(const std::string& messageFile) {
    formattedFiles.push_back(messageFile);
    return std::make_unique<FakeMessages>(*this, messageFile);
}

Status FakeNetwork::AddConnection(const std::string& remoteName, const std::string& userName,
                                  const WideSecret& password) {
    const std::u16string_view text = password.View();
    calls.push_back("add " + remoteName + " " + userName + " " + std::string(text.begin(), text.end()));
    return addResult == 0 ? Status() : Status::Failed(addResult);
}

void FakeNetwork::CancelConnection(const std::string& remoteName) {
    calls.push_back("cancel " + remoteName);
    secretsHeldAfterAdd.push_back(secrets.Held());
    if (journal != nullptr) {
        logAtCancel = *journal;
    }
}

Result<std::string> FakeNetwork::NetworkMessage(std::int32_t error, bool fromNetworkMessages) {
    calls.push_back("message " + std::to_string(error) + (fromNetworkMessages ? " netmsg" : " system"));
    secretsHeldAfterAdd.push_back(secrets.Held());
    if (fromNetworkMessages) {
        if (const auto found = networkTexts.find(error); found != networkTexts.end()) {
            return found->second;
        }
    }
    if (const auto found = systemTexts.find(error); found != systemTexts.end()) {
        return found->second;
    }
    return Failure{formatError, {}};
}

std::string FakeSystemErrors::SystemErrorText(std::int32_t error) {
    const auto found = texts.find(error);
    return found == texts.end() ? std::string() : found->second;
}

Result<std::string> UsDateText::FormatDate(const CivilTime& time) {
    if (failure) {
        return Failure{*failure, {}};
    }
    std::string text =
        std::to_string(time.month) + "/" + std::to_string(time.day) + "/" + std::to_string(time.year);
    if (time.hour == 0 && time.minute == 0 && time.second == 0) {
        return text;
    }
    const int hour12 = time.hour % 12 == 0 ? 12 : time.hour % 12;
    const auto twoDigits = [](int value) {
        std::string digits;
        if (value < 10) {
            digits += '0';
        }
        digits += std::to_string(value);
        return digits;
    };
    return text + " " + std::to_string(hour12) + ":" + twoDigits(time.minute) + ":" + twoDigits(time.second) +
           (time.hour < 12 ? " AM" : " PM");
}

Result<std::optional<std::string>> FakeLogFiles::FindVisibleFile(const std::string& name) {
    if (findError) {
        return Failure{*findError, {}};
    }
    for (const File& file : files) {
        if (!file.hidden && Lower(file.name) == Lower(name)) {
            return std::optional<std::string>(file.name);
        }
    }
    return std::nullopt;
}

Status FakeLogFiles::ClearLogFile(const std::string& name) {
    if (clearError) {
        return Status::Failed(*clearError);
    }
    cleared.push_back(name);
    std::erase_if(files, [&](const File& file) { return file.name == name; });
    return {};
}

}  // namespace zandrel::siftwell::testing
