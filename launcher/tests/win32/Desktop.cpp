#include "launcher/tests/win32/Desktop.h"

#include <fstream>
#include <iterator>
#include <thread>

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

bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        if (condition()) {
            return true;
        }
        if (std::chrono::steady_clock::now() >= end) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

std::vector<HWND> TopWindowsOf(DWORD processId, const std::string& className) {
    std::vector<HWND> found;
    for (HWND window = GetTopWindow(nullptr); window != nullptr; window = GetWindow(window, GW_HWNDNEXT)) {
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        if (owner == processId && ClassOf(window) == className) {
            found.push_back(window);
        }
    }
    return found;
}

HWND FirstTopWindowOf(DWORD processId, const std::string& className, bool visibleOnly) {
    for (HWND window : TopWindowsOf(processId, className)) {
        if (!visibleOnly || IsWindowVisible(window)) {
            return window;
        }
    }
    return nullptr;
}

HWND WaitForTopWindow(DWORD processId, const std::string& className, std::chrono::milliseconds timeout) {
    HWND window = nullptr;
    WaitUntil(
        [&] {
            window = FirstTopWindowOf(processId, className, true);
            return window != nullptr;
        },
        timeout);
    return window;
}

std::string ClassOf(HWND window) {
    char name[256] = {};
    const int length = GetClassNameA(window, name, sizeof name);
    return std::string(name, length > 0 ? static_cast<size_t>(length) : 0);
}

std::string TextOf(HWND window) {
    char text[1024] = {};
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutA(window, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text),
                             SMTO_ABORTIFHUNG, 5000, &length)) {
        return {};
    }
    return std::string(text, length);
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

namespace {

struct ScreenDcTraits {
    using Handle = HDC;
    static Handle Invalid() noexcept { return nullptr; }
    static void Close(Handle dc) noexcept { ReleaseDC(nullptr, dc); }
};
using UniqueScreenDc = UniqueHandle<ScreenDcTraits>;
using UniqueMemoryDc = UniqueHandle<NullHandleTraits<HDC, &DeleteDC>>;
using UniqueBitmap = UniqueHandle<NullHandleTraits<HBITMAP, &DeleteObject>>;

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
    const HGDIOBJ previous = SelectObject(memory.get(), bitmap.get());
    BitBlt(memory.get(), 0, 0, width, height, screen.get(), rect.left, rect.top, SRCCOPY);
    SelectObject(memory.get(), previous);
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
    file.bfType = 0x4D42;
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
    if (file.bfType != 0x4D42 || info.biBitCount != 24 || info.biCompression != BI_RGB || info.biWidth <= 0 ||
        info.biHeight <= 0) {
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

std::string ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

}  // namespace zandrel::launcher
