// What Wine's notification area shows: one window of its own per icon, which relays the mouse events
// over it to the icon's owner as the owner's callback message.
#pragma once

#include <windows.h>

#include <vector>

namespace zandrel::launcher {

std::vector<HWND> ShownTrayIcons();

}  // namespace zandrel::launcher
