#include <windows.h>

#include "siftwell/win32/Adapters.h"
#include "LastError.h"
#include "Paths.h"
#include "ResultFile.h"
#include "UniqueHandle.h"

namespace zandrel::siftwell {
namespace {

// What an ordinary file search leaves out.
constexpr DWORD kUnseenAttributes = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_DIRECTORY;

}  // namespace

Result<std::optional<std::string>> Win32LogFiles::FindVisibleFile(const std::string& name) {
    WIN32_FIND_DATAA found{};
    const UniqueFindHandle search(FindFirstFileA(JoinPath(directory_, name).c_str(), &found));
    if (!search) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND) {
            return std::nullopt;
        }
        return ErrorFailure(error);
    }
    do {
        if ((found.dwFileAttributes & kUnseenAttributes) == 0) {
            return std::optional<std::string>(found.cFileName);
        }
    } while (FindNextFileA(search.get(), &found));
    if (const DWORD error = GetLastError(); error != ERROR_NO_MORE_FILES) {
        return ErrorFailure(error);
    }
    return std::nullopt;
}

Status Win32LogFiles::ClearLogFile(const std::string& name) {
    return ClearResultFile(JoinPath(directory_, name));
}

}  // namespace zandrel::siftwell
