// The launcher form form1's behaviour: the load, the timer's single tick and the two menu commands,
// over a port that the Windows form implements (and a fake, in the tests).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "Failure.h"

namespace zandrel::launcher {

enum class MenuCommand { None, Rest1, Msg1 };

class FormPlatform {
  public:
    virtual ~FormPlatform() = default;
    // Starts the program at `path` with no arguments and its window hidden, without waiting for it:
    // its process id, or the system's number and its own text for it.
    [[nodiscard]] virtual Result<std::uint32_t> StartServer(const std::string& path) = 0;
    virtual void ShowErrorBox(const std::string& text, std::string_view title) = 0;
    virtual void EnableTimer() = 0;
    virtual void DisableTimer() = 0;
    // Opens an address with the user's associated program, shown normally, in the launcher's directory.
    virtual void OpenAddress(std::string_view address) = 0;
    virtual void HookWindow() = 0;
    virtual void AddTrayIcon(std::string_view tip) = 0;
    virtual void RemoveTrayIcon() = 0;
    virtual void HideWindow() = 0;
    // Shows RCPopup at the pointer and returns the entry chosen, once the menu has closed.
    virtual MenuCommand ShowPopupMenu() = 0;
    virtual void UnloadForm() = 0;
    // Posts the close request to the window of the server started by the load, if it still runs.
    virtual void CloseProcessWindow(std::uint32_t processId) = 0;
};

class LauncherForm {
  public:
    // The launcher's directory, or why it has none that the ANSI calls can name exactly: the load then
    // shows that failure as the server's start failure.
    LauncherForm(FormPlatform& platform, Result<std::string> launcherDirectory);

    void Form_Load();
    void Timer1_Timer();
    void SysTrayMouseEventHandler();
    void Rest1_Click();
    void msg1_Click();

    std::uint32_t ServerProcessId() const { return serverProcessId_; }

  private:
    FormPlatform& platform_;
    Result<std::string> launcherDirectory_;
    std::uint32_t serverProcessId_ = 0;
    bool timerEnabled_ = false;
    bool unloaded_ = false;
};

}  // namespace zandrel::launcher
