// Paths of the files that the programs keep beside their executable.
#pragma once

#include <string>
#include <string_view>

namespace zandrel {

#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
#else
inline constexpr char kPathSeparator = '/';
#endif

// `directory` has no trailing separator, as the executable's directory is given.
inline std::string JoinPath(std::string_view directory, std::string_view fileName) {
    std::string path(directory);
    path += kPathSeparator;
    path += fileName;
    return path;
}

}  // namespace zandrel
