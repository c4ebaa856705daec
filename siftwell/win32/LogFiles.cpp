#include <windows.h>

#include "siftwell/win32/Adapters.h"
#include "Paths.h"
#include "ResultFile.h"
#include "UniqueHandle.h"

namespace zandrel::siftwell {
namespace {

// What an ordinary file search leaves out.
constexpr DWORD kUnseenAttributes = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_DIRECTORY;

}  // namespace

std::optional<std::string> Win32LogFiles::FindVisibleFile(const std::string& name) {
    WIN32_FIND_DATAA found{};
    const UniqueFindHandle search(FindFirstFileA(JoinPath(directory_, name).c_str(), &found));
    if (!search) {
        return std::nullopt;
    }
    do {
        if ((found.dwFileAttributes & kUnseenAttributes) == 0) {
            return std::string(found.cFileName);
        }
    } while (FindNextFileA(search.get(), &found));
    return std::nullopt;
}

Status Win32LogFiles::ClearLogFile(const std::string& name) {
    return ClearResultFile(JoinPath(directory_, name));
}

}  // namespace zandrel::siftwell
