#include "launcher/tests/win32/TrayIcons.h"

namespace zandrel::launcher {

std::vector<HWND> ShownTrayIcons() {
    // Wine 8's X11 driver keeps the stand-alone tray itself; later versions leave it to explorer.
    struct Layout {
        const char* tray;
        const char* icon;
    };
    constexpr Layout kLayouts[] = {{"__winex11_standalone_tray", "__winex11_tray_icon"},
                                   {"Shell_TrayWnd", "__wine_tray_icon"}};
    std::vector<HWND> icons;
    const auto collect = [&icons](HWND parent, const char* iconClass) {
        for (HWND icon = FindWindowExA(parent, nullptr, iconClass, nullptr); icon != nullptr;
             icon = FindWindowExA(parent, icon, iconClass, nullptr)) {
            if (IsWindowVisible(icon)) {
                icons.push_back(icon);
            }
        }
    };
    for (const Layout& layout : kLayouts) {
        // The stand-alone tray's icons are its children; icons docked in a host's tray are top-level.
        if (const HWND tray = FindWindowA(layout.tray, nullptr); tray != nullptr) {
            collect(tray, layout.icon);
        }
        collect(nullptr, layout.icon);
    }
    return icons;
}

}  // namespace zandrel::launcher
