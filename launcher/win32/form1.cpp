#include "launcher/win32/form1.h"

#include <objbase.h>

#include <string>
#include <string_view>

#include "ExecutableDirectory.h"
#include "UniqueHandle.h"
#include "launcher/core/FormLayout.h"
#include "launcher/core/LauncherForm.h"
#include "launcher/core/Texts.h"
#include "launcher/resources/resource.h"
#include "Com.h"
#include "Gdi.h"
#include "LastError.h"
#include "SystemMessage.h"
#include "WindowProc.h"
#include "launcher/win32/mod1.h"

namespace zandrel::launcher {
namespace {

using UniqueIcon = UniqueHandle<NullHandleTraits<HICON, &DestroyIcon>>;
using UniqueMenu = UniqueHandle<NullHandleTraits<HMENU, &DestroyMenu>>;

static_assert(kDefaultDpi == USER_DEFAULT_SCREEN_DPI);

constexpr char kFormClass[] = "Zandrel.form1";
constexpr char kPictureClass[] = "Zandrel.Picture1";
constexpr UINT_PTR kTimer1Id = 1;
constexpr UINT kTimer1Interval = 6000;
constexpr DWORD kFormStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
// The shell's operation for an address: the user's associated program opens it.
constexpr char kOpenVerb[] = "Open";

// The per-window DPI calls exist only from Windows 10 on. Before, the screen's DPI stands in: the
// system DPI, which is the DPI of every window of a system-aware program.
template <typename Function>
Function UserFunction(const char* name) {
    const HMODULE user32 = GetModuleHandleA("user32.dll");
    const FARPROC found = user32 != nullptr ? GetProcAddress(user32, name) : nullptr;
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(found));
}

int WindowDpi(HWND window) {
    static const auto getDpiForWindow = UserFunction<UINT(WINAPI*)(HWND)>("GetDpiForWindow");
    if (getDpiForWindow != nullptr) {
        if (const UINT dpi = getDpiForWindow(window); dpi != 0) {
            return static_cast<int>(dpi);
        }
    }
    const UniqueScreenDc screen(GetDC(nullptr));
    const int dpi = screen ? GetDeviceCaps(screen.get(), LOGPIXELSX) : 0;
    return dpi > 0 ? dpi : kDefaultDpi;
}

// The window's outer size for the form's client area at `dpi`, frame and caption drawn at that DPI.
SIZE FrameSize(int dpi) {
    static const auto adjustForDpi =
        UserFunction<BOOL(WINAPI*)(LPRECT, DWORD, BOOL, DWORD, UINT)>("AdjustWindowRectExForDpi");
    const Form1Layout layout = LayOutForm1(dpi);
    RECT frame{0, 0, layout.clientWidth, layout.clientHeight};
    if (adjustForDpi == nullptr || !adjustForDpi(&frame, kFormStyle, FALSE, 0, static_cast<UINT>(dpi))) {
        AdjustWindowRectEx(&frame, kFormStyle, FALSE, 0);
    }
    return {frame.right - frame.left, frame.bottom - frame.top};
}

class Form1 final : public FormPlatform {
  public:
    explicit Form1(HINSTANCE instance) : directory_(ExecutableDirectory()), logic_(*this, directory_) {
        // The window icon at its two sizes; the notification area shows the small one.
        icon_.reset(
            static_cast<HICON>(LoadImageA(instance, MAKEINTRESOURCEA(IDI_ZANDREL), IMAGE_ICON,
                                          GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON), 0)));
        smallIcon_.reset(
            static_cast<HICON>(LoadImageA(instance, MAKEINTRESOURCEA(IDI_ZANDREL), IMAGE_ICON,
                                          GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), 0)));
        splash_.reset(
            static_cast<HBITMAP>(LoadImageA(instance, MAKEINTRESOURCEA(IDB_SPLASH), IMAGE_BITMAP, 0, 0, 0)));
        menu_.reset(LoadMenuA(instance, MAKEINTRESOURCEA(IDM_RCPOPUP)));
    }

    bool Create(HINSTANCE instance) {
        // Created without a size first: its DPI is that of the primary screen it opens on, which is
        // known only once the window exists.
        window_ = CreateWindowExA(0, kFormClass, std::string(kWindowTitle).c_str(), kFormStyle, 0, 0, 0, 0,
                                  nullptr, nullptr, instance, nullptr);
        if (window_ == nullptr) {
            return false;
        }
        SendMessageA(window_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon_.get()));
        SendMessageA(window_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon_.get()));
        picture1_ = CreateWindowExA(0, kPictureClass, "", WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, window_, nullptr,
                                    instance, nullptr);
        dpi_ = WindowDpi(window_);
        const SIZE frame = FrameSize(dpi_);
        SetWindowPos(window_, nullptr, (GetSystemMetrics(SM_CXSCREEN) - frame.cx) / 2,
                     (GetSystemMetrics(SM_CYSCREEN) - frame.cy) / 2, frame.cx, frame.cy,
                     SWP_NOZORDER | SWP_NOACTIVATE);
        PlacePicture1();
        return true;
    }

    // Moved to a screen of another DPI: the window takes the place Windows suggests, and the form is
    // laid out again for the new DPI.
    void OnDpiChanged(int dpi, const RECT& suggested) {
        dpi_ = dpi;
        SetWindowPos(window_, nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
                     suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
        PlacePicture1();
        InvalidateRect(picture1_, nullptr, TRUE);
    }

    HWND Window() const { return window_; }
    HBITMAP Splash() const { return splash_.get(); }
    int Dpi() const { return dpi_; }
    LauncherForm& Logic() { return logic_; }

    Result<std::uint32_t> StartServer(const std::string& path) override {
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESHOWWINDOW;
        startup.wShowWindow = SW_HIDE;
        PROCESS_INFORMATION started{};
        // The full path is the program to run: a path with blanks can never resolve to another program.
        std::string commandLine = "\"" + path + "\"";
        if (!CreateProcessA(path.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                            &startup, &started)) {
            return ErrorFailureWithText(GetLastError());
        }
        // Held to the end, so that the server's id cannot pass to another process meanwhile.
        serverProcess_.reset(started.hProcess);
        const UniqueKernelHandle thread(started.hThread);
        return std::uint32_t{started.dwProcessId};
    }

    void ShowErrorBox(const std::string& text, std::string_view title) override {
        MessageBoxA(window_, text.c_str(), std::string(title).c_str(), MB_OK | MB_ICONEXCLAMATION);
    }

    void EnableTimer() override { SetTimer(window_, kTimer1Id, kTimer1Interval, nullptr); }
    void DisableTimer() override { KillTimer(window_, kTimer1Id); }

    void OpenAddress(std::string_view address) override {
        // Only after a load that started the server, which had the directory.
        ShellExecuteA(window_, kOpenVerb, std::string(address).c_str(), nullptr,
                      FailureOf(directory_) ? nullptr : ValueOf(directory_).c_str(), SW_SHOWNORMAL);
    }

    void HookWindow() override {
        launcher::HookWindow(window_, [this] { logic_.SysTrayMouseEventHandler(); });
    }

    void AddTrayIcon(std::string_view tip) override {
        // The icon's handle is also its identifier.
        launcher::AddTrayIcon(window_,
                              static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(smallIcon_.get())),
                              smallIcon_.get(), tip);
    }

    void RemoveTrayIcon() override { launcher::RemoveTrayIcon(); }
    void HideWindow() override { ShowWindow(window_, SW_HIDE); }

    MenuCommand ShowPopupMenu() override {
        // A notification that arrives while the menu is open must not open a second one inside it.
        if (menuOpen_ || !menu_) {
            return MenuCommand::None;
        }
        menuOpen_ = true;
        POINT pointer{};
        GetCursorPos(&pointer);
        // Our window must be foreground before TrackPopupMenu, or the menu does not close when the user
        // clicks elsewhere or presses Escape.
        SetForegroundWindow(window_);
        const UINT chosen =
            TrackPopupMenu(GetSubMenu(menu_.get(), 0), TPM_LEFTALIGN | TPM_RIGHTBUTTON | TPM_RETURNCMD,
                           pointer.x, pointer.y, 0, window_, nullptr);
        // Lets the foreground switch complete, so that the next click on the icon opens the menu again.
        PostMessageA(window_, WM_NULL, 0, 0);
        menuOpen_ = false;
        switch (chosen) {
            case IDM_REST1:
                return MenuCommand::Rest1;
            case IDM_MSG1:
                return MenuCommand::Msg1;
            default:
                return MenuCommand::None;
        }
    }

    void UnloadForm() override { DestroyWindow(window_); }

    void CloseProcessWindow(std::uint32_t processId) override {
        launcher::CloseProcessWindow(processId, serverProcess_.get());
    }

  private:
    void PlacePicture1() {
        const PixelBox box = LayOutForm1(dpi_).picture1;
        SetWindowPos(picture1_, nullptr, box.left, box.top, box.width, box.height,
                     SWP_NOZORDER | SWP_NOACTIVATE);
    }

    Result<std::string> directory_;
    LauncherForm logic_;
    HWND window_ = nullptr;
    HWND picture1_ = nullptr;
    int dpi_ = kDefaultDpi;
    UniqueIcon icon_;
    UniqueIcon smallIcon_;
    UniqueBitmap splash_;
    UniqueMenu menu_;
    UniqueKernelHandle serverProcess_;
    bool menuOpen_ = false;
};

// The one form of the program, for its window procedures.
Form1* TheForm = nullptr;

LRESULT HandleForm1Message(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_TIMER:
            if (wParam == kTimer1Id && TheForm != nullptr) {
                TheForm->Logic().Timer1_Timer();
            }
            return 0;
        case WM_GETDPISCALEDSIZE:
            // The size for the new DPI from the form's twips, not the old size scaled.
            *reinterpret_cast<SIZE*>(lParam) = FrameSize(static_cast<int>(wParam));
            return TRUE;
        case WM_DPICHANGED:
            if (TheForm != nullptr) {
                TheForm->OnDpiChanged(HIWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
            }
            return 0;
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
        default:
            return DefWindowProcA(window, message, wParam, lParam);
    }
}

// The start-up image at the form's scale, from the box's top-left corner, cut to the box.
void DrawStartUpImage(HDC dc, HBITMAP image, int dpi) noexcept {
    BITMAP size{};
    if (GetObjectA(image, sizeof size, &size) == 0) {
        return;
    }
    const Form1Layout layout = LayOutForm1(dpi);
    const UniqueMemoryDc memory(CreateCompatibleDC(dc));
    const SelectedObject selected(memory.get(), image);
    if (!selected) {
        return;
    }
    if (layout.imageWidth == size.bmWidth && layout.imageHeight == size.bmHeight) {
        BitBlt(dc, 0, 0, layout.picture1.width, layout.picture1.height, memory.get(), 0, 0, SRCCOPY);
    } else {
        // Resampled smoothly; HALFTONE needs the brush origin set after the mode.
        SetStretchBltMode(dc, HALFTONE);
        SetBrushOrgEx(dc, 0, 0, nullptr);
        StretchBlt(dc, 0, 0, layout.imageWidth, layout.imageHeight, memory.get(), 0, 0, size.bmWidth,
                   size.bmHeight, SRCCOPY);
    }
}

// Picture1: the start-up image on the window-background colour. Only system calls: nothing here throws.
LRESULT CALLBACK Picture1WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
    if (message != WM_PAINT) {
        return DefWindowProcA(window, message, wParam, lParam);
    }
    PAINTSTRUCT paint{};
    const HDC dc = BeginPaint(window, &paint);
    RECT box{};
    GetClientRect(window, &box);
    FillRect(dc, &box, GetSysColorBrush(COLOR_WINDOW));
    if (TheForm != nullptr && TheForm->Splash() != nullptr) {
        DrawStartUpImage(dc, TheForm->Splash(), TheForm->Dpi());
    }
    EndPaint(window, &paint);
    return 0;
}

bool RegisterClasses(HINSTANCE instance) {
    WNDCLASSEXA form{};
    form.cbSize = sizeof form;
    form.lpfnWndProc = &GuardedWindowProc<HandleForm1Message>;
    form.hInstance = instance;
    form.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    form.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    form.lpszClassName = kFormClass;
    WNDCLASSEXA picture = form;
    picture.lpfnWndProc = &Picture1WindowProc;
    picture.lpszClassName = kPictureClass;
    return RegisterClassExA(&form) != 0 && RegisterClassExA(&picture) != 0;
}

}  // namespace

ExitStatus RunForm1(HINSTANCE instance) {
    // COM on the user-interface thread for the whole run: some of the handlers that ShellExecuteA hands
    // an address to are COM objects. Apartment-threaded without OLE1 DDE, as the shell asks.
    const ComApartment com(COINIT_DISABLE_OLE1DDE);
    if (!RegisterClasses(instance)) {
        return ExitStatus::NoWindow;
    }
    Form1 form(instance);
    if (!form.Create(instance)) {
        return ExitStatus::NoWindow;
    }
    TheForm = &form;
    form.Logic().Form_Load();
    ShowWindow(form.Window(), SW_SHOWNORMAL);
    UpdateWindow(form.Window());
    RunMessageLoop();
    TheForm = nullptr;
    return ExitStatus::Completed;
}

}  // namespace zandrel::launcher
