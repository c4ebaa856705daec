#include "siftwell/core/Lines.h"

namespace zandrel::siftwell {
namespace {

constexpr std::string_view kErrorHead = "SIFTWELL ERROR: ";
constexpr std::string_view kTwentyBlanks = "                    ";

std::string Join(std::initializer_list<std::string_view> pieces) {
    size_t size = 0;
    for (std::string_view piece : pieces) {
        size += piece.size();
    }
    std::string text;
    text.reserve(size);
    for (std::string_view piece : pieces) {
        text += piece;
    }
    return text;
}

}  // namespace

std::string SettingsMissingLine() {
    return Join({kErrorHead, "Insufficient settings in ", kSettingsFileName, "."});
}

std::string SettingsHintLine() {
    return Join({kTwentyBlanks, "Need at least LogType and ErrorLevel."});
}

std::string ConnectionFailedLine(std::string_view serverName, std::string_view userName) {
    return Join(
        {kErrorHead, "Could not connect to ", serverName, " using username: \"", userName, "\".  Exiting."});
}

std::string ConnectionDetailLine(std::string_view netErrorText) {
    return Join({"\t", netErrorText});
}

std::string PasswordNoteLine() {
    return "Note: supplied password was less than 1 character long.";
}

std::string LogNotOpenedLine(std::string_view logName, std::string_view serverName) {
    return Join({kErrorHead, "Could not open ", logName, " event log on ", serverName, "."});
}

std::string RecordsNotCountedLine(std::string_view logName, std::string_view serverName) {
    return Join({kErrorHead, "Could not get number of event log records in the ", logName, " event log on ",
                 serverName, "."});
}

std::string RecordNotReadLine(std::string_view logName, std::string_view serverName) {
    return Join({kErrorHead, "Could not read event from the ", logName, " event log on ", serverName, "."});
}

std::string SystemErrorDetailLine(std::int32_t error, std::string_view errorText) {
    return Join({kTwentyBlanks, std::to_string(error), ": ", errorText});
}

std::string EventRecordLine(std::string_view levelName, std::string_view serverName,
                            std::string_view timeText, std::string_view zoneText, std::string_view sourceName,
                            std::string_view messageText, bool expanded) {
    return Join({levelName, " event on ", serverName, " at ", timeText, zoneText, " - Source: \"", sourceName,
                 "\".  Event: ", messageText,
                 expanded ? std::string_view() : " [Could not expand message from source (not local)]"});
}

std::string AllClearLine() {
    return "OK.";
}

std::string TimeZoneOutOfRangeLine() {
    return Join(
        {kErrorHead, "TimeZone in ", kSettingsFileName, " is outside -32768 to 32767 hours.  Exiting."});
}

std::string ZoneText(std::int16_t timeZoneHours) {
    if (timeZoneHours == 0) {
        return " (GMT)";
    }
    return Join({" (GMT", timeZoneHours > 0 ? "+" : "", std::to_string(timeZoneHours), ")"});
}

std::string NetErrorLine(std::int32_t error, std::string_view message) {
    return Join({"ERROR: ", std::to_string(error), " - ", message});
}

std::string FormatMessageNotice(std::int32_t formatError) {
    return "FormatMessage Error : " + std::to_string(formatError);
}

}  // namespace zandrel::siftwell
