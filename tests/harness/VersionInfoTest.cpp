// Every executable of the tool set carries its version information and its manifest, and ships
// without symbols.
#include <gtest/gtest.h>

#include <windows.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "ProgramRun.h"
#include "UniqueHandle.h"

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

const struct {
    const char* path;
    const char* fileName;
} kExecutables[] = {{ZANDREL_SIFTWELL_EXE, "Siftwell.exe"},
                    {ZANDREL_GAUGEWELL_EXE, "Gaugewell.exe"},
                    {ZANDREL_ZANDREL_EXE, "Zandrel.exe"}};

// The text of the manifest resource (RT_MANIFEST, id 1), or nothing.
std::string Manifest(const std::string& path) {
    const UniqueModule module(LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
    const HRSRC found = FindResourceA(module.get(), MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));
    const HGLOBAL loaded = found != nullptr ? LoadResource(module.get(), found) : nullptr;
    const char* text = loaded != nullptr ? static_cast<const char*>(LockResource(loaded)) : nullptr;
    return text != nullptr ? std::string(text, SizeofResource(module.get(), found)) : std::string();
}

// The value of the attribute in the first element of that name.
std::string Attribute(const std::string& xml, const std::string& element, const std::string& name) {
    const std::size_t start = xml.find("<" + element + " ");
    const std::size_t value = start == std::string::npos ? start : xml.find(" " + name + "=\"", start);
    if (value == std::string::npos || value > xml.find('>', start)) {
        return {};
    }
    const std::size_t begin = value + name.size() + 3;
    return xml.substr(begin, xml.find('"', begin) - begin);
}

TEST(VersionInfo, EveryProgramCarriesItsManifestAndNoSymbols) {
    for (const auto& executable : kExecutables) {
        SCOPED_TRACE(executable.fileName);
        const std::string path = BuildPathToWindows(executable.path);
        const std::string manifest = Manifest(path);
        EXPECT_EQ(Attribute(manifest, "assemblyIdentity", "version"), ZANDREL_PROJECT_VERSION ".0");
        EXPECT_EQ(Attribute(manifest, "requestedExecutionLevel", "level"), "asInvoker");
        EXPECT_NE(
            manifest.find("<longPathAware xmlns=\"http://schemas.microsoft.com/SMI/2016/WindowsSettings\">"
                          "true</longPathAware>"),
            std::string::npos);
        // A manifest that the system cannot read keeps the program from starting at all.
        ACTCTXA context{};
        context.cbSize = sizeof context;
        context.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID;
        context.lpSource = path.c_str();
        context.lpResourceName = MAKEINTRESOURCEA(1);
        const HANDLE activation = CreateActCtxA(&context);
        EXPECT_NE(activation, INVALID_HANDLE_VALUE) << GetLastError();
        ReleaseActCtx(activation);

        std::ifstream file(path, std::ios::binary);
        const std::vector<char> image{std::istreambuf_iterator<char>(file), {}};
        ASSERT_GE(image.size(), sizeof(IMAGE_DOS_HEADER));
        const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(image.data());
        ASSERT_LE(static_cast<std::size_t>(dos->e_lfanew) + sizeof(IMAGE_NT_HEADERS64), image.size());
        const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS64*>(image.data() + dos->e_lfanew);
        EXPECT_EQ(nt->FileHeader.NumberOfSymbols, 0u) << "shipped with its symbol table";
    }
}

TEST(VersionInfo, EveryExecutableNamesItselfAndTheProduct) {
    for (const auto& executable : kExecutables) {
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
