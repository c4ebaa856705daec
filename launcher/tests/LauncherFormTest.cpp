#include "launcher/core/LauncherForm.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "Paths.h"

namespace zandrel::launcher {
namespace {

// Records every platform call as one line, in order.
class FakePlatform : public FormPlatform {
  public:
    Result<std::uint32_t> start = 4242u;
    MenuCommand menuChoice = MenuCommand::None;
    std::vector<std::string> calls;
    // Runs inside each address request, as a message pumped there would.
    std::function<void()> onOpenAddress;

    Result<std::uint32_t> StartServer(const std::string& path) override {
        calls.push_back("start " + path);
        return start;
    }
    void ShowErrorBox(const std::string& text, std::string_view title) override {
        calls.push_back("box " + std::string(title) + ": " + text);
    }
    void EnableTimer() override { calls.push_back("timer on"); }
    void DisableTimer() override { calls.push_back("timer off"); }
    void OpenAddress(std::string_view address) override {
        calls.push_back("open " + std::string(address));
        if (onOpenAddress) {
            onOpenAddress();
        }
    }
    void HookWindow() override { calls.push_back("hook"); }
    void AddTrayIcon(std::string_view tip) override { calls.push_back("add icon " + std::string(tip)); }
    void RemoveTrayIcon() override { calls.push_back("remove icon"); }
    void HideWindow() override { calls.push_back("hide"); }
    MenuCommand ShowPopupMenu() override {
        calls.push_back("menu");
        return menuChoice;
    }
    void UnloadForm() override { calls.push_back("unload"); }
    void CloseProcessWindow(std::uint32_t processId) override {
        calls.push_back("close " + std::to_string(processId));
    }
};

using Calls = std::vector<std::string>;

const std::string kServerPath = JoinPath("C:\\Program Files\\Zandrel", "zandrel-server.exe");

TEST(FormLoad, StartsTheServerBesideTheLauncherAndArmsTheTimer) {
    FakePlatform platform;
    LauncherForm form(platform, "C:\\Program Files\\Zandrel");
    form.Form_Load();
    EXPECT_EQ(platform.calls, (Calls{"start " + kServerPath, "timer on"}));
    EXPECT_EQ(form.ServerProcessId(), 4242u);
}

TEST(FormLoad, AStartFailureShowsTheBoxAndNothingFollows) {
    FakePlatform platform;
    platform.start = Failure{2, "File not found.\r\n"};
    LauncherForm form(platform, "C:\\Program Files\\Zandrel");
    form.Form_Load();
    EXPECT_EQ(platform.calls,
              (Calls{"start " + kServerPath, "box Error: Error Shelling file.\r\nFile not found."}));
    EXPECT_EQ(form.ServerProcessId(), 0u);
    // The timer was never armed: a stray tick does nothing.
    platform.calls.clear();
    form.Timer1_Timer();
    EXPECT_TRUE(platform.calls.empty());
}

// A folder whose name the ANSI code page cannot hold has no exact ANSI path: no server is started
// from its look-alike, and the box tells why.
TEST(FormLoad, ADirectoryWithoutAnExactNameStartsNothing) {
    FakePlatform platform;
    LauncherForm form(platform, Failure{1113, "No mapping for the Unicode character exists.\r\n"});
    form.Form_Load();
    EXPECT_EQ(platform.calls,
              (Calls{"box Error: Error Shelling file.\r\nNo mapping for the Unicode character exists."}));
    EXPECT_EQ(form.ServerProcessId(), 0u);
}

TEST(Timer1Tick, RequestsThePageTwiceBeforeTheIconThenHidesForGood) {
    FakePlatform platform;
    LauncherForm form(platform, "C:\\Zandrel");
    form.Form_Load();
    platform.calls.clear();
    form.Timer1_Timer();
    EXPECT_EQ(platform.calls, (Calls{"timer off", "open http://localhost:1272", "open http://localhost:1272",
                                     "hook", "add icon Zandrel Configuration Server is running", "hide"}));
    // A second tick, already queued when the timer stopped, changes nothing.
    platform.calls.clear();
    form.Timer1_Timer();
    EXPECT_TRUE(platform.calls.empty());
}

// Opening an address may pump messages long enough for the next WM_TIMER to be dispatched inside it.
TEST(Timer1Tick, ATickDispatchedWhileThePageIsRequestedRunsNothing) {
    FakePlatform platform;
    LauncherForm form(platform, "C:\\Zandrel");
    form.Form_Load();
    platform.calls.clear();
    platform.onOpenAddress = [&form] { form.Timer1_Timer(); };
    form.Timer1_Timer();
    EXPECT_EQ(platform.calls, (Calls{"timer off", "open http://localhost:1272", "open http://localhost:1272",
                                     "hook", "add icon Zandrel Configuration Server is running", "hide"}));
}

TEST(TrayMenu, EachChoiceRunsItsCommandOnly) {
    struct Case {
        MenuCommand choice;
        Calls expected;
    };
    const std::vector<Case> cases = {
        {MenuCommand::None, {"menu"}},
        {MenuCommand::Rest1, {"menu", "open http://zandrel.example/help"}},
        // The close request goes out last, after the form is gone.
        {MenuCommand::Msg1, {"menu", "remove icon", "unload", "close 4242"}},
    };
    for (const Case& c : cases) {
        FakePlatform platform;
        LauncherForm form(platform, "C:\\Zandrel");
        form.Form_Load();
        form.Timer1_Timer();
        platform.calls.clear();
        platform.menuChoice = c.choice;
        form.SysTrayMouseEventHandler();
        EXPECT_EQ(platform.calls, c.expected) << static_cast<int>(c.choice);
    }
}

TEST(TrayMenu, HelpCanBeOpenedAgainAndExitIsFinal) {
    FakePlatform platform;
    LauncherForm form(platform, "C:\\Zandrel");
    form.Form_Load();
    form.Timer1_Timer();
    platform.calls.clear();
    platform.menuChoice = MenuCommand::Rest1;
    form.SysTrayMouseEventHandler();
    form.SysTrayMouseEventHandler();
    platform.menuChoice = MenuCommand::Msg1;
    form.SysTrayMouseEventHandler();
    // A notification still queued behind Exit finds no form to show a menu for.
    form.SysTrayMouseEventHandler();
    EXPECT_EQ(platform.calls,
              (Calls{"menu", "open http://zandrel.example/help", "menu", "open http://zandrel.example/help",
                     "menu", "remove icon", "unload", "close 4242"}));
}

}  // namespace
}  // namespace zandrel::launcher
