#include "launcher/core/Texts.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace zandrel::launcher {
namespace {

TEST(SystemErrorDescription, TakesTheSystemsTextWithoutItsLineBreakElseTheNumber) {
    struct Case {
        std::uint32_t number;
        std::string systemText;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {2, "File not found.\r\n", "File not found."},
        {5, "Access denied. \r\n", "Access denied."},
        {87, "First line.\r\nSecond line.\r\n", "First line.\r\nSecond line."},
        {1234, "", "Error 1234"},
        {4294967295u, "\r\n", "Error 4294967295"},
    };
    for (const Case& test : cases) {
        EXPECT_EQ(SystemErrorDescription({static_cast<std::int32_t>(test.number), test.systemText}),
                  test.expected)
            << test.number;
    }
}

TEST(StartFailureText, PutsTheDescriptionOnTheLineAfterTheHeadline) {
    EXPECT_EQ(StartFailureText({2, "File not found.\r\n"}), "Error Shelling file.\r\nFile not found.");
    EXPECT_EQ(StartFailureText({193, ""}), "Error Shelling file.\r\nError 193");
}

}  // namespace
}  // namespace zandrel::launcher
