#include "siftwell/core/eventlog.h"

#include "siftwell/core/Lines.h"

namespace zandrel::siftwell {
namespace {

std::uint32_t ReadUint32(std::span<const unsigned char> bytes, std::size_t offset) {
    return static_cast<std::uint32_t>(bytes[offset]) | static_cast<std::uint32_t>(bytes[offset + 1]) << 8 |
           static_cast<std::uint32_t>(bytes[offset + 2]) << 16 |
           static_cast<std::uint32_t>(bytes[offset + 3]) << 24;
}

std::uint16_t ReadUint16(std::span<const unsigned char> bytes, std::size_t offset) {
    return static_cast<std::uint16_t>(bytes[offset] | bytes[offset + 1] << 8);
}

std::string_view TextAt(std::span<const unsigned char> bytes, std::size_t begin, std::size_t end) {
    return {reinterpret_cast<const char*>(bytes.data()) + begin, end - begin};
}

// Days from 1970-01-01 to a civil date and back (proleptic Gregorian calendar).
CivilTime CivilFromDays(std::int64_t days) {
    days += 719468;
    const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const std::int64_t dayOfEra = days - era * 146097;
    const std::int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const std::int64_t shiftedMonth = (5 * dayOfYear + 2) / 153;
    CivilTime time;
    time.day = static_cast<int>(dayOfYear - (153 * shiftedMonth + 2) / 5 + 1);
    time.month = static_cast<int>(shiftedMonth < 10 ? shiftedMonth + 3 : shiftedMonth - 9);
    time.year = yearOfEra + era * 400 + (time.month <= 2 ? 1 : 0);
    return time;
}

}  // namespace

Result<std::vector<unsigned char>> ReadNextEvent(EventLogReader& reader) {
    const RecordProbe probe = reader.ProbeNextRecord();
    if (probe.length > kLargestRecordRead) {
        return Failure{probe.error, {}};
    }
    return reader.ReadNextRecord(probe.length > 0 ? probe.length : 1);
}

std::optional<EventRecord> ParseEventRecord(std::span<const unsigned char> record) {
    if (record.size() < kRecordFixedPartSize) {
        return std::nullopt;
    }
    EventRecord parsed;
    parsed.eventType = ReadUint16(record, kEventTypeOffset);
    parsed.eventId = ReadUint32(record, kEventIdOffset);
    parsed.timeGenerated = ReadUint32(record, kTimeGeneratedOffset);

    for (std::size_t end = kRecordFixedPartSize; end < record.size(); ++end) {
        if (record[end] == 0) {
            parsed.sourceName = TextAt(record, kRecordFixedPartSize, end);
            break;
        }
    }

    const std::uint32_t stringOffset = ReadUint32(record, kStringOffsetOffset);
    const std::uint32_t dataOffset = ReadUint32(record, kDataOffsetOffset);
    if (stringOffset >= kRecordFixedPartSize && stringOffset <= dataOffset && dataOffset <= record.size()) {
        parsed.insertionStrings = TextAt(record, stringOffset, dataOffset);
    }
    return parsed;
}

std::vector<std::string_view> SplitInsertionStrings(std::string_view block) {
    std::vector<std::string_view> parts;
    if (block.empty()) {
        return parts;
    }
    std::size_t begin = 0;
    for (;;) {
        const std::size_t nul = block.find('\0', begin);
        if (nul == std::string_view::npos) {
            parts.push_back(block.substr(begin));
            return parts;
        }
        parts.push_back(block.substr(begin, nul - begin));
        begin = nul + 1;
    }
}

MessageArgs FillMessageArgs(std::span<const std::string_view> parts) {
    MessageArgs args;
    for (std::size_t i = 0; i < parts.size() && i < args.size(); ++i) {
        args[i] = std::string(parts[i]);
    }
    return args;
}

bool ExpandMessage(MessageCatalogue& catalogue, std::uint32_t eventId, const std::string& sourceName,
                   std::string& messageText, const std::string& logName) {
    const Result<std::unique_ptr<SourceRegistration>> registration =
        catalogue.OpenSource(logName, sourceName);
    if (FailureOf(registration) != nullptr) {
        return false;
    }
    // Without a value, or with one that cannot be read or expanded, no file can be loaded: the
    // system's own table is then the only place the message can come from.
    std::string messageFile;
    if (const std::optional<std::string> stored =
            ValueOr(ValueOf(registration)->MessageFileValue(), std::optional<std::string>())) {
        messageFile = ValueOr(catalogue.ExpandEnvironment(*stored), std::string());
    }
    // Only the first file of a list is searched.
    if (const std::size_t semicolon = messageFile.find(';'); semicolon != std::string::npos) {
        messageFile.resize(semicolon);
    }
    const std::vector<std::string_view> parts = SplitInsertionStrings(messageText);
    const MessageArgs args = FillMessageArgs(parts);
    // The template is looked at before the system formats it, with the module loaded once for both.
    const std::unique_ptr<MessageModule> module = catalogue.LoadMessages(messageFile);
    const Result<std::string> messageTemplate = module->Template(eventId);
    if (FailureOf(messageTemplate) || HasUnsafeInsert(ValueOf(messageTemplate))) {
        return true;
    }
    const InsertArguments inserts = InsertTable(args);
    if (Result<std::string> formatted = module->Format(eventId, inserts); !FailureOf(formatted)) {
        messageText = std::move(ValueOf(formatted));
    }
    return true;
}

void ReplaceLineBreaks(std::string& text) {
    std::size_t pair = text.find("\r\n");
    if (pair == std::string::npos) {
        return;
    }
    std::size_t out = pair;
    for (std::size_t in = pair; in < text.size(); ++in) {
        if (text[in] == '\r' && in + 1 < text.size() && text[in + 1] == '\n') {
            text[out++] = ' ';
            ++in;
        } else {
            text[out++] = text[in];
        }
    }
    text.resize(out);
}

CivilTime EventTime(std::uint32_t timeGenerated, std::int16_t timeZoneHours) {
    constexpr std::int64_t kSecondsPerDay = 86400;
    const std::int64_t seconds = std::int64_t{timeGenerated} + std::int64_t{timeZoneHours} * 3600;
    std::int64_t days = seconds / kSecondsPerDay;
    std::int64_t secondOfDay = seconds % kSecondsPerDay;
    if (secondOfDay < 0) {
        secondOfDay += kSecondsPerDay;
        --days;
    }
    CivilTime time = CivilFromDays(days);
    time.hour = static_cast<int>(secondOfDay / 3600);
    time.minute = static_cast<int>(secondOfDay / 60 % 60);
    time.second = static_cast<int>(secondOfDay % 60);
    return time;
}

PassEnd CaptureEvents(CaptureContext& context, std::string serverName, const std::string& logName,
                      std::int32_t typeCode, const std::string& levelName) {
    const Platform& platform = context.Ports();
    const auto detailLine = [&platform](const Failure& failure) {
        return SystemErrorDetailLine(failure.number, platform.errors.SystemErrorText(failure.number));
    };
    Result<std::unique_ptr<EventLogReader>> opened = platform.events.Open(serverName, logName);
    if (const Failure* failure = FailureOf(opened)) {
        context.LogLine(LogNotOpenedLine(logName, serverName));
        context.LogLine(detailLine(*failure));
        return PassEnd::EndProgram;
    }
    const std::unique_ptr<EventLogReader> reader = std::move(ValueOf(opened));
    const Result<std::uint32_t> count = reader->CountRecords();
    if (const Failure* failure = FailureOf(count)) {
        context.LogLine(RecordsNotCountedLine(logName, serverName));
        context.LogLine(detailLine(*failure));
        return PassEnd::EndProgram;
    }

    const std::string zoneText = ZoneText(context.TimeZoneHours);
    for (std::uint32_t i = 0; i < ValueOf(count) && !context.LogUnwritable(); ++i) {
        const Result<std::vector<unsigned char>> record = ReadNextEvent(*reader);
        if (const Failure* failure = FailureOf(record)) {
            context.LogLine(RecordNotReadLine(logName, serverName));
            context.LogLine(detailLine(*failure));
            break;
        }
        const std::optional<EventRecord> parsed = ParseEventRecord(ValueOf(record));
        if (!parsed || parsed->eventType != typeCode) {
            continue;
        }
        context.CaptureOk = false;

        const std::string sourceName(parsed->sourceName);
        std::string messageText(parsed->insertionStrings);
        const bool expanded =
            ExpandMessage(platform.messages, parsed->eventId, sourceName, messageText, logName);
        ReplaceLineBreaks(messageText);
        // A date the system cannot write leaves its part of the line empty.
        const std::string timeText =
            ValueOr(platform.dates.FormatDate(EventTime(parsed->timeGenerated, context.TimeZoneHours)),
                    std::string());
        if (serverName.empty()) {
            serverName = kLocalHostName;
        }
        context.LogLine(
            EventRecordLine(levelName, serverName, timeText, zoneText, sourceName, messageText, expanded));
    }
    return PassEnd::Finished;
}

}  // namespace zandrel::siftwell
