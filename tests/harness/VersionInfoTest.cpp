// Every executable of the tool set carries its version information.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "ProgramRun.h"

namespace zandrel::testing {
namespace {

std::string VersionString(const std::vector<char>& block, const char* name) {
    char* value = nullptr;
    UINT length = 0;
    const std::string path = std::string("\\StringFileInfo\\040904E4\\") + name;
    if (!VerQueryValueA(block.data(), path.c_str(), reinterpret_cast<void**>(&value), &length) ||
        length == 0) {
        return {};
    }
    return std::string(value, length - 1);
}

TEST(VersionInfo, EveryExecutableNamesItselfAndTheProduct) {
    const struct {
        const char* path;
        const char* fileName;
    } executables[] = {{ZANDREL_SIFTWELL_EXE, "Siftwell.exe"},
                       {ZANDREL_GAUGEWELL_EXE, "Gaugewell.exe"},
                       {ZANDREL_ZANDREL_EXE, "Zandrel.exe"}};
    for (const auto& executable : executables) {
        SCOPED_TRACE(executable.fileName);
        const std::string path = BuildPathToWindows(executable.path);
        DWORD ignored = 0;
        const DWORD size = GetFileVersionInfoSizeA(path.c_str(), &ignored);
        ASSERT_GT(size, 0u);
        std::vector<char> block(size);
        ASSERT_TRUE(GetFileVersionInfoA(path.c_str(), 0, size, block.data()));
        EXPECT_EQ(VersionString(block, "OriginalFilename"), executable.fileName);
        EXPECT_EQ(VersionString(block, "ProductName"), "Zandrel");
        EXPECT_FALSE(VersionString(block, "FileDescription").empty());
    }
}

}  // namespace
}  // namespace zandrel::testing
