#include "launcher/core/LauncherForm.h"

#include <utility>

#include "Paths.h"
#include "launcher/core/Texts.h"

namespace zandrel::launcher {

LauncherForm::LauncherForm(FormPlatform& platform, Result<std::string> launcherDirectory)
    : platform_(platform), launcherDirectory_(std::move(launcherDirectory)) {}

void LauncherForm::Form_Load() {
    // Without an exact directory the path would name a look-alike folder's server, or none.
    const Failure* noDirectory = FailureOf(launcherDirectory_);
    const Result<std::uint32_t> start =
        noDirectory == nullptr ? platform_.StartServer(JoinPath(ValueOf(launcherDirectory_), kServerFileName))
                               : *noDirectory;
    if (const Failure* failure = FailureOf(start)) {
        platform_.ShowErrorBox(StartFailureText(*failure), kErrorTitle);
        return;
    }
    serverProcessId_ = ValueOf(start);
    timerEnabled_ = true;
    platform_.EnableTimer();
}

void LauncherForm::Timer1_Timer() {
    // A tick already queued when the timer was stopped must not run the set-up again.
    if (!timerEnabled_) {
        return;
    }
    // Taken and stopped before anything else: opening an address can pump messages (the shell hands
    // it on, or shows an error box) for longer than the interval, and a tick dispatched meanwhile
    // would run the whole set-up a second time.
    timerEnabled_ = false;
    platform_.DisableTimer();
    // Twice, on purpose: one request right after the other.
    platform_.OpenAddress(kConfigurationPageAddress);
    platform_.OpenAddress(kConfigurationPageAddress);
    platform_.HookWindow();
    platform_.AddTrayIcon(kTrayTip);
    platform_.HideWindow();
}

void LauncherForm::SysTrayMouseEventHandler() {
    if (unloaded_) {
        return;
    }
    switch (platform_.ShowPopupMenu()) {
        case MenuCommand::Rest1:
            Rest1_Click();
            break;
        case MenuCommand::Msg1:
            msg1_Click();
            break;
        case MenuCommand::None:
            break;
    }
}

void LauncherForm::Rest1_Click() {
    platform_.OpenAddress(kHelpPageAddress);
}

void LauncherForm::msg1_Click() {
    platform_.RemoveTrayIcon();
    platform_.UnloadForm();
    unloaded_ = true;
    // Last, after the form is gone, as the close request has always been sent.
    platform_.CloseProcessWindow(serverProcessId_);
}

}  // namespace zandrel::launcher
