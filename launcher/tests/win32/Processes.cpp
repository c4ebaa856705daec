#include "launcher/tests/win32/Processes.h"

namespace zandrel::launcher {

StartedProcess::~StartedProcess() {
    if (process_ && Running()) {
        TerminateProcess(process_.get(), 255);
        WaitForSingleObject(process_.get(), 5000);
    }
}

bool StartedProcess::Running() const {
    return process_ && WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT;
}

bool StartedProcess::WaitForEnd(DWORD timeoutMs) const {
    return process_ && WaitForSingleObject(process_.get(), timeoutMs) == WAIT_OBJECT_0;
}

std::optional<DWORD> StartedProcess::ExitCode() const {
    DWORD code = 0;
    if (!process_ || !GetExitCodeProcess(process_.get(), &code) || code == STILL_ACTIVE) {
        return std::nullopt;
    }
    return code;
}

StartedProcess StartProgram(const std::string& path) {
    const std::string directory = path.substr(0, path.find_last_of('\\'));
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    std::string commandLine = "\"" + path + "\"";
    if (!CreateProcessA(path.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        directory.c_str(), &startup, &info)) {
        return {};
    }
    const UniqueKernelHandle thread(info.hThread);
    return {info.hProcess, info.dwProcessId};
}

StartedProcess OpenRunningProcess(DWORD processId) {
    const HANDLE process =
        OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_TERMINATE, FALSE, processId);
    return process == nullptr ? StartedProcess() : StartedProcess(process, processId);
}

std::string ExecutablePathOf(DWORD processId) {
    const UniqueKernelHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
    char path[MAX_PATH] = {};
    DWORD length = sizeof path;
    if (!process || !QueryFullProcessImageNameA(process.get(), 0, path, &length)) {
        return {};
    }
    return std::string(path, length);
}

}  // namespace zandrel::launcher
