// Programs the end-to-end tests start, or find already running, and watch from outside.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

#include "UniqueHandle.h"

namespace zandrel::launcher {

// A started program; ended by force at the end of the test if it is still running.
class StartedProcess {
  public:
    StartedProcess() = default;
    StartedProcess(HANDLE process, DWORD id) : process_(process), id_(id) {}
    StartedProcess(StartedProcess&&) = default;
    StartedProcess& operator=(StartedProcess&&) = default;
    ~StartedProcess();

    DWORD Id() const { return id_; }
    HANDLE Handle() const { return process_.get(); }
    bool Running() const;
    // True when the process ended within the time.
    bool WaitForEnd(DWORD timeoutMs) const;
    std::optional<DWORD> ExitCode() const;

  private:
    UniqueKernelHandle process_;
    DWORD id_ = 0;
};

// Starts `path` with no arguments, in its own directory, without waiting.
StartedProcess StartProgram(const std::string& path);
// Opens an already running process by id, for waiting on it.
StartedProcess OpenRunningProcess(DWORD processId);
std::string ExecutablePathOf(DWORD processId);

}  // namespace zandrel::launcher
