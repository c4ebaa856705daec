// The native build's writer (the host tests): O_APPEND makes each write land at the end of the file,
// and the line goes out in one write.
#include "ResultFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace zandrel {

bool AppendResultLine(const std::string& path, std::string_view text) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        return false;
    }
    std::string line;
    line.reserve(text.size() + 2);
    line.append(text).append("\r\n");
    const ssize_t written = ::write(fd, line.data(), line.size());
    // A failed close may mean the bytes never reached the disk (disk full).
    const bool closed = ::close(fd) == 0;
    return written == static_cast<ssize_t>(line.size()) && closed;
}

std::int32_t ClearResultFile(const std::string& path) {
    return ::truncate(path.c_str(), 0) == 0 || errno == ENOENT ? 0 : errno;
}

}  // namespace zandrel
