#include "siftwell/core/Module1.h"

#include <array>
#include <charconv>
#include <cmath>
#include <limits>
#include <utility>

#include "siftwell/core/CaptureContext.h"
#include "INIfiles.h"
#include "Wipe.h"
#include "siftwell/core/Lines.h"
#include "siftwell/core/WinNet.h"
#include "siftwell/core/eventlog.h"

namespace zandrel::siftwell {
namespace {

constexpr std::array<std::pair<std::string_view, std::int32_t>, 6> kEventTypes = {{
    {"Success", 0},
    {"Error", 1},
    {"Warning", 2},
    {"Information", 4},
    {"Audit Success", 8},
    {"Audit Failure", 16},
}};

// event.conf as read, each key once and in this order; kNotFound for an absent key.
struct CaptureSettings {
    IniValue server;
    IniValue userName;
    IniValue password;
    IniValue logType;
    IniValue errorLevel;
    IniValue overwriteLog;
    IniValue timeZone;
};

constexpr std::array<SettingKey<CaptureSettings>, 7> kCaptureSettingKeys = {{
    {"Server", &CaptureSettings::server},
    {"Username", &CaptureSettings::userName},
    {"Password", &CaptureSettings::password},
    {"LogType", &CaptureSettings::logType},
    {"ErrorLevel", &CaptureSettings::errorLevel},
    {"OverwriteLog", &CaptureSettings::overwriteLog},
    {"TimeZone", &CaptureSettings::timeZone},
}};

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// Every value reaches an ANSI call or the ANSI result log. One that the code page cannot hold would
// reach them as another text (a look-alike host name, a wrong password), so such a file is as
// unusable as a missing one.
bool AllExact(const CaptureSettings& settings) {
    for (const SettingKey<CaptureSettings>& key : kCaptureSettingKeys) {
        if (!(settings.*key.field).exact) {
            return false;
        }
    }
    return true;
}

}  // namespace

std::int32_t ErrorLevelTypeCode(std::string_view errorLevel) {
    for (const auto& [name, code] : kEventTypes) {
        if (name == errorLevel) {
            return code;
        }
    }
    return kNoValidType;
}

std::optional<std::int16_t> TimeZoneToHours(std::string_view text) {
    std::string squeezed;
    for (char c : text) {
        if (c != ' ' && c != '\t') {
            squeezed += c;
        }
    }
    std::size_t pos = 0;
    bool negative = false;
    if (pos < squeezed.size() && (squeezed[pos] == '+' || squeezed[pos] == '-')) {
        negative = squeezed[pos] == '-';
        ++pos;
    }
    std::string number;
    while (pos < squeezed.size() && IsDigit(squeezed[pos])) {
        number += squeezed[pos++];
    }
    std::string fraction;
    if (pos < squeezed.size() && squeezed[pos] == '.') {
        ++pos;
        while (pos < squeezed.size() && IsDigit(squeezed[pos])) {
            fraction += squeezed[pos++];
        }
    }
    if (number.empty() && fraction.empty()) {
        return 0;
    }
    const std::string decimal = (number.empty() ? "0" : number) + "." + (fraction.empty() ? "0" : fraction);
    double value = 0;
    const auto [end, error] = std::from_chars(decimal.data(), decimal.data() + decimal.size(), value);
    if (error != std::errc() || end != decimal.data() + decimal.size()) {
        return std::nullopt;
    }
    // nearbyint rounds halves to the even neighbour in the default rounding mode.
    const double hours = std::nearbyint(negative ? -value : value);
    if (hours < std::numeric_limits<std::int16_t>::min() ||
        hours > std::numeric_limits<std::int16_t>::max()) {
        return std::nullopt;
    }
    return static_cast<std::int16_t>(hours);
}

ExitStatus RunCapture(const Platform& platform, const std::string& directory) {
    std::optional<CaptureSettings> settings =
        ReadSettings<CaptureSettings>(kSettingsFileName, directory, kCaptureSettingKeys, platform.codec);
    if (!settings) {
        return ExitStatus::SettingsUnusable;
    }
    // The password stays in the one string it was read into, never copied, and is wiped as soon as
    // the connection call has returned, or on whichever way the run ends before that. Its wide form
    // is not needed at all.
    WipeText(settings->password.text);
    std::string& password = settings->password.ansi;
    const WipeOnExit wipePassword(password);
    if (!AllExact(*settings)) {
        return ExitStatus::SettingsUnusable;
    }
    // The error level and the time zone are read as they stand: the marker is no level and no hours.
    for (IniValue* value : {&settings->server, &settings->userName, &settings->password, &settings->logType,
                            &settings->overwriteLog}) {
        EmptyIfNotFound(*value);
    }
    const std::optional<std::int16_t> timeZoneHours = TimeZoneToHours(settings->timeZone.ansi);
    const std::string& serverName = settings->server.ansi;
    const std::string& userName = settings->userName.ansi;
    const std::string& logName = settings->logType.ansi;
    const std::string& errorLevel = settings->errorLevel.ansi;
    const std::string& overwriteLog = settings->overwriteLog.ansi;
    const std::int32_t typeCode = ErrorLevelTypeCode(errorLevel);

    if (overwriteLog == "True") {
        // Lines of this run appended to an old log would read as a fresh report: a search that
        // cannot tell whether there is one fails the fresh start as a log that cannot be emptied does.
        const std::string resultFileName(kResultFileName);
        const Result<std::optional<std::string>> found = platform.files.FindVisibleFile(resultFileName);
        if (FailureOf(found)) {
            return ExitStatus::StaleLogKept;
        }
        if (ValueOf(found) == resultFileName && !platform.files.ClearLogFile(resultFileName).Ok()) {
            return ExitStatus::StaleLogKept;
        }
    }

    CaptureContext context(platform);
    const auto finish = [&context] {
        return context.LogUnwritable() ? ExitStatus::ResultUnwritable : ExitStatus::Completed;
    };
    if (logName.empty() || typeCode == kNoValidType) {
        context.LogLine(SettingsMissingLine());
        context.LogLine(SettingsHintLine());
        return finish();
    }
    if (!timeZoneHours) {
        context.LogLine(TimeZoneOutOfRangeLine());
        return finish();
    }
    context.TimeZoneHours = *timeZoneHours;

    std::optional<TargetSession> session;
    if (!serverName.empty()) {
        const bool connected = OpenTargetSession(context, serverName, userName, password);
        WipeText(password);
        if (!connected) {
            return finish();
        }
        session.emplace(platform.network, RemoteName(serverName));
    }
    context.CaptureOk = true;
    if (CaptureEvents(context, serverName, logName, typeCode, errorLevel) == PassEnd::EndProgram) {
        return finish();
    }
    if (context.CaptureOk) {
        context.LogLine(AllClearLine());
    }
    return finish();
}

}  // namespace zandrel::siftwell
