#include "launcher/core/FormLayout.h"

#include <gtest/gtest.h>

#include <vector>

namespace zandrel::launcher {
namespace {

TEST(Form1Layout, FollowsTheScreenDpiAndKeepsTheClassicSizesAt96) {
    struct Case {
        int dpi;
        Form1Layout expected;
    };
    const std::vector<Case> cases = {
        {96, {518, 213, {16, 8, 497, 193}, 504, 199}},
        // Halves round up: 319.5 x 745.5 x 289.5 at 150%.
        {144, {777, 320, {24, 12, 746, 290}, 756, 299}},
        {120, {648, 266, {20, 10, 621, 241}, 630, 249}},
        {192, {1036, 426, {32, 16, 994, 386}, 1008, 398}},
        {288, {1554, 639, {48, 24, 1491, 579}, 1512, 597}},
        // A scale where a twip more or less in the form's height or the picture's moves a pixel.
        {139, {750, 308, {23, 12, 720, 279}, 730, 288}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(LayOutForm1(c.dpi), c.expected) << c.dpi << " DPI";
    }
}

}  // namespace
}  // namespace zandrel::launcher
