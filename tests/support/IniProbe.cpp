// A stand-in probe for the harness tests: reads two keys of probe.conf beside it, the way the real
// probes read their settings, and writes each value as a line of probe.log.
#include <string>

#include "AnsiText.h"
#include "ExecutableDirectory.h"
#include "ExitStatus.h"
#include "INIfiles.h"
#include "Paths.h"
#include "ResultFile.h"

int main() {
    using namespace zandrel;
    const Result<std::string> executableDirectory = ExecutableDirectory();
    if (FailureOf(executableDirectory)) {
        return static_cast<int>(ExitStatus::SettingsUnusable);
    }
    const std::string& directory = ValueOf(executableDirectory);
    const Win32TextCodec codec;
    for (const char* key : {"Alpha", "Beta"}) {
        const auto value = ReadIniValue("probe.conf", key, "probe.conf", directory, codec);
        if (!value) {
            return static_cast<int>(ExitStatus::SettingsUnusable);
        }
        if (!AppendResultLine(JoinPath(directory, "probe.log"), std::string(key) + "=" + value->ansi).Ok()) {
            return static_cast<int>(ExitStatus::ResultUnwritable);
        }
    }
    return static_cast<int>(ExitStatus::Completed);
}
