// Runs a built executable of the tool set as it is installed: copied alone into a scratch directory
// with the files a test lays beside it, started there with no arguments, and waited for.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "Scratch.h"

namespace zandrel::testing {

struct ProgramRun {
    unsigned long exitCode = 0;
    bool timedOut = false;
    std::optional<std::string> resultFile;  // the result file's bytes after the run, if it exists
};

// Where a test finds a file of the build (a path as CMake names it): in an unpacked test kit
// (run-tests.cmd beside the test executable), the file of that name beside the test or in the folder
// "planted" there; in the build tree, the build machine's path in the form Wine's programs use.
std::string BuildPathToWindows(std::string_view buildPath);

// Always the build machine's path in Wine's form: for what only Wine's side of a test touches (a
// Unix script of the build tree writes it).
std::string BuildTreePathToWindows(std::string_view buildPath);

// Copies `executable` (a path as BuildPathToWindows gives it) into `dir` and runs it there; from
// `startFolder` when given, another name of `dir` (a link to it).
ProgramRun RunProgram(const ScratchDir& dir, const std::string& executable, std::string_view resultFileName,
                      unsigned long timeoutMs = 60000, const std::string& startFolder = {});

// The same in `folder`, whatever characters its name holds (the wide calls copy and start it).
ProgramRun RunProgramIn(const std::filesystem::path& folder, const std::string& executable,
                        std::string_view resultFileName, unsigned long timeoutMs = 60000,
                        const std::filesystem::path& startFolder = {});

// Runs `executable` in a folder "Zandrel-\u03A9" beside its code page 1252 look-alike "Zandrel-O", both
// holding `settings` as `settingsName`, the look-alike also a result file reading "earlier\r\n". The
// run, and what the look-alike's result file holds afterwards.
struct LookAlikeRun {
    ProgramRun run;
    std::string lookAlikeResult;
};
LookAlikeRun RunBesideLookAlike(const std::string& executable, const std::string& settingsName,
                                const std::string& settings, const std::string& resultFileName);

}  // namespace zandrel::testing
