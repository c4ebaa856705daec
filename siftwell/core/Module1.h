// The capture run: reads event.conf, checks it, connects to the target host when one is named, runs
// the event pass and closes the run's report.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "ExitStatus.h"
#include "siftwell/core/Ports.h"

namespace zandrel::siftwell {

// The run's mark for a missing or unrecognised ErrorLevel; never passed on.
inline constexpr std::int32_t kNoValidType = 100;

// The event type code of an ErrorLevel name (exact, case-sensitive), or kNoValidType.
std::int32_t ErrorLevelTypeCode(std::string_view errorLevel);

// TimeZone as whole hours: blanks and tabs skipped, a leading decimal number read, halves rounded
// to the even neighbour; no number gives 0. Nothing when the hours do not fit in 16 bits.
std::optional<std::int16_t> TimeZoneToHours(std::string_view text);

// The whole run; settings are read from `directory`.
ExitStatus RunCapture(const Platform& platform, const std::string& directory);

}  // namespace zandrel::siftwell
