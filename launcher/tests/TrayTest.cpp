#include "launcher/core/Tray.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace zandrel::launcher {
namespace {

std::string Field(std::string_view tip, std::size_t size = kTipFieldSize) {
    std::string field(size, 'x');
    FillTipField(field, tip);
    return field;
}

TEST(TipField, HoldsTheTipThenNulThenSpaces) {
    const std::string tip = "Zandrel Configuration Server is running";
    const std::string field = Field(tip);
    ASSERT_EQ(field.size(), 64u);
    EXPECT_EQ(field.substr(0, tip.size()), tip);
    EXPECT_EQ(field[tip.size()], '\0');
    EXPECT_EQ(field.substr(tip.size() + 1), std::string(64 - tip.size() - 1, ' '));
}

TEST(TipField, CutsTextAndNulToTheField) {
    struct Case {
        std::string tip;
        std::string expected;
    };
    const std::string sixtyThree(63, 'a');
    const std::vector<Case> cases = {
        {"", std::string(1, '\0') + std::string(63, ' ')},
        {std::string(62, 'a'), std::string(62, 'a') + '\0' + ' '},
        {sixtyThree, sixtyThree + '\0'},
        {std::string(64, 'a'), sixtyThree + '\0'},
        {std::string(300, 'a'), sixtyThree + '\0'},
        // Bytes of the ANSI code page pass as they are.
        {"Caf\xe9", std::string("Caf\xe9") + '\0' + std::string(59, ' ')},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Field(c.tip), c.expected) << "tip of " << c.tip.size() << " bytes";
    }
}

TEST(TipField, LeavesNothingBeyondASmallOrEmptyField) {
    EXPECT_EQ(Field("abc", 1), std::string(1, '\0'));
    std::string empty;
    FillTipField(empty, "abc");  // must not write anywhere
    EXPECT_TRUE(empty.empty());
}

TEST(TrayMessages, RightButtonDownOverTheIconShowsTheMenuAndNothingElseDoes) {
    constexpr std::uint32_t kTaskbarCreated = 0xC0F1;
    struct Case {
        std::uint32_t message;
        std::intptr_t lParam;
        TrayMessage expected;
    };
    const std::vector<Case> cases = {
        {517, 516, TrayMessage::ShowMenu},
        {517, 512, TrayMessage::PassOn},  // pointer moved
        {517, 513, TrayMessage::PassOn},  // left button down
        {517, 514, TrayMessage::PassOn},
        {517, 517, TrayMessage::PassOn},  // right button up
        {517, 518, TrayMessage::PassOn},  // right double click
        {517, 0x10000 | 516, TrayMessage::PassOn},
        {516, 517, TrayMessage::PassOn},
        {516, 516, TrayMessage::PassOn},
        {0x0010, 516, TrayMessage::PassOn},  // WM_CLOSE
        {kTaskbarCreated, 0, TrayMessage::AddIconAgain},
        {kTaskbarCreated, 516, TrayMessage::AddIconAgain},
        {kTaskbarCreated + 1, 0, TrayMessage::PassOn},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ClassifyTrayMessage(c.message, c.lParam, kTaskbarCreated), c.expected)
            << "message " << c.message << " lParam " << c.lParam;
    }
}

TEST(TrayMessages, AnUnregisteredTaskbarMessageMatchesNothing) {
    // RegisterWindowMessage answers 0 on failure; message 0 (WM_NULL) must then not re-add the icon.
    EXPECT_EQ(ClassifyTrayMessage(0, 0, 0), TrayMessage::PassOn);
    EXPECT_EQ(ClassifyTrayMessage(517, 516, 0), TrayMessage::ShowMenu);
}

// Top-level windows in Z order, top first: {id, has parent or owner, process id}.
class FakeWindows : public WindowList {
  public:
    struct Window {
        WindowId id;
        bool hasParent;
        std::uint32_t processId;
    };
    explicit FakeWindows(std::vector<Window> windows) : windows_(std::move(windows)) {}
    // Makes the walk come back to an earlier window, as a re-ordering during the walk can.
    void LinkBack(WindowId from, WindowId to) { links_[from] = to; }

    WindowId First() const override { return windows_.empty() ? 0 : windows_.front().id; }
    WindowId Next(WindowId window) const override {
        if (const auto link = links_.find(window); link != links_.end()) {
            return link->second;
        }
        for (std::size_t i = 0; i + 1 < windows_.size(); ++i) {
            if (windows_[i].id == window) {
                return windows_[i + 1].id;
            }
        }
        return 0;
    }
    bool HasParent(WindowId window) const override { return Find(window).hasParent; }
    std::uint32_t ProcessIdOf(WindowId window) const override { return Find(window).processId; }

  private:
    const Window& Find(WindowId window) const {
        for (const Window& w : windows_) {
            if (w.id == window) {
                return w;
            }
        }
        ADD_FAILURE() << "asked about window " << window << " that is not in the list";
        static const Window none{0, false, 0};
        return none;
    }
    std::vector<Window> windows_;
    std::map<WindowId, WindowId> links_;
};

TEST(FindProcessWindow, TakesTheFirstUnownedWindowOfTheProcessInZOrder) {
    constexpr std::uint32_t kServer = 4242;
    struct Case {
        const char* what;
        std::vector<FakeWindows::Window> windows;
        WindowId expected;
    };
    const std::vector<Case> cases = {
        {"no windows at all", {}, 0},
        {"only other processes", {{10, false, 1}, {11, false, 2}}, 0},
        {"the one window", {{10, false, 1}, {20, false, kServer}, {30, false, 3}}, 20},
        {"first of several in Z order", {{10, false, 1}, {20, false, kServer}, {21, false, kServer}}, 20},
        {"owned pop-up passed over", {{19, true, kServer}, {20, false, kServer}}, 20},
        {"only owned windows", {{19, true, kServer}, {18, true, kServer}}, 0},
        // A hidden window is just a window to the walk: the list carries no visibility at all.
        {"at the very bottom", {{10, false, 1}, {11, false, 2}, {99, false, kServer}}, 99},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FindProcessWindow(FakeWindows(c.windows), kServer), c.expected) << c.what;
    }
}

TEST(FindProcessWindow, ProcessIdZeroNeverMatchesAVanishedWindow) {
    // A window destroyed during the walk reports process id 0: that must not pass for a server that never
    // started.
    EXPECT_EQ(FindProcessWindow(FakeWindows({{10, false, 0}}), 0), 0u);
}

TEST(FindProcessWindow, EndsOnAWalkThatComesBackOnItself) {
    FakeWindows windows({{10, false, 1}, {11, false, 2}});
    windows.LinkBack(11, 10);
    EXPECT_EQ(FindProcessWindow(windows, 7), 0u);
}

TEST(CloseRequestTarget, OnlyAWindowOfTheServerWhileItRuns) {
    const FakeWindows windows({{10, false, 1}, {20, false, 4242}});
    EXPECT_EQ(CloseRequestTarget(windows, 4242, true), 20u);
    // Ended: its id may already belong to another process's window.
    EXPECT_EQ(CloseRequestTarget(windows, 4242, false), 0u);
    // Running but windowless: no request at all, rather than one to a null window.
    EXPECT_EQ(CloseRequestTarget(windows, 5555, true), 0u);
}

}  // namespace
}  // namespace zandrel::launcher
