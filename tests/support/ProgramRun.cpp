#include "ProgramRun.h"

#include <windows.h>

#include <stdexcept>

#include "UniqueHandle.h"

namespace zandrel::testing {

bool RunningUnderWine() {
    const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

std::string BuildPathToWindows(std::string_view buildPath) {
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
    const size_t slash = executable.find_last_of("\\/");
    const std::string name = slash == std::string::npos ? executable : executable.substr(slash + 1);
    const std::string installed = dir.PathOf(name);
    if (!CopyFileA(executable.c_str(), installed.c_str(), FALSE)) {
        throw std::runtime_error("cannot copy " + executable + ": error " + std::to_string(GetLastError()));
    }

    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    const std::string folder = startFolder.empty() ? dir.Path() : startFolder;
    const std::string started = folder + "\\" + name;
    std::string commandLine = "\"" + started + "\"";
    if (!CreateProcessA(started.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        folder.c_str(), &startup, &info)) {
        throw std::runtime_error("cannot start " + started + ": error " + std::to_string(GetLastError()));
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
    run.resultFile = dir.Read(resultFileName);
    return run;
}

}  // namespace zandrel::testing
