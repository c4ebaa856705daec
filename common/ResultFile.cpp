#include "ResultFile.h"

#include <cstdio>

namespace zandrel {

bool AppendResultLine(const std::string& path, std::string_view text) {
    std::FILE* file = std::fopen(path.c_str(), "ab");
    if (file == nullptr) {
        return false;
    }
    bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    written = std::fwrite("\r\n", 1, 2, file) == 2 && written;
    // A failed close may mean the bytes never reached the disk (disk full).
    return std::fclose(file) == 0 && written;
}

}  // namespace zandrel
