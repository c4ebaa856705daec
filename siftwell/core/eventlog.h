// The event pass: reads one event log oldest first, keeps the records of one type, expands each
// kept record's message and writes its line.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "siftwell/core/CaptureContext.h"
#include "siftwell/core/MessageRules.h"
#include "siftwell/core/Ports.h"

namespace zandrel::siftwell {

// What the pass takes out of one EVENTLOGRECORD.
struct EventRecord {
    std::uint16_t eventType = 0;
    std::uint32_t eventId = 0;
    std::uint32_t timeGenerated = 0;
    std::string_view sourceName;
    std::string_view insertionStrings;  // each string followed by its NUL
};

// The fixed part of an EVENTLOGRECORD and the offsets of the fields the pass reads, little-endian.
inline constexpr std::size_t kRecordFixedPartSize = 56;
inline constexpr std::size_t kTimeGeneratedOffset = 12;
inline constexpr std::size_t kEventIdOffset = 20;
inline constexpr std::size_t kEventTypeOffset = 24;
inline constexpr std::size_t kStringOffsetOffset = 36;
inline constexpr std::size_t kDataOffsetOffset = 52;

// The largest buffer that one read of the event log takes (ReadEventLogA's documented limit). A
// longer length from the size probe is no record that could be read: it is not allocated.
inline constexpr std::uint32_t kLargestRecordRead = 0x7FFFF;

// The next record: the size probe, then a read with a buffer of the length it told. A length beyond
// kLargestRecordRead fails the record with the probe's own error number; a probe that told no length
// (end of the log, log changed, host gone) still leads to a read with a real buffer, so that the
// failure reported is that read's own.
Result<std::vector<unsigned char>> ReadNextEvent(EventLogReader& reader);

// Reads the record from its raw bytes without ever looking outside them. Nothing when the bytes are
// too short for the fixed part (the type cannot be known). A variable part that does not lie wholly
// inside the record is taken as empty: a source name without its NUL, or a strings block whose
// offsets do not satisfy 56 <= StringOffset <= DataOffset <= length.
std::optional<EventRecord> ParseEventRecord(std::span<const unsigned char> record);

// The strings block cut at every NUL: "a\0b\0" gives "a", "b" and "".
std::vector<std::string_view> SplitInsertionStrings(std::string_view block);

MessageArgs FillMessageArgs(std::span<const std::string_view> parts);

// False when the source's registry key cannot be opened; `messageText` (the strings block on entry)
// is replaced by the formatted message when there is one.
bool ExpandMessage(MessageCatalogue& catalogue, std::uint32_t eventId, const std::string& sourceName,
                   std::string& messageText, const std::string& logName);

// Each CR LF pair becomes one blank; lone CR or LF stay.
void ReplaceLineBreaks(std::string& text);

// TimeGenerated (seconds since 1970 UTC, unsigned) shifted by whole hours.
CivilTime EventTime(std::uint32_t timeGenerated, std::int16_t timeZoneHours);

enum class PassEnd { Finished, EndProgram };

PassEnd CaptureEvents(CaptureContext& context, std::string serverName, const std::string& logName,
                      std::int32_t typeCode, const std::string& levelName);

}  // namespace zandrel::siftwell
