#include "form1.h"

#include <string>
#include <string_view>

#include "ExecutableDirectory.h"
#include "LauncherForm.h"
#include "Texts.h"
#include "UniqueHandle.h"
#include "mod1.h"
#include "resource.h"

namespace zandrel::launcher {
namespace {

using UniqueIcon = UniqueHandle<NullHandleTraits<HICON, &DestroyIcon>>;
using UniqueBitmap = UniqueHandle<NullHandleTraits<HBITMAP, &DeleteObject>>;
using UniqueMenu = UniqueHandle<NullHandleTraits<HMENU, &DestroyMenu>>;
using UniqueMemoryDc = UniqueHandle<NullHandleTraits<HDC, &DeleteDC>>;

constexpr char kFormClass[] = "Zandrel.form1";
constexpr char kPictureClass[] = "Zandrel.Picture1";
constexpr UINT_PTR kTimer1Id = 1;
constexpr UINT kTimer1Interval = 6000;
constexpr SIZE kClientSize{518, 213};
constexpr RECT kPicture1Box{16, 8, 16 + 497, 8 + 193};

std::string SystemErrorDescription(DWORD error) {
    char text[512] = {};
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error,
                                  0, text, sizeof text, nullptr);
    while (length > 0 && (text[length - 1] == '\r' || text[length - 1] == '\n' || text[length - 1] == ' ')) {
        --length;
    }
    return length > 0 ? std::string(text, length) : "Error " + std::to_string(error);
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
        constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
        RECT frame{0, 0, kClientSize.cx, kClientSize.cy};
        AdjustWindowRectEx(&frame, kStyle, FALSE, 0);
        const int width = frame.right - frame.left;
        const int height = frame.bottom - frame.top;
        window_ = CreateWindowExA(0, kFormClass, std::string(kWindowTitle).c_str(), kStyle,
                                  (GetSystemMetrics(SM_CXSCREEN) - width) / 2,
                                  (GetSystemMetrics(SM_CYSCREEN) - height) / 2, width, height, nullptr,
                                  nullptr, instance, nullptr);
        if (window_ == nullptr) {
            return false;
        }
        SendMessageA(window_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon_.get()));
        SendMessageA(window_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon_.get()));
        CreateWindowExA(0, kPictureClass, "", WS_CHILD | WS_VISIBLE, kPicture1Box.left, kPicture1Box.top,
                        kPicture1Box.right - kPicture1Box.left, kPicture1Box.bottom - kPicture1Box.top,
                        window_, nullptr, instance, nullptr);
        return true;
    }

    HWND Window() const { return window_; }
    HBITMAP Splash() const { return splash_.get(); }
    LauncherForm& Logic() { return logic_; }

    ServerStart StartServer(const std::string& path) override {
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESHOWWINDOW;
        startup.wShowWindow = SW_HIDE;
        PROCESS_INFORMATION started{};
        // The full path is the program to run: a path with blanks can never resolve to another program.
        std::string commandLine = "\"" + path + "\"";
        if (!CreateProcessA(path.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                            &startup, &started)) {
            const DWORD error = GetLastError();
            return {false, 0, SystemErrorDescription(error)};
        }
        // Held to the end, so that the server's id cannot pass to another process meanwhile.
        serverProcess_.reset(started.hProcess);
        const UniqueKernelHandle thread(started.hThread);
        return {true, started.dwProcessId, {}};
    }

    void ShowErrorBox(const std::string& text, std::string_view title) override {
        MessageBoxA(window_, text.c_str(), std::string(title).c_str(), MB_OK | MB_ICONEXCLAMATION);
    }

    void EnableTimer() override { SetTimer(window_, kTimer1Id, kTimer1Interval, nullptr); }
    void DisableTimer() override { KillTimer(window_, kTimer1Id); }

    void OpenAddress(std::string_view address) override {
        ShellExecuteA(window_, std::string(kOpenVerb).c_str(), std::string(address).c_str(), nullptr,
                      directory_.c_str(), SW_SHOWNORMAL);
    }

    void HookWindow() override { launcher::HookWindow(window_); }

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
    std::string directory_;
    LauncherForm logic_;
    HWND window_ = nullptr;
    UniqueIcon icon_;
    UniqueIcon smallIcon_;
    UniqueBitmap splash_;
    UniqueMenu menu_;
    UniqueKernelHandle serverProcess_;
    bool menuOpen_ = false;
};

// The one form of the program, for the window procedures and the tray module.
Form1* TheForm = nullptr;

LRESULT CALLBACK Form1WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_TIMER:
            if (wParam == kTimer1Id && TheForm != nullptr) {
                TheForm->Logic().Timer1_Timer();
            }
            return 0;
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
        default:
            return DefWindowProcA(window, message, wParam, lParam);
    }
}

// Picture1: the start-up image from its top-left corner, cut to the box.
LRESULT CALLBACK Picture1WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != WM_PAINT) {
        return DefWindowProcA(window, message, wParam, lParam);
    }
    PAINTSTRUCT paint{};
    const HDC dc = BeginPaint(window, &paint);
    RECT box{};
    GetClientRect(window, &box);
    FillRect(dc, &box, GetSysColorBrush(COLOR_WINDOW));
    if (TheForm != nullptr && TheForm->Splash() != nullptr) {
        const UniqueMemoryDc memory(CreateCompatibleDC(dc));
        const HGDIOBJ previous = SelectObject(memory.get(), TheForm->Splash());
        BitBlt(dc, 0, 0, box.right, box.bottom, memory.get(), 0, 0, SRCCOPY);
        SelectObject(memory.get(), previous);
    }
    EndPaint(window, &paint);
    return 0;
}

bool RegisterClasses(HINSTANCE instance) {
    WNDCLASSEXA form{};
    form.cbSize = sizeof form;
    form.lpfnWndProc = &Form1WindowProc;
    form.hInstance = instance;
    form.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));  // IDC_ARROW
    form.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    form.lpszClassName = kFormClass;
    WNDCLASSEXA picture = form;
    picture.lpfnWndProc = &Picture1WindowProc;
    picture.lpszClassName = kPictureClass;
    return RegisterClassExA(&form) != 0 && RegisterClassExA(&picture) != 0;
}

}  // namespace

void SysTrayMouseEventHandler() {
    if (TheForm != nullptr) {
        TheForm->Logic().SysTrayMouseEventHandler();
    }
}

int RunForm1(HINSTANCE instance) {
    if (!RegisterClasses(instance)) {
        return 0;
    }
    Form1 form(instance);
    if (!form.Create(instance)) {
        return 0;
    }
    TheForm = &form;
    form.Logic().Form_Load();
    ShowWindow(form.Window(), SW_SHOWNORMAL);
    UpdateWindow(form.Window());
    MSG message{};
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    TheForm = nullptr;
    return 0;
}

}  // namespace zandrel::launcher
