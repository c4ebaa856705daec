#include "ExecutableDirectory.h"

#include <windows.h>

namespace zandrel {

std::string ExecutableDirectory() {
    std::string path(MAX_PATH, '\0');
    for (;;) {
        const DWORD length = GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
        // A full buffer means the name may have been cut: grow and ask again.
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        path.resize(path.size() * 2);
    }
    const size_t separator = path.find_last_of("\\/");
    return separator == std::string::npos ? std::string() : path.substr(0, separator);
}

}  // namespace zandrel
