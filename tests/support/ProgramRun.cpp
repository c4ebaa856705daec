#include "ProgramRun.h"

#include <windows.h>

#include <fstream>
#include <iterator>
#include <optional>
#include <system_error>
#include <stdexcept>

#include "UniqueHandle.h"

namespace zandrel::testing {

namespace {

// The folder of this test executable, when it runs from an unpacked test kit (run-tests.cmd beside it).
std::optional<std::filesystem::path> KitFolder() {
    std::wstring module(32768, L'\0');
    const DWORD length = GetModuleFileNameW(nullptr, module.data(), static_cast<DWORD>(module.size()));
    if (length == 0 || length >= module.size()) {
        return std::nullopt;
    }
    module.resize(length);
    const std::filesystem::path folder = std::filesystem::path(module).parent_path();
    std::error_code error;
    if (!std::filesystem::is_regular_file(folder / "run-tests.cmd", error)) {
        return std::nullopt;
    }
    return folder;
}

}  // namespace

std::string BuildPathToWindows(std::string_view buildPath) {
    static const std::optional<std::filesystem::path> kit = KitFolder();
    if (kit) {
        // The kit holds every file flat beside the tests, and the DLLs that are planted beside a
        // program in planted\ (beside the tests themselves they would be loaded into them).
        const std::filesystem::path name = std::filesystem::path(std::string(buildPath)).filename();
        std::error_code error;
        const std::filesystem::path planted = *kit / "planted" / name;
        return (std::filesystem::exists(planted, error) ? planted : *kit / name).string();
    }
    return BuildTreePathToWindows(buildPath);
}

std::string BuildTreePathToWindows(std::string_view buildPath) {
    std::string path(buildPath);
    if (!path.empty() && path.front() == '/') {
        path = "Z:" + path;  // Wine maps the Linux root to drive Z:
    }
    for (char& c : path) {
        if (c == '/') {
            c = '\\';
        }
    }
    return path;
}

ProgramRun RunProgram(const ScratchDir& dir, const std::string& executable, std::string_view resultFileName,
                      unsigned long timeoutMs, const std::string& startFolder) {
    return RunProgramIn(dir.Folder(), executable, resultFileName, timeoutMs,
                        startFolder.empty() ? std::filesystem::path() : std::filesystem::path(startFolder));
}

ProgramRun RunProgramIn(const std::filesystem::path& folder, const std::string& executable,
                        std::string_view resultFileName, unsigned long timeoutMs,
                        const std::filesystem::path& startFolder) {
    const std::filesystem::path source(executable);
    const std::filesystem::path installed = folder / source.filename();
    if (!CopyFileW(source.c_str(), installed.c_str(), FALSE)) {
        throw std::runtime_error("cannot copy " + executable + ": error " + std::to_string(GetLastError()));
    }

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    const std::filesystem::path from = startFolder.empty() ? folder : startFolder;
    const std::filesystem::path started = from / source.filename();
    std::wstring commandLine = L"\"" + started.wstring() + L"\"";
    if (!CreateProcessW(started.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        from.c_str(), &startup, &info)) {
        throw std::runtime_error("cannot start " + executable + ": error " + std::to_string(GetLastError()));
    }
    const UniqueKernelHandle process(info.hProcess);
    const UniqueKernelHandle thread(info.hThread);

    ProgramRun run;
    if (WaitForSingleObject(process.get(), timeoutMs) != WAIT_OBJECT_0) {
        run.timedOut = true;
        TerminateProcess(process.get(), 255);
        WaitForSingleObject(process.get(), 5000);
    }
    DWORD exitCode = 0;
    GetExitCodeProcess(process.get(), &exitCode);
    run.exitCode = exitCode;
    if (std::ifstream in(folder / resultFileName, std::ios::binary); in) {
        run.resultFile = std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    return run;
}

LookAlikeRun RunBesideLookAlike(const std::string& executable, const std::string& settingsName,
                                const std::string& settings, const std::string& resultFileName) {
    ScratchDir dir;
    const std::filesystem::path exact = dir.Folder() / L"Zandrel-\u03A9";
    const std::filesystem::path lookAlike = dir.Folder() / L"Zandrel-O";
    for (const auto& folder : {exact, lookAlike}) {
        std::filesystem::create_directory(folder);
        std::ofstream(folder / settingsName, std::ios::binary) << settings;
    }
    std::ofstream(lookAlike / resultFileName, std::ios::binary) << "earlier\r\n";
    LookAlikeRun outcome{RunProgramIn(exact, executable, resultFileName), {}};
    std::ifstream kept(lookAlike / resultFileName, std::ios::binary);
    outcome.lookAlikeResult.assign(std::istreambuf_iterator<char>(kept), std::istreambuf_iterator<char>());
    return outcome;
}

}  // namespace zandrel::testing
