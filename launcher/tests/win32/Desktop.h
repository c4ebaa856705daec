// What the end-to-end tests need to watch and drive other processes' windows under Wine: finding
// windows by process and class, reading their texts, asking the notification area about an icon,
// capturing the screen, and starting a program copied into a scratch directory.
#pragma once

#include <windows.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

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

// Polls `condition` every 50 ms until it holds or the time is up; true when it held.
bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout);

// The top-level windows of a process whose class is `className`, in Z order.
std::vector<HWND> TopWindowsOf(DWORD processId, const std::string& className);
HWND FirstTopWindowOf(DWORD processId, const std::string& className, bool visibleOnly);
// The first visible one of them once it appears, or null when none has appeared in time.
HWND WaitForTopWindow(DWORD processId, const std::string& className, std::chrono::milliseconds timeout);
std::string ClassOf(HWND window);
std::string TextOf(HWND window);
std::string ExecutablePathOf(DWORD processId);

// The icons that Wine's notification area shows: one window of its own per icon, which relays the
// mouse events over it to the icon's owner as the owner's callback message.
std::vector<HWND> ShownTrayIcons();

// The screen's DPI, as a DPI-aware program sees it.
int ScreenDpi();
// The screen's pixels in `rect` (screen coordinates), top row first, as 0x00RRGGBB.
std::vector<std::uint32_t> CaptureScreen(const RECT& rect);
// Writes the pixels as an uncompressed 24-bit bitmap file.
bool WriteBitmapFile(const std::string& path, const std::vector<std::uint32_t>& pixels, int width,
                     int height);
// Reads an uncompressed 24-bit bitmap file, top row first, as 0x00RRGGBB; empty when it is not one.
std::vector<std::uint32_t> ReadBitmapFile(const std::string& path, int& width, int& height);

std::string ReadWholeFile(const std::string& path);
std::vector<std::string> SplitLines(const std::string& text);

}  // namespace zandrel::launcher
