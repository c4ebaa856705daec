// Every line of event.log, and every text that goes into one, is built here: the monitoring server
// reads these bytes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace zandrel::siftwell {

inline constexpr std::string_view kSettingsFileName = "event.conf";
inline constexpr std::string_view kResultFileName = "event.log";
inline constexpr std::string_view kLocalHostName = "(LOCALHOST)";

std::string SettingsMissingLine();
std::string SettingsHintLine();
std::string ConnectionFailedLine(std::string_view serverName, std::string_view userName);
std::string ConnectionDetailLine(std::string_view netErrorText);
std::string PasswordNoteLine();
std::string LogNotOpenedLine(std::string_view logName, std::string_view serverName);
std::string RecordsNotCountedLine(std::string_view logName, std::string_view serverName);
std::string RecordNotReadLine(std::string_view logName, std::string_view serverName);
std::string SystemErrorDetailLine(std::int32_t error, std::string_view errorText);
std::string EventRecordLine(std::string_view levelName, std::string_view serverName,
                            std::string_view timeText, std::string_view zoneText, std::string_view sourceName,
                            std::string_view messageText, bool expanded);
std::string AllClearLine();
// TimeZone cannot be held as a 16-bit number of hours: the run must not go on with a wrong offset.
std::string TimeZoneOutOfRangeLine();

// " (GMT)", " (GMT+2)", " (GMT-5)".
std::string ZoneText(std::int16_t timeZoneHours);
// "ERROR: " + number + " - " + the system's message.
std::string NetErrorLine(std::int32_t error, std::string_view message);
// What the probe tells a debugger when the system has no text for a network error.
std::string FormatMessageNotice(std::int32_t formatError);

}  // namespace zandrel::siftwell
