// Where the probe takes the system's own modules from: the system directory (System32) by its full
// path, never a search that could reach the program's folder first.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace zandrel::siftwell {

// System32 + "\" + `name`; empty when the directory cannot be had, so that nothing gets loaded.
inline std::string SystemDirectoryPath(std::string_view name) {
    // The first call answers the room the path needs, its NUL included.
    const UINT needed = GetSystemDirectoryA(nullptr, 0);
    if (needed == 0) {
        return {};
    }
    std::string path(needed, '\0');
    const UINT length = GetSystemDirectoryA(path.data(), needed);
    if (length == 0 || length >= needed) {
        return {};
    }
    path.resize(length);
    path += '\\';
    path += name;
    return path;
}

}  // namespace zandrel::siftwell
