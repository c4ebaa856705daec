#include "gaugewell/core/Module1.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>

#include "INIfiles.h"
#include "Text.h"
#include "gaugewell/core/Lines.h"

namespace zandrel::gaugewell {
namespace {

inline constexpr std::string_view kSettingsFile = "memory.conf";

// The settings of memory.conf as read, each kNotFound when absent.
struct ProbeSettings {
    IniValue server;
    IniValue userName;
    WideSecret password;  // only its characters go to the service
    IniValue disk;
};

// Read in the order the run has always read them, the file opened anew for each.
constexpr SettingKey<ProbeSettings> kSettingKeys[] = {{"Server", &ProbeSettings::server},
                                                      {"Username", &ProbeSettings::userName},
                                                      {"Password", &ProbeSettings::password},
                                                      {"Disk", &ProbeSettings::disk}};

inline constexpr double kLargestCount = 18446744073709551616.0;  // 2^64

// A whole, finite, non-negative number in plain decimal digits.
std::string WholeNumberText(double whole) {
    if (whole < kLargestCount) {
        return std::to_string(static_cast<std::uint64_t>(whole));
    }
    char digits[400];
    std::snprintf(digits, sizeof digits, "%.0f", whole);
    return digits;
}

std::string GroupDigits(const std::string& digits, std::string_view separator) {
    std::string grouped;
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i != 0 && (digits.size() - i) % 3 == 0) {
            grouped += separator;
        }
        grouped += digits[i];
    }
    return grouped;
}

std::string RemoveCommas(std::string text) {
    std::erase(text, ',');
    return text;
}

template <typename T>
std::unique_ptr<T> ObjectOf(ServiceResult<T>& result) {
    return std::move(ValueOf(result));
}

// Hands each instance of the set to `take`, to the set's end. The queries ask the service to return
// at once, so a query that fails can fail only here, as its set is walked: the walk's failure is the
// query's, and the instances read before it are no measurement.
template <typename Take>
Status WalkSet(ManagementResultSet& set, Take take) {
    for (;;) {
        ServiceResult<ManagementInstance> next = set.Next();
        if (const Failure* failure = FailureOf(next)) {
            return *failure;
        }
        if (!ValueOf(next)) {
            return {};
        }
        take(*ValueOf(next));
    }
}

// A figure that cannot be read is as missing as one the instance does not have.
std::optional<double> CountProperty(ManagementInstance& instance, std::string_view name) {
    return ParseCount(ValueOr(instance.Property(name), std::optional<std::string>()));
}

std::string LoadText(const CpuUtilization& cpu) {
    return std::holds_alternative<int>(cpu) ? ProcessorLoadText(std::get<int>(cpu))
                                            : std::get<std::string>(cpu);
}

}  // namespace

std::string FormatSize(double bytes, std::string_view thousandsSeparator) {
    struct Unit {
        double above;
        double divisor;
        std::string_view word;
    };
    static constexpr Unit kUnits[] = {
        {1e12, 1073741824.0, "GB"}, {1e9, 1048576.0, "MB"}, {1e6, 1024.0, "KB"}, {1e3, 1.0, "Bytes"}};
    if (!std::isfinite(bytes) || !(bytes > 0)) {
        bytes = 0;
    }
    double divisor = 1;
    std::string_view word;
    for (const Unit& unit : kUnits) {
        if (bytes > unit.above) {
            divisor = unit.divisor;
            word = unit.word;
            break;
        }
    }
    const double whole = std::floor(bytes / divisor);
    // The grouping pattern has no mandatory digit: zero shows no digits at all.
    std::string text = whole == 0 ? std::string() : GroupDigits(WholeNumberText(whole), thousandsSeparator);
    text += ' ';
    text += word;
    return text;
}

std::optional<double> ParseCount(const std::optional<std::string>& text) {
    if (!text) {
        return std::nullopt;
    }
    const std::string_view digits = TrimBlanks(*text);
    // Digits only: a sign, a fraction, an exponent, "inf" or "nan" is no count the service gives, and
    // taking one would let an exponent or an infinity into the result file.
    if (digits.empty() || digits.find_first_not_of("0123456789") != std::string_view::npos) {
        return std::nullopt;
    }
    double value = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (error != std::errc() || end != digits.data() + digits.size() || value > kLargestCount) {
        return std::nullopt;
    }
    return value;
}

bool WriteResult(ProbeContext& context, std::string_view text) {
    return context.log.Append(text);
}

std::unique_ptr<ManagementConnection> ConnectToHost(ProbeContext& context, const IniValue& server,
                                                    const IniValue& userName,
                                                    MaskedSecret<char16_t>& password) {
    // The program holds the password's text only while the call runs; what the service keeps is its own.
    auto connected = context.service.Connect(server.text, userName.text, password.Reveal());
    if (const Failure* failure = FailureOf(connected)) {
        // A refusal ends the run: that was the password's last use, and it goes before the line.
        password = MaskedSecret<char16_t>();
        WriteResult(context, ConnectionFailedLine(server.ansi, *failure));
        return nullptr;
    }
    return ObjectOf(connected);
}

std::optional<CpuUtilization> GetCpuUtilization(ProbeContext& context, const IniValue& server,
                                                const IniValue& userName, MaskedSecret<char16_t>& password) {
    const auto connection = ConnectToHost(context, server, userName, password);
    if (!connection) {
        return std::nullopt;
    }
    const auto queryFailed = [&](const Failure& failure) -> CpuUtilization {
        WriteResult(context, ProcessorQueryFailedLine(server.ansi, failure));
        return ProcessorFailureText(failure);
    };
    auto queried = connection->ExecQuery("Select * From Win32_Processor");
    if (const Failure* failure = FailureOf(queried)) {
        return queryFailed(*failure);
    }
    const auto processors = ObjectOf(queried);
    // A count or a walk that fails would leave a load of 0% or one too low, which reads as a
    // measurement: the query failed.
    const Result<std::int32_t> counted = processors->Count();
    if (const Failure* failure = FailureOf(counted)) {
        return queryFailed(*failure);
    }
    double sum = 0;
    const Status walked = WalkSet(*processors, [&sum](ManagementInstance& processor) {
        // A processor without a readable load adds nothing but still counts.
        if (const auto load = CountProperty(processor, "LoadPercentage")) {
            sum += *load;
        }
    });
    if (const Failure* failure = FailureOf(walked)) {
        return queryFailed(*failure);
    }
    // The count is a 16-bit figure; one that does not fit gives no average.
    const std::int32_t count = ValueOf(counted);
    const bool countFits = count >= std::numeric_limits<std::int16_t>::min() &&
                           count <= std::numeric_limits<std::int16_t>::max();
    int load = 0;
    if (countFits && count != 0) {
        const double average = std::floor(sum / count);
        if (average >= std::numeric_limits<std::int16_t>::min() &&
            average <= std::numeric_limits<std::int16_t>::max()) {
            load = static_cast<int>(average);
        }
    }
    return load;
}

std::optional<std::string> GetFreeMemory(ProbeContext& context, const IniValue& server,
                                         const IniValue& userName, MaskedSecret<char16_t>& password) {
    const auto connection = ConnectToHost(context, server, userName, password);
    if (!connection) {
        return std::nullopt;
    }
    auto queried = connection->InstancesOf("Win32_OperatingSystem");
    if (const Failure* failure = FailureOf(queried)) {
        WriteResult(context, MemoryQueryFailedLine(server.ansi, *failure));
        return MemoryFailureText(*failure);
    }
    const auto systems = ObjectOf(queried);
    // An unreadable count is no count of one either.
    if (ValueOr(systems->Count(), 0) != 1) {
        return std::nullopt;
    }
    std::optional<double> freeKilobytes;
    std::optional<double> totalKilobytes;
    const Status walked = WalkSet(*systems, [&](ManagementInstance& system) {
        freeKilobytes = CountProperty(system, "FreePhysicalMemory");
        totalKilobytes = CountProperty(system, "TotalVisibleMemorySize");
    });
    // Not "<Free memory not found>": the host did not say it has no figure.
    if (const Failure* failure = FailureOf(walked)) {
        WriteResult(context, MemoryQueryFailedLine(server.ansi, *failure));
        return MemoryFailureText(*failure);
    }
    // Without the free figure any number written would be a false reading.
    if (!freeKilobytes) {
        return std::string(kFreeMemoryNotFound);
    }
    // A separator that cannot be read leaves the digits ungrouped rather than guessing one.
    std::string text = FormatSize(std::floor(*freeKilobytes * 1024),
                                  ValueOr(context.locale.ThousandsSeparator(), std::string()));
    if (!totalKilobytes || *totalKilobytes == 0) {
        return text;
    }
    const double percent = std::floor(*freeKilobytes * 100 / *totalKilobytes);
    return FreeMemoryText(RemoveCommas(std::move(text)), WholeNumberText(percent));
}

std::optional<std::string> GetFreeDiskSpace(ProbeContext& context, const IniValue& server,
                                            const IniValue& userName, MaskedSecret<char16_t>& password,
                                            std::string_view drive) {
    const auto connection = ConnectToHost(context, server, userName, password);
    if (!connection) {
        return std::nullopt;
    }
    const std::string query =
        "Select * From Win32_LogicalDisk Where DeviceID = \"" + std::string(drive) + "\"";
    auto queried = connection->ExecQuery(query);
    if (const Failure* failure = FailureOf(queried)) {
        WriteResult(context, DiskQueryFailedLine(drive, server.ansi, *failure));
        return DiskFailureText(*failure);
    }
    const auto disks = ObjectOf(queried);
    bool found = false;
    std::optional<double> freeBytes;
    std::optional<double> sizeBytes;
    const Status walked = WalkSet(*disks, [&](ManagementInstance& disk) {
        found = true;
        freeBytes = CountProperty(disk, "FreeSpace");
        sizeBytes = CountProperty(disk, "Size");
    });
    // Not "<Disk not found>": the host did not say it has no such drive.
    if (const Failure* failure = FailureOf(walked)) {
        WriteResult(context, DiskQueryFailedLine(drive, server.ansi, *failure));
        return DiskFailureText(*failure);
    }
    // A full drive (0 bytes free) is a reading like any other; only a drive the host lacks, or one
    // without a medium that reports no figures, is not found.
    if (!found || !freeBytes || !sizeBytes || *sizeBytes == 0) {
        return std::string(kDiskNotFound);
    }
    const double megabytes = std::floor(*freeBytes / 1048576.0);
    const double percent = std::floor(*freeBytes / *sizeBytes * 100);
    return FreeDiskSpaceText(WholeNumberText(megabytes), WholeNumberText(percent));
}

ExitStatus Main(ManagementService& service, UserLocale& locale, const TextCodec& codec,
                ResultFile& resultFile, std::string_view directory) {
    std::optional<ProbeSettings> settings =
        ReadSettings<ProbeSettings>(kSettingsFile, directory, kSettingKeys, codec);
    if (!settings) {
        return ExitStatus::SettingsUnusable;
    }
    for (IniValue* value : {&settings->server, &settings->userName, &settings->disk}) {
        EmptyIfNotFound(*value);
    }
    EmptyIfNotFound(settings->password);
    // The service takes the values' characters, so a value that the ANSI code page cannot hold still
    // names its host; only the lines show such a character as the code page's default character.
    const IniValue server = settings->server.text.empty() ? PlainValue(".") : settings->server;
    const IniValue& userName = settings->userName;
    const std::string& disk = settings->disk.ansi;

    ProbeContext context{service, locale, resultFile};
    // A measurement's own failure line that was lost still lets the run go on; a line of the run
    // itself that cannot be written ends it at once, as nothing after it could be reported either.
    const auto endedStatus = [&context] {
        return context.log.LineLost() ? ExitStatus::ResultUnwritable : ExitStatus::Completed;
    };

    std::string driveLine;
    {
        // The password leaves the record for this block, the span of the three connections, masked
        // between them: it is gone before the drive's line is written, and on every way out before that.
        MaskedSecret<char16_t> password(std::move(settings->password));
        const auto cpu = GetCpuUtilization(context, server, userName, password);
        if (!cpu) {
            return endedStatus();
        }
        if (!WriteResult(context, ProcessorLoadLine(LoadText(*cpu)))) {
            return ExitStatus::ResultUnwritable;
        }

        const auto memory = GetFreeMemory(context, server, userName, password);
        if (!memory) {
            return endedStatus();
        }
        if (!WriteResult(context, FreeMemoryLine(*memory))) {
            return ExitStatus::ResultUnwritable;
        }

        if (disk.empty()) {
            driveLine = NoDriveLine();
        } else {
            const std::string_view trimmed = TrimBlanks(disk);
            const std::string drive = std::string(trimmed.substr(0, 1)) + ":";
            const char letter = drive.front();
            if ((letter >= 'A' && letter <= 'Z') || (letter >= 'a' && letter <= 'z')) {
                const auto space = GetFreeDiskSpace(context, server, userName, password, drive);
                if (!space) {
                    return endedStatus();
                }
                driveLine = FreeDiskSpaceLine(drive, *space);
            } else {
                driveLine = DriveInvalidLine();
            }
        }
    }
    if (!WriteResult(context, driveLine) || !WriteResult(context, ClosingLine())) {
        return ExitStatus::ResultUnwritable;
    }
    return endedStatus();
}

}  // namespace zandrel::gaugewell
