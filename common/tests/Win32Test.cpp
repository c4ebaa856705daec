// The Windows helpers against the real platform.
#include <gtest/gtest.h>

#include <windows.h>

#include "AnsiText.h"
#include "ExecutableDirectory.h"
#include "UniqueHandle.h"

namespace zandrel {
namespace {

TEST(ExecutableDirectory, IsTheFoldersOfThisTestWithoutTrailingSeparator) {
    const std::string directory = ExecutableDirectory();
    char path[MAX_PATH];
    ASSERT_GT(GetModuleFileNameA(nullptr, path, MAX_PATH), 0u);
    const std::string full(path);
    ASSERT_FALSE(directory.empty());
    EXPECT_NE(directory.back(), '\\');
    EXPECT_EQ(full.substr(0, directory.size() + 1), directory + "\\");
    EXPECT_EQ(full.find('\\', directory.size() + 1), std::string::npos);
}

TEST(AnsiText, RoundTripsTheCodePage) {
    // Code page 1252: 0xE9 is e acute, 0x80 the euro sign.
    const std::string ansi = "caf\xE9 \x80 5";
    const std::wstring wide = AnsiToWide(ansi);
    EXPECT_EQ(wide, L"caf\u00E9 \u20AC 5");
    EXPECT_EQ(WideToAnsi(wide), ansi);
    EXPECT_EQ(WideToAnsi(std::wstring(L"a\0b", 3)), std::string("a\0b", 3));
    EXPECT_EQ(WideToAnsi(L"\u4E2D"), "?");  // not in the code page: the default character
}

TEST(UniqueHandle, ClosingKeepsTheLastError) {
    UniqueKernelHandle event(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    ASSERT_TRUE(event);
    SetLastError(1234);
    event.reset();
    EXPECT_EQ(GetLastError(), 1234u);
    EXPECT_FALSE(event);
}

}  // namespace
}  // namespace zandrel
