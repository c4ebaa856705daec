#include "ExecutableDirectory.h"

#include "AnsiText.h"
#include "SystemMessage.h"

namespace zandrel {
namespace {

// Room for the system's texts about a path.
constexpr DWORD kMessageCapacity = 512;
// Past the longest path the system takes (32,767 characters) no answer can be whole.
constexpr std::size_t kLongestModulePath = 65536;

Failure FailureOf(DWORD error) {
    return Failure{static_cast<std::int32_t>(error), SystemMessageText(error, kMessageCapacity)};
}

}  // namespace

Result<std::string> ExecutableDirectory() {
    return ExecutableDirectory(&GetModuleFileNameW);
}

Result<std::string> ExecutableDirectory(ModuleFileNameCall moduleFileName) {
    // Read wide: the ANSI form of a name the code page cannot hold is another folder's name.
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = moduleFileName(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) {
            return FailureOf(GetLastError());
        }
        // A full buffer means the name may have been cut: grow and ask again.
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        if (path.size() >= kLongestModulePath) {
            return FailureOf(ERROR_INSUFFICIENT_BUFFER);
        }
        path.resize(path.size() * 2);
    }
    const std::size_t separator = path.find_last_of(L"\\/");
    if (separator == std::wstring::npos) {
        return FailureOf(ERROR_BAD_PATHNAME);
    }
    std::optional<std::string> directory = ExactAnsi(std::wstring_view(path).substr(0, separator));
    if (!directory) {
        return FailureOf(ERROR_NO_UNICODE_TRANSLATION);
    }
    return std::move(*directory);
}

}  // namespace zandrel
