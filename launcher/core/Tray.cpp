#include "launcher/core/Tray.h"

#include <algorithm>

namespace zandrel::launcher {

void FillTipField(std::span<char> field, std::string_view tip) {
    if (field.empty()) {
        return;
    }
    const std::size_t textLength = std::min(tip.size(), field.size() - 1);
    std::copy_n(tip.begin(), textLength, field.begin());
    field[textLength] = '\0';
    std::fill(field.begin() + static_cast<std::ptrdiff_t>(textLength) + 1, field.end(), ' ');
}

TrayMessage ClassifyTrayMessage(std::uint32_t message, std::intptr_t lParam,
                                std::uint32_t taskbarCreatedMessage) {
    if (message == kTrayCallbackMessage && lParam == kRightButtonDown) {
        return TrayMessage::ShowMenu;
    }
    if (taskbarCreatedMessage != 0 && message == taskbarCreatedMessage) {
        return TrayMessage::AddIconAgain;
    }
    return TrayMessage::PassOn;
}

WindowId FindProcessWindow(const WindowList& windows, std::uint32_t processId) {
    // Id 0 is what a vanished window reports: it never names the server.
    if (processId == 0) {
        return 0;
    }
    // Windows may be re-ordered while we walk; a bound keeps a walk that meets a cycle finite.
    constexpr int kMaxSteps = 1 << 16;
    WindowId window = windows.First();
    for (int step = 0; window != 0 && step < kMaxSteps; ++step) {
        if (!windows.HasParent(window) && windows.ProcessIdOf(window) == processId) {
            return window;
        }
        window = windows.Next(window);
    }
    return 0;
}

WindowId CloseRequestTarget(const WindowList& windows, std::uint32_t processId, bool serverRunning) {
    return serverRunning ? FindProcessWindow(windows, processId) : 0;
}

}  // namespace zandrel::launcher
