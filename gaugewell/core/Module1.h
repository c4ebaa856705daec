// The resource probe: reads memory.conf, measures processor load, free memory and the free space of
// one drive through the management service of a host, and appends its lines to Gaugewell.log.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "ExitStatus.h"
#include "INIfiles.h"
#include "ResultFile.h"
#include "TextCodec.h"
#include "gaugewell/core/Ports.h"

namespace zandrel::gaugewell {

// What one run works with; the probes write through its log, which notes a line that could not be
// written.
struct ProbeContext {
    ProbeContext(ManagementService& host, UserLocale& userLocale, ResultFile& resultFile)
        : service(host), locale(userLocale), log(resultFile) {}

    ManagementService& service;
    UserLocale& locale;
    ResultLog log;
};

// Bytes as a grouped whole number with a unit picked by powers of ten and divided by powers of 1024.
std::string FormatSize(double bytes, std::string_view thousandsSeparator);

// A 64-bit count as the service delivers it (decimal digits, blanks around them allowed) as a number;
// nothing when the text is absent, empty, anything but digits ("+5", "0.5", "1e3", "inf") or beyond
// 64 bits.
std::optional<double> ParseCount(const std::optional<std::string>& text);

// Appends one line to Gaugewell.log; false (and the loss noted) when it could not be written.
bool WriteResult(ProbeContext& context, std::string_view text);

// The connection values are the settings' values: their characters go to the service, the server's
// ANSI form into the lines. The password's text is unmasked for each connection call only; a refused
// connection ends the run and wipes it at once.

// Connects to the host's service; on failure writes the connection line and gives nothing: the run ends.
std::unique_ptr<ManagementConnection> ConnectToHost(ProbeContext& context, const IniValue& server,
                                                    const IniValue& userName,
                                                    MaskedSecret<char16_t>& password);

// Each measurement gives nothing when the run must end (connection failed; for the memory probe also
// an operating-system query that does not yield exactly one instance).
using CpuUtilization = std::variant<int, std::string>;  // the load in percent, or the failure text
std::optional<CpuUtilization> GetCpuUtilization(ProbeContext& context, const IniValue& server,
                                                const IniValue& userName, MaskedSecret<char16_t>& password);
std::optional<std::string> GetFreeMemory(ProbeContext& context, const IniValue& server,
                                         const IniValue& userName, MaskedSecret<char16_t>& password);
std::optional<std::string> GetFreeDiskSpace(ProbeContext& context, const IniValue& server,
                                            const IniValue& userName, MaskedSecret<char16_t>& password,
                                            std::string_view drive);

// One whole run with the settings file in `directory` (read through `codec` when it is in the ANSI
// code page), appending to `resultFile` (Gaugewell.log).
ExitStatus Main(ManagementService& service, UserLocale& locale, const TextCodec& codec,
                ResultFile& resultFile, std::string_view directory);

}  // namespace zandrel::gaugewell
