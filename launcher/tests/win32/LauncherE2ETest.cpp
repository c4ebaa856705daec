// Zandrel.exe as a user meets it, under Wine on a virtual display: copied into a scratch directory,
// with or without the stand-in server beside it, watched and driven from outside like a user would.
// Wine's browser is a script of the test set that records each address it is asked to open.
#include <gtest/gtest.h>
#include "Socket.h"
#include <windows.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "ProgramRun.h"
#include "SystemMessage.h"
#include "UniqueHandle.h"
#include "launcher/core/Texts.h"
#include "launcher/resources/resource.h"
#include "launcher/tests/win32/Polling.h"
#include "launcher/tests/win32/Processes.h"
#include "launcher/tests/win32/ScreenPixels.h"
#include "launcher/tests/win32/TextFiles.h"
#include "launcher/tests/win32/TopWindows.h"
#include "launcher/tests/win32/TrayIcons.h"
#include "tests/standin-server/core/HttpExchange.h"
#include "Wine.h"

namespace zandrel::launcher {
namespace {

using namespace std::chrono_literals;
using testing::BuildPathToWindows;
using testing::ScratchDir;

const std::string kLauncherExe = BuildPathToWindows(ZANDREL_LAUNCHER_EXE);
const std::string kServerExe = BuildPathToWindows(ZANDREL_SERVER_EXE);
const std::string kSplashBitmap = BuildPathToWindows(ZANDREL_SPLASH_BMP);
// Wine's browser, a script of the build tree, writes it.
const std::string kBrowserLog = testing::BuildTreePathToWindows(ZANDREL_BROWSER_LOG);
const std::string kScreenshot = BuildPathToWindows(ZANDREL_SCREENSHOT_BMP);

constexpr char kFormClass[] = "Zandrel.form1";
constexpr char kPictureClass[] = "Zandrel.Picture1";
constexpr char kServerClass[] = "Zandrel.StandInServer";
constexpr char kDialogClass[] = "#32770";
constexpr char kMenuClass[] = "#32768";
constexpr char kConfigurationPage[] = "http://localhost:1272";
constexpr char kHelpPage[] = "http://zandrel.example/help";
constexpr char kBrowserKey[] = "Software\\Wine\\WineBrowser";
constexpr char kBrowserValue[] = "Browsers";
constexpr char kX11Key[] = "Software\\Wine\\X11 Driver";
constexpr char kManagedValue[] = "Managed";
constexpr UINT kTrayCallback = 517;
constexpr LPARAM kRightButtonDown = 516;
constexpr WPARAM kTimer1Id = 1;
// What must not happen can only be watched for a while. A tick that runs shows within about 0.2 s here:
// the window hidden, the icon added and both page requests in the browser's log.
constexpr auto kWatchForNothing = 3s;

bool SetUserValue(const char* keyPath, const char* name, const std::string& value) {
    UniqueRegKey key;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, keyPath, 0, nullptr, 0, KEY_SET_VALUE, nullptr, key.put(),
                        nullptr) != ERROR_SUCCESS) {
        return false;
    }
    return RegSetValueExA(key.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                          static_cast<DWORD>(value.size() + 1)) == ERROR_SUCCESS;
}

// The addresses Wine's browser was asked to open, a trailing slash (which Wine adds) taken off.
std::vector<std::string> OpenedAddresses() {
    std::vector<std::string> addresses = SplitLines(ReadWholeFile(kBrowserLog));
    for (std::string& address : addresses) {
        if (!address.empty() && address.back() == '/') {
            address.pop_back();
        }
    }
    return addresses;
}

// The system's description of `error` as the launcher words it.
std::string SystemText(DWORD error) {
    return SystemErrorDescription({static_cast<std::int32_t>(error), SystemMessageText(error, 512)});
}

// The stand-in server's address: its port on the loopback interface.
sockaddr_in StandInAddress() {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(standin::kPort);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

// A GET of the stand-in's page, as a browser would make it; the whole response.
std::string FetchConfigurationPage() {
    const WinsockSession winsock;
    const UniqueSocket connection(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    const sockaddr_in address = StandInAddress();
    std::string response;
    if (winsock && connection &&
        connect(connection.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
        const std::string request =
            "GET / HTTP/1.1\r\nHost: localhost:" + std::to_string(standin::kPort) + "\r\n\r\n";
        send(connection.get(), request.data(), static_cast<int>(request.size()), 0);
        char buffer[4096];
        int received = 0;
        while ((received = recv(connection.get(), buffer, sizeof buffer, 0)) > 0) {
            response.append(buffer, received);
        }
    }
    return response;
}

// True when nothing listens on the stand-in's port. The port is the machine's: a server of another run
// (another prefix, another build tree) or one left behind would make the launcher's server fail to listen.
bool StandInPortFree() {
    const WinsockSession winsock;
    const UniqueSocket probe(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    const sockaddr_in address = StandInAddress();
    BOOL exclusive = TRUE;  // as the server binds it
    return winsock && probe &&
           setsockopt(probe.get(), SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&exclusive),
                      sizeof exclusive) == 0 &&
           bind(probe.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
}

// Every stand-in server's window on the desktop, whoever started it.
std::vector<HWND> ServerWindows() {
    std::vector<HWND> windows;
    for (HWND window = FindWindowExA(nullptr, nullptr, kServerClass, nullptr); window != nullptr;
         window = FindWindowExA(nullptr, window, kServerClass, nullptr)) {
        windows.push_back(window);
    }
    return windows;
}

// True once the thread of `window` has taken from its queue, and handled, every message posted to it
// before: it answers a sent message before the posted ones, so a second one answers only after them.
bool PostedMessagesHandled(HWND window) {
    for (int sent = 0; sent < 2; ++sent) {
        DWORD_PTR answer = 0;
        if (!SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 10000, &answer)) {
            return false;
        }
    }
    return true;
}

// How many of the pixels in `rect` on the screen are what `expected` gives for their place, once the
// window there has painted them: polled until at least `wanted` are, the last count when they never are.
template <typename Expected>
int PaintedPixelsMatching(const RECT& rect, int wanted, Expected expected) {
    const int width = rect.right - rect.left;
    const int height = rect.bottom - rect.top;
    int matching = 0;
    WaitUntil(
        [&] {
            const std::vector<std::uint32_t> screen = CaptureScreen(rect);
            matching = 0;
            for (int y = 0; y < height; ++y) {
                for (int x = 0; x < width; ++x) {
                    matching += expected(screen[static_cast<size_t>(y) * width + x], x, y) ? 1 : 0;
                }
            }
            return matching >= wanted;
        },
        10s);
    return matching;
}

// A mouse event over the launcher's icon, as the user makes it: Wine's notification area relays it.
void PostToIcon(HWND icon, UINT mouseMessage) {
    PostMessageA(icon, mouseMessage, 0, MAKELPARAM(8, 8));
}

// A left click at a point of the screen, through the system's input queue as a user's click.
void ClickAt(int x, int y) {
    SetCursorPos(x, y);
    INPUT clicks[2] = {};
    clicks[0].type = INPUT_MOUSE;
    clicks[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    clicks[1].type = INPUT_MOUSE;
    clicks[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
    SendInput(2, clicks, sizeof(INPUT));
}

class LauncherE2E : public ::testing::Test {
  protected:
    // Wine's settings only: on Windows the tests skip, and the user's registry stays untouched.
    static void SetUpTestSuite() {
        if (!zandrel::testing::RunningUnderWine()) {
            return;
        }
        ASSERT_TRUE(SetUserValue(kBrowserKey, kBrowserValue, ZANDREL_BROWSER_SCRIPT));
        // Wine draws the frames itself: the virtual display has no window manager.
        ASSERT_TRUE(SetUserValue(kX11Key, kManagedValue, "N"));
    }

    // The prefix is shared with other tests: leave it as it was.
    static void TearDownTestSuite() {
        if (!zandrel::testing::RunningUnderWine()) {
            return;
        }
        RegDeleteKeyValueA(HKEY_CURRENT_USER, kBrowserKey, kBrowserValue);
        RegDeleteKeyValueA(HKEY_CURRENT_USER, kX11Key, kManagedValue);
    }

    void SetUp() override {
        if (!zandrel::testing::RunningUnderWine()) {
            GTEST_SKIP() << "drives Wine's browser hook and display";
        }
        DeleteFileA(kBrowserLog.c_str());
    }

    // No server outlives its test, whatever ended the test: it would hold the port for the next one.
    void TearDown() override {
        for (const HWND window : ServerWindows()) {
            DWORD processId = 0;
            GetWindowThreadProcessId(window, &processId);
            const StartedProcess server = OpenRunningProcess(processId);
            PostMessageA(window, WM_CLOSE, 0, 0);
            server.WaitForEnd(10000);  // or ended by force as it goes
        }
    }

    // Lays the launcher (and the server) into `directory` and starts the launcher.
    StartedProcess Launch(const std::string& directory, bool withServer) {
        const std::string launcher = directory + "\\Zandrel.exe";
        EXPECT_TRUE(CopyFileA(kLauncherExe.c_str(), launcher.c_str(), FALSE));
        if (withServer) {
            EXPECT_TRUE(CopyFileA(kServerExe.c_str(), (directory + "\\zandrel-server.exe").c_str(), FALSE));
        }
        // A run that does not take turns may take the port between the look and the server's bind: the
        // launcher then starts once more, with a fresh server log.
        const std::string serverLog = directory + "\\zandrel-server.log";
        const std::string taken = standin::ListenFailedLogLine(WSAEADDRINUSE);
        for (int attempt = 1;; ++attempt) {
            if (withServer) {
                EXPECT_TRUE(WaitUntil(StandInPortFree, 120s)) << "port " << standin::kPort << " stays taken";
            }
            launchedAt_ = std::chrono::steady_clock::now();
            StartedProcess process = StartProgram(launcher);
            EXPECT_NE(process.Id(), 0u) << "cannot start " << launcher;
            std::string log;
            if (!withServer || attempt == 3 ||
                !WaitUntil(
                    [&] {
                        log = ReadWholeFile(serverLog);
                        return log.find(standin::ListeningLogLine()) != std::string::npos ||
                               log.find(taken) != std::string::npos;
                    },
                    30s) ||
                log.find(taken) == std::string::npos) {
                return process;
            }
            // Closed before its tick, so that it leaves no icon; by force only when it does not end.
            PostMessageA(WaitForTopWindow(process.Id(), kFormClass, 10s), WM_CLOSE, 0, 0);
            process.WaitForEnd(10000);
            process = StartedProcess();
            std::printf("port %u taken before the server could listen: the launcher once more\n",
                        static_cast<unsigned>(standin::kPort));
            EXPECT_TRUE(WaitUntil([&] { return DeleteFileA(serverLog.c_str()) != 0; }, 10s));
        }
    }

    // The stand-in server that the launcher started from `directory`, once its window exists: not one
    // of an earlier test that is still ending. Its window goes into serverWindow_.
    StartedProcess FindServer(const std::string& directory) {
        const std::string image = directory + "\\zandrel-server.exe";
        StartedProcess server;
        WaitUntil(
            [&] {
                for (const HWND window : ServerWindows()) {
                    DWORD processId = 0;
                    GetWindowThreadProcessId(window, &processId);
                    if (processId != 0 && ExecutablePathOf(processId) == image) {
                        server = OpenRunningProcess(processId);
                        serverWindow_ = window;
                        return server.Running();
                    }
                }
                return false;
            },
            30s);  // generous: a first start in a fresh prefix on a loaded machine is slow
        return server;
    }

    HWND WaitForMenu(DWORD processId) {
        HWND menu = nullptr;
        WaitUntil(
            [&] {
                menu = FirstTopWindowOf(processId, kMenuClass, true);
                return menu != nullptr;
            },
            15s);
        return menu;
    }

    std::chrono::steady_clock::time_point launchedAt_;
    HWND serverWindow_ = nullptr;
};

TEST_F(LauncherE2E, WithoutServerShowsTheStartFailureBoxAndStaysWithoutPageOrIcon) {
    ScratchDir dir;
    StartedProcess launcher = Launch(dir.Path(), false);

    const HWND box = WaitForTopWindow(launcher.Id(), kDialogClass, 15s);
    ASSERT_NE(box, nullptr) << "no message box";
    EXPECT_EQ(TextOf(box), "Error");
    const HWND text = GetDlgItem(box, 0xFFFF);  // the box's text control
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(TextOf(text), "Error Shelling file.\r\n" + SystemText(ERROR_FILE_NOT_FOUND));
    EXPECT_FALSE(SystemMessageText(ERROR_FILE_NOT_FOUND, 512).empty())
        << "the system has no text for the error";
    // OK is the only button.
    EXPECT_NE(GetDlgItem(box, IDOK), nullptr);
    EXPECT_EQ(GetDlgItem(box, IDCANCEL), nullptr);
    // The load has not finished: the form is not shown yet.
    EXPECT_EQ(FirstTopWindowOf(launcher.Id(), kFormClass, true), nullptr);
    PostMessageA(box, WM_COMMAND, IDOK, 0);

    const HWND form = WaitForTopWindow(launcher.Id(), kFormClass, 10s);
    ASSERT_NE(form, nullptr);
    // The tick, as the timer would bring it had the load armed it: nothing follows.
    PostMessageA(form, WM_TIMER, kTimer1Id, 0);
    ASSERT_TRUE(PostedMessagesHandled(form));
    EXPECT_FALSE(WaitUntil(
        [&] { return !IsWindowVisible(form) || !OpenedAddresses().empty() || !ShownTrayIcons().empty(); },
        kWatchForNothing));
    EXPECT_TRUE(IsWindowVisible(form));
    EXPECT_TRUE(launcher.Running());
    EXPECT_TRUE(OpenedAddresses().empty());
    EXPECT_TRUE(ShownTrayIcons().empty());

    PostMessageA(form, WM_CLOSE, 0, 0);
    EXPECT_TRUE(launcher.WaitForEnd(10000));
    EXPECT_EQ(launcher.ExitCode(), 0u);
}

TEST_F(LauncherE2E, WithServerShowsTheImageThenOpensThePageTwiceAndLivesInTheTray) {
    ScratchDir dir;
    // A directory with a blank, and a program where an unquoted command line would land first.
    const std::string install = dir.PathOf("Zandrel Demo");
    std::filesystem::create_directory(install);
    ASSERT_TRUE(CopyFileA(kServerExe.c_str(), dir.PathOf("Zandrel.exe").c_str(), FALSE));
    StartedProcess launcher = Launch(install, true);
    StartedProcess server = FindServer(install);
    ASSERT_TRUE(server.Running()) << "no server started from " << install;
    EXPECT_FALSE(dir.Exists("zandrel-server.log")) << "the decoy beside the directory was started";
    // As the server saw its start: its full path alone on the command line, its window hidden.
    const std::string serverLogPath = install + "\\zandrel-server.log";
    ASSERT_TRUE(WaitUntil([&] { return SplitLines(ReadWholeFile(serverLogPath)).size() >= 2; }, 10s));
    const std::vector<std::string> started = SplitLines(ReadWholeFile(serverLogPath));
    EXPECT_EQ(started[0], "command line: \"" + install + "\\zandrel-server.exe\"");
    EXPECT_EQ(started[1], "show state: " + std::to_string(SW_HIDE));

    // The start-up window: its client area, Picture1 and the image.
    const HWND form = WaitForTopWindow(launcher.Id(), kFormClass, 10s);
    ASSERT_NE(form, nullptr);
    RECT client{};
    GetClientRect(form, &client);
    EXPECT_EQ(client.right, 518);
    EXPECT_EQ(client.bottom, 213);
    const HWND picture = FindWindowExA(form, nullptr, kPictureClass, nullptr);
    ASSERT_NE(picture, nullptr);
    RECT box{};
    GetWindowRect(picture, &box);
    MapWindowPoints(nullptr, form, reinterpret_cast<POINT*>(&box), 2);
    EXPECT_EQ(box.left, 16);
    EXPECT_EQ(box.top, 8);
    EXPECT_EQ(box.right - box.left, 497);
    EXPECT_EQ(box.bottom - box.top, 193);

    int imageWidth = 0;
    int imageHeight = 0;
    const std::vector<std::uint32_t> image = ReadBitmapFile(kSplashBitmap, imageWidth, imageHeight);
    ASSERT_EQ(imageWidth, 504);
    ASSERT_EQ(imageHeight, 199);
    RECT shown{};
    GetWindowRect(picture, &shown);
    ASSERT_EQ(shown.right - shown.left, 497);
    ASSERT_EQ(shown.bottom - shown.top, 193);
    const int wanted = 497 * 193 * 99 / 100;
    const int matching = PaintedPixelsMatching(shown, wanted, [&](std::uint32_t pixel, int x, int y) {
        return pixel == image[static_cast<size_t>(y) * 504 + x];
    });
    EXPECT_GE(matching, wanted) << "Picture1 does not show the start-up image";
    RECT frame{};
    GetWindowRect(form, &frame);
    EXPECT_TRUE(WriteBitmapFile(kScreenshot, CaptureScreen(frame), frame.right - frame.left,
                                frame.bottom - frame.top));

    // The server answers on its port.
    const std::string page = FetchConfigurationPage();
    EXPECT_EQ(page.substr(0, page.find("\r\n")), "HTTP/1.0 200 OK");
    EXPECT_NE(page.find("Zandrel Configuration"), std::string::npos);
    EXPECT_TRUE(OpenedAddresses().empty()) << "the page was requested before the tick";

    // The tick: hidden for good, the page requested exactly twice, the icon added.
    ASSERT_TRUE(WaitUntil([&] { return !IsWindowVisible(form); }, 15s));
    EXPECT_GE(std::chrono::steady_clock::now() - launchedAt_, 5s) << "the tick came early";
    // A third request would show at the latest beside the help page, below.
    EXPECT_TRUE(WaitUntil([] { return OpenedAddresses().size() >= 2; }, 10s));
    EXPECT_EQ(OpenedAddresses(), (std::vector<std::string>{kConfigurationPage, kConfigurationPage}));
    std::vector<HWND> icons = ShownTrayIcons();
    ASSERT_EQ(icons.size(), 1u) << "no icon in the notification area";
    const HWND icon = icons.front();

    // The menu opens on the right button going down, and Escape closes it with no effect.
    PostToIcon(icon, WM_RBUTTONDOWN);
    HWND menu = WaitForMenu(launcher.Id());
    ASSERT_NE(menu, nullptr) << "no menu on 517/516";
    PostMessageA(menu, WM_KEYDOWN, VK_ESCAPE, 0);
    EXPECT_TRUE(WaitUntil([&] { return !IsWindowVisible(menu); }, 5s));
    ASSERT_TRUE(PostedMessagesHandled(form));
    EXPECT_TRUE(launcher.Running());
    EXPECT_TRUE(server.Running());
    EXPECT_EQ(ShownTrayIcons(), icons);
    EXPECT_EQ(OpenedAddresses().size(), 2u);
    EXPECT_FALSE(IsWindowVisible(form));

    // A click elsewhere closes it too, with no effect.
    PostToIcon(icon, WM_RBUTTONDOWN);
    menu = WaitForMenu(launcher.Id());
    ASSERT_NE(menu, nullptr);
    ClickAt(900, 700);
    EXPECT_TRUE(WaitUntil([&] { return !IsWindowVisible(menu); }, 5s))
        << "the menu stayed after a click elsewhere";
    ASSERT_TRUE(PostedMessagesHandled(form));
    EXPECT_TRUE(launcher.Running());
    EXPECT_EQ(OpenedAddresses().size(), 2u);

    // The icon's other notifications open nothing; nor does wParam matter to 517 with 516.
    for (UINT mouse :
         {WM_MOUSEMOVE, WM_LBUTTONDOWN, WM_LBUTTONUP, WM_RBUTTONUP, WM_LBUTTONDBLCLK, WM_RBUTTONDBLCLK}) {
        PostToIcon(icon, mouse);
    }
    // Relayed by the icon's window, then handled by the launcher's.
    ASSERT_TRUE(PostedMessagesHandled(icon));
    ASSERT_TRUE(PostedMessagesHandled(form));
    EXPECT_EQ(FirstTopWindowOf(launcher.Id(), kMenuClass, true), nullptr);
    PostMessageA(form, kTrayCallback, 12345, kRightButtonDown);
    menu = WaitForMenu(launcher.Id());
    ASSERT_NE(menu, nullptr);
    PostMessageA(menu, WM_KEYDOWN, VK_ESCAPE, 0);
    EXPECT_TRUE(WaitUntil([&] { return !IsWindowVisible(menu); }, 5s));

    // The first entry is "Online Help": it opens the help page, and the launcher stays.
    PostToIcon(icon, WM_RBUTTONDOWN);
    menu = WaitForMenu(launcher.Id());
    ASSERT_NE(menu, nullptr);
    PostMessageA(menu, WM_KEYDOWN, VK_DOWN, 0);
    PostMessageA(menu, WM_KEYDOWN, VK_RETURN, 0);
    EXPECT_TRUE(WaitUntil([] { return OpenedAddresses().size() >= 3; }, 10s));
    EXPECT_EQ(OpenedAddresses(),
              (std::vector<std::string>{kConfigurationPage, kConfigurationPage, kHelpPage}));
    EXPECT_TRUE(launcher.Running());
    EXPECT_EQ(ShownTrayIcons(), icons);

    // "Exit", the second entry: icon removed, launcher ended, server closed through its window.
    PostToIcon(icon, WM_RBUTTONDOWN);
    menu = WaitForMenu(launcher.Id());
    ASSERT_NE(menu, nullptr);
    PostMessageA(menu, WM_KEYDOWN, VK_DOWN, 0);
    PostMessageA(menu, WM_KEYDOWN, VK_DOWN, 0);
    PostMessageA(menu, WM_KEYDOWN, VK_RETURN, 0);
    EXPECT_TRUE(launcher.WaitForEnd(10000));
    EXPECT_EQ(launcher.ExitCode(), 0u);
    EXPECT_TRUE(ShownTrayIcons().empty());
    EXPECT_TRUE(server.WaitForEnd(10000)) << "the server did not end";
    const std::vector<std::string> serverLog = SplitLines(ReadWholeFile(install + "\\zandrel-server.log"));
    ASSERT_FALSE(serverLog.empty());
    EXPECT_EQ(serverLog.back(), "WM_CLOSE received: ending");
    // Nothing opened since the help page, the menu's dismissals included.
    EXPECT_EQ(OpenedAddresses(),
              (std::vector<std::string>{kConfigurationPage, kConfigurationPage, kHelpPage}));
}

// The image as it should look at `scale`: each screen pixel sampled bilinearly from the bitmap.
std::uint32_t ScaledImagePixel(const std::vector<std::uint32_t>& image, int width, int height, double scale,
                               int x, int y) {
    const double sourceX = std::clamp((x + 0.5) / scale - 0.5, 0.0, width - 1.0);
    const double sourceY = std::clamp((y + 0.5) / scale - 0.5, 0.0, height - 1.0);
    const int x0 = static_cast<int>(sourceX);
    const int y0 = static_cast<int>(sourceY);
    const int x1 = std::min(x0 + 1, width - 1);
    const int y1 = std::min(y0 + 1, height - 1);
    const double fx = sourceX - x0;
    const double fy = sourceY - y0;
    std::uint32_t pixel = 0;
    for (int shift = 0; shift < 24; shift += 8) {
        const auto channel = [&](int px, int py) {
            return static_cast<double>((image[static_cast<size_t>(py) * width + px] >> shift) & 0xFF);
        };
        const double top = channel(x0, y0) * (1 - fx) + channel(x1, y0) * fx;
        const double bottom = channel(x0, y1) * (1 - fx) + channel(x1, y1) * fx;
        pixel |= static_cast<std::uint32_t>(std::lround(top * (1 - fy) + bottom * fy)) << shift;
    }
    return pixel;
}

bool NearlyEqual(std::uint32_t a, std::uint32_t b, int tolerance) {
    for (int shift = 0; shift < 24; shift += 8) {
        if (std::abs(static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF)) >
            tolerance) {
            return false;
        }
    }
    return true;
}

// Run by launcher_e2e_dpi144 in a copy of the prefix whose screen has 144 DPI (150%), with
// ZANDREL_TEST_DPI=144; skipped in the shared prefix, which stays at 96.
TEST_F(LauncherE2E, AtOneHundredFiftyPercentTheStartUpWindowKeepsItsSizeInTwips) {
    const char* wanted = std::getenv("ZANDREL_TEST_DPI");
    if (wanted == nullptr) {
        GTEST_SKIP() << "runs as launcher_e2e_dpi144";
    }
    // Physical pixels on this side too.
    ASSERT_TRUE(SetProcessDPIAware());
    ASSERT_STREQ(wanted, "144");
    ASSERT_EQ(ScreenDpi(), 144) << "the prefix is not at 144 DPI";

    ScratchDir dir;
    StartedProcess launcher = Launch(dir.Path(), true);
    StartedProcess server = FindServer(dir.Path());
    ASSERT_TRUE(server.Running());
    const HWND form = WaitForTopWindow(launcher.Id(), kFormClass, 10s);
    ASSERT_NE(form, nullptr);
    RECT client{};
    GetClientRect(form, &client);
    EXPECT_NEAR(client.right, 777, 1);
    EXPECT_NEAR(client.bottom, 320, 1);
    const HWND picture = FindWindowExA(form, nullptr, kPictureClass, nullptr);
    ASSERT_NE(picture, nullptr);
    RECT box{};
    GetWindowRect(picture, &box);
    MapWindowPoints(nullptr, form, reinterpret_cast<POINT*>(&box), 2);
    EXPECT_NEAR(box.left, 24, 1);
    EXPECT_NEAR(box.top, 12, 1);
    EXPECT_NEAR(box.right - box.left, 746, 1);
    EXPECT_NEAR(box.bottom - box.top, 290, 1);

    // The image one and a half times its size, from the box's top-left corner, smoothly resampled.
    int imageWidth = 0;
    int imageHeight = 0;
    const std::vector<std::uint32_t> image = ReadBitmapFile(kSplashBitmap, imageWidth, imageHeight);
    ASSERT_EQ(imageWidth, 504);
    RECT shown{};
    GetWindowRect(picture, &shown);
    // About 98% match; the image unscaled, at 140% or three pixels off place stays below 91%.
    const int wantedMatches = (shown.right - shown.left) * (shown.bottom - shown.top) * 95 / 100;
    const int matching = PaintedPixelsMatching(shown, wantedMatches, [&](std::uint32_t pixel, int x, int y) {
        return NearlyEqual(pixel, ScaledImagePixel(image, imageWidth, imageHeight, 1.5, x, y), 48);
    });
    EXPECT_GE(matching, wantedMatches) << "Picture1 does not show the image at 150%";
    RECT frame{};
    GetWindowRect(form, &frame);
    WriteBitmapFile(kScreenshot.substr(0, kScreenshot.size() - 4) + "-144dpi.bmp", CaptureScreen(frame),
                    frame.right - frame.left, frame.bottom - frame.top);

    PostMessageA(form, WM_CLOSE, 0, 0);
    EXPECT_TRUE(launcher.WaitForEnd(5000));
    PostMessageA(serverWindow_, WM_CLOSE, 0, 0);
    EXPECT_TRUE(server.WaitForEnd(10000));
}

TEST_F(LauncherE2E, ClosingTheStartUpWindowEndsTheLauncherAndLeavesTheServer) {
    ScratchDir dir;
    StartedProcess launcher = Launch(dir.Path(), true);
    StartedProcess server = FindServer(dir.Path());
    ASSERT_TRUE(server.Running());
    const HWND form = WaitForTopWindow(launcher.Id(), kFormClass, 10s);
    ASSERT_NE(form, nullptr);
    PostMessageA(form, WM_CLOSE, 0, 0);
    // Ended before its tick, which can then never come.
    EXPECT_TRUE(launcher.WaitForEnd(5000));
    EXPECT_TRUE(server.Running());
    EXPECT_TRUE(OpenedAddresses().empty());

    // Only now, by hand, as a user would have to.
    PostMessageA(serverWindow_, WM_CLOSE, 0, 0);
    EXPECT_TRUE(server.WaitForEnd(10000));
}

TEST_F(LauncherE2E, ExitAfterTheServerEndedOnItsOwnClosesNothingAndStillEnds) {
    ScratchDir dir;
    StartedProcess launcher = Launch(dir.Path(), true);
    StartedProcess server = FindServer(dir.Path());
    ASSERT_TRUE(server.Running());
    const HWND form = WaitForTopWindow(launcher.Id(), kFormClass, 10s);
    ASSERT_NE(form, nullptr);
    ASSERT_TRUE(WaitUntil([&] { return !IsWindowVisible(form); }, 15s));
    PostMessageA(serverWindow_, WM_CLOSE, 0, 0);
    ASSERT_TRUE(server.WaitForEnd(10000));

    ASSERT_EQ(ShownTrayIcons().size(), 1u);
    PostToIcon(ShownTrayIcons().front(), WM_RBUTTONDOWN);
    const HWND menu = WaitForMenu(launcher.Id());
    ASSERT_NE(menu, nullptr);
    PostMessageA(menu, WM_KEYDOWN, VK_DOWN, 0);
    PostMessageA(menu, WM_KEYDOWN, VK_DOWN, 0);
    PostMessageA(menu, WM_KEYDOWN, VK_RETURN, 0);
    EXPECT_TRUE(launcher.WaitForEnd(10000));
    EXPECT_EQ(launcher.ExitCode(), 0u);
}

TEST(LauncherResources, TheMenuHoldsOnlineHelpThenExit) {
    const UniqueModule module(LoadLibraryExA(kLauncherExe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
    ASSERT_TRUE(module);
    const UniqueHandle<NullHandleTraits<HMENU, &DestroyMenu>> menu(
        LoadMenuA(module.get(), MAKEINTRESOURCEA(IDM_RCPOPUP)));
    ASSERT_TRUE(menu);
    char text[64] = {};
    GetMenuStringA(menu.get(), 0, text, sizeof text, MF_BYPOSITION);
    EXPECT_STREQ(text, "RCPopup");
    const HMENU popup = GetSubMenu(menu.get(), 0);
    ASSERT_EQ(GetMenuItemCount(popup), 2);
    GetMenuStringA(popup, 0, text, sizeof text, MF_BYPOSITION);
    EXPECT_STREQ(text, "Online Help");
    EXPECT_EQ(GetMenuItemID(popup, 0), static_cast<UINT>(IDM_REST1));
    GetMenuStringA(popup, 1, text, sizeof text, MF_BYPOSITION);
    EXPECT_STREQ(text, "Exit");
    EXPECT_EQ(GetMenuItemID(popup, 1), static_cast<UINT>(IDM_MSG1));
}

TEST(LauncherResources, TheIconHoldsEightImagesAndTheVersionIsThere) {
    const UniqueModule module(LoadLibraryExA(kLauncherExe.c_str(), nullptr,
                                             LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
    ASSERT_TRUE(module);
    const HRSRC group =
        FindResourceA(module.get(), MAKEINTRESOURCEA(IDI_ZANDREL), MAKEINTRESOURCEA(14));  // RT_GROUP_ICON
    ASSERT_NE(group, nullptr);
    const auto* directory =
        static_cast<const unsigned char*>(LockResource(LoadResource(module.get(), group)));
    ASSERT_NE(directory, nullptr);
    const int count = directory[4] | (directory[5] << 8);
    ASSERT_EQ(count, 8);
    std::vector<std::pair<int, int>> images;  // size, bits per pixel
    for (int i = 0; i < count; ++i) {
        const unsigned char* entry = directory + 6 + 14 * i;
        images.emplace_back(entry[0], entry[6] | (entry[7] << 8));
    }
    EXPECT_EQ(images, (std::vector<std::pair<int, int>>{
                          {48, 8}, {32, 8}, {24, 8}, {16, 8}, {48, 32}, {32, 32}, {24, 32}, {16, 32}}));
    EXPECT_NE(FindResourceA(module.get(), MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(16)), nullptr);  // RT_VERSION
    EXPECT_NE(FindResourceA(module.get(), MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24)),
              nullptr);  // RT_MANIFEST
}

}  // namespace
}  // namespace zandrel::launcher
