// Where the probe takes the system's own modules from: the system directory (System32) by its full
// path, never a search that could reach the program's folder first.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

#include "GrowBuffer.h"
#include "LastError.h"

namespace zandrel::siftwell {

// System32 + "\" + `name`; empty when the directory cannot be had, so that nothing gets loaded.
inline std::string SystemDirectoryPath(std::string_view name) {
    // The first call, with no buffer, answers the room the path needs, its NUL included.
    Result<std::string> directory =
        GrowUntilFits<std::string>(0, kLongestPath, [](std::string& path) -> Result<BufferFill> {
            const UINT size = static_cast<UINT>(path.size());
            const UINT length = GetSystemDirectoryA(size == 0 ? nullptr : path.data(), size);
            if (length == 0) {
                return LastErrorFailure();
            }
            return length < size ? BufferFill::Fits(length) : BufferFill::Needs(length);
        });
    if (FailureOf(directory)) {
        return {};
    }
    std::string path = std::move(ValueOf(directory));
    path += '\\';
    path += name;
    return path;
}

}  // namespace zandrel::siftwell
