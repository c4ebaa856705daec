// The screen's pixels, and 24-bit bitmap files to compare them with or keep them in.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace zandrel::launcher {

// The screen's DPI, as a DPI-aware program sees it.
int ScreenDpi();
// The screen's pixels in `rect` (screen coordinates), top row first, as 0x00RRGGBB.
std::vector<std::uint32_t> CaptureScreen(const RECT& rect);
// Writes the pixels as an uncompressed 24-bit bitmap file.
bool WriteBitmapFile(const std::string& path, const std::vector<std::uint32_t>& pixels, int width,
                     int height);
// Reads an uncompressed 24-bit bitmap file, top row first, as 0x00RRGGBB; empty when it is not one.
std::vector<std::uint32_t> ReadBitmapFile(const std::string& path, int& width, int& height);

}  // namespace zandrel::launcher
