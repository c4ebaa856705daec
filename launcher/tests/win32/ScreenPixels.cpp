#include "launcher/tests/win32/ScreenPixels.h"

#include <algorithm>
#include <fstream>

#include "Gdi.h"
#include "launcher/tests/win32/TextFiles.h"

namespace zandrel::launcher {
namespace {

// "BM", the bitmap file's signature.
constexpr WORD kBitmapFileType = 0x4D42;

}  // namespace

int ScreenDpi() {
    const UniqueScreenDc screen(GetDC(nullptr));
    return screen ? GetDeviceCaps(screen.get(), LOGPIXELSX) : 0;
}

std::vector<std::uint32_t> CaptureScreen(const RECT& rect) {
    const int width = rect.right - rect.left;
    const int height = rect.bottom - rect.top;
    std::vector<std::uint32_t> pixels(static_cast<size_t>(width) * height);
    const UniqueScreenDc screen(GetDC(nullptr));
    const UniqueMemoryDc memory(CreateCompatibleDC(screen.get()));
    const UniqueBitmap bitmap(CreateCompatibleBitmap(screen.get(), width, height));
    {
        // GetDIBits reads only a bitmap that no device context holds.
        const SelectedObject selected(memory.get(), bitmap.get());
        BitBlt(memory.get(), 0, 0, width, height, screen.get(), rect.left, rect.top, SRCCOPY);
    }
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top row first
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    GetDIBits(memory.get(), bitmap.get(), 0, height, pixels.data(), &info, DIB_RGB_COLORS);
    for (std::uint32_t& pixel : pixels) {
        pixel &= 0xFFFFFF;
    }
    return pixels;
}

bool WriteBitmapFile(const std::string& path, const std::vector<std::uint32_t>& pixels, int width,
                     int height) {
    const int stride = (width * 3 + 3) / 4 * 4;
    BITMAPFILEHEADER file{};
    BITMAPINFOHEADER info{};
    file.bfType = kBitmapFileType;
    file.bfOffBits = sizeof file + sizeof info;
    file.bfSize = file.bfOffBits + static_cast<DWORD>(stride) * height;
    info.biSize = sizeof info;
    info.biWidth = width;
    info.biHeight = height;
    info.biPlanes = 1;
    info.biBitCount = 24;
    info.biCompression = BI_RGB;
    std::string bytes(reinterpret_cast<const char*>(&file), sizeof file);
    bytes.append(reinterpret_cast<const char*>(&info), sizeof info);
    for (int y = height - 1; y >= 0; --y) {
        std::string row(static_cast<size_t>(stride), '\0');
        for (int x = 0; x < width; ++x) {
            const std::uint32_t pixel = pixels[static_cast<size_t>(y) * width + x];
            row[x * 3] = static_cast<char>(pixel & 0xFF);
            row[x * 3 + 1] = static_cast<char>((pixel >> 8) & 0xFF);
            row[x * 3 + 2] = static_cast<char>((pixel >> 16) & 0xFF);
        }
        bytes += row;
    }
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

std::vector<std::uint32_t> ReadBitmapFile(const std::string& path, int& width, int& height) {
    const std::string bytes = ReadWholeFile(path);
    BITMAPFILEHEADER file{};
    BITMAPINFOHEADER info{};
    if (bytes.size() < sizeof file + sizeof info) {
        return {};
    }
    std::copy_n(bytes.data(), sizeof file, reinterpret_cast<char*>(&file));
    std::copy_n(bytes.data() + sizeof file, sizeof info, reinterpret_cast<char*>(&info));
    if (file.bfType != kBitmapFileType || info.biBitCount != 24 || info.biCompression != BI_RGB ||
        info.biWidth <= 0 || info.biHeight <= 0) {
        return {};
    }
    width = info.biWidth;
    height = info.biHeight;
    const size_t stride = (static_cast<size_t>(width) * 3 + 3) / 4 * 4;
    if (bytes.size() < file.bfOffBits + stride * height) {
        return {};
    }
    std::vector<std::uint32_t> pixels(static_cast<size_t>(width) * height);
    for (int y = 0; y < height; ++y) {
        const unsigned char* row =
            reinterpret_cast<const unsigned char*>(bytes.data()) + file.bfOffBits + stride * (height - 1 - y);
        for (int x = 0; x < width; ++x) {
            pixels[static_cast<size_t>(y) * width + x] =
                row[x * 3] | (row[x * 3 + 1] << 8) | (row[x * 3 + 2] << 16);
        }
    }
    return pixels;
}

}  // namespace zandrel::launcher
