#include "Scratch.h"

#include <atomic>
#include <chrono>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <system_error>

#ifdef _WIN32
#include <windows.h>

#include "UniqueHandle.h"
#endif

namespace zandrel::testing {

ScratchDir::ScratchDir() {
    static std::atomic<unsigned> counter{0};
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    const std::string name = "zandrel-" + std::to_string(stamp) + "-" + std::to_string(counter++);
    path_ = std::filesystem::temp_directory_path() / name;
    if (!std::filesystem::create_directories(path_)) {
        throw std::runtime_error("cannot create scratch directory " + path_.string());
    }
}

ScratchDir::~ScratchDir() {
    if (unixLinks_) {
        try {
            RemoveUnixSide();
        } catch (const std::exception&) {
            // Left behind in the temporary folder.
        }
        return;
    }
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

void ScratchDir::Write(std::string_view name, std::string_view bytes) const {
    std::ofstream out(path_ / name, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) {
        throw std::runtime_error("cannot write " + PathOf(name));
    }
}

std::optional<std::string> ScratchDir::Read(std::string_view name) const {
    std::ifstream in(path_ / name, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

#ifdef _WIN32
namespace {

bool UnderWine() {
    const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

// Wine's name of a Windows path on the Unix side.
std::string UnixPathOf(const std::string& path) {
    using ToUnix = char*(CDECL*)(LPCWSTR);
    const HMODULE kernel32 = GetModuleHandleA("kernel32.dll");
    const auto toUnix = reinterpret_cast<ToUnix>(
        reinterpret_cast<void (*)()>(GetProcAddress(kernel32, "wine_get_unix_file_name")));
    std::wstring wide(path.size() + 1, L'\0');
    const int length =
        MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide.data(), static_cast<int>(wide.size()));
    char* unixPath = toUnix != nullptr && length > 0 ? toUnix(wide.c_str()) : nullptr;
    if (unixPath == nullptr) {
        throw std::runtime_error("Wine gives no Unix name for " + path);
    }
    std::string result(unixPath);
    HeapFree(GetProcessHeap(), 0, unixPath);
    return result;
}

// Under Wine a process may start a Unix program, but the handle that it gets back neither waits for
// the program nor carries its exit status: the command counts as done once `done` holds.
template <typename Done>
void RunUnix(std::string commandLine, Done done) {
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &info)) {
        throw std::runtime_error("cannot start " + commandLine);
    }
    // Neither handle tells anything here.
    const UniqueKernelHandle thread(info.hThread);
    const UniqueKernelHandle process(info.hProcess);
    for (int waited = 0; !done(); waited += 10) {
        if (waited >= 10000) {
            throw std::runtime_error(commandLine + " did not do its work");
        }
        Sleep(10);
    }
}

std::string Quoted(const std::string& text) {
    return "\"" + text + "\"";
}

}  // namespace

bool ScratchDir::Link(std::string_view name, const std::string& target, bool directory) {
    const std::string link = PathOf(name);
    if (UnderWine()) {
        unixLinks_ = true;
        RunUnix("/bin/ln -s -- " + Quoted(UnixPathOf(target)) + " " + Quoted(UnixPathOf(link)),
                [&] { return GetFileAttributesA(link.c_str()) != INVALID_FILE_ATTRIBUTES; });
        return true;
    }
    const DWORD flags =
        SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE | (directory ? SYMBOLIC_LINK_FLAG_DIRECTORY : 0);
    return CreateSymbolicLinkA(link.c_str(), target.c_str(), flags) != FALSE;
}

void ScratchDir::RemoveUnixSide() const {
    const std::string path = Path();
    RunUnix("/bin/rm -rf -- " + Quoted(UnixPathOf(path)),
            [&] { return GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES; });
}
#else
bool ScratchDir::Link(std::string_view name, const std::string& target, bool directory) {
    std::error_code error;
    if (directory) {
        std::filesystem::create_directory_symlink(target, path_ / name, error);
    } else {
        std::filesystem::create_symlink(target, path_ / name, error);
    }
    if (error) {
        throw std::runtime_error("cannot link " + PathOf(name) + ": " + error.message());
    }
    return true;
}

void ScratchDir::RemoveUnixSide() const {}
#endif

}  // namespace zandrel::testing
