// The native build's writer (the host tests): O_APPEND makes each write land at the end of the file,
// and the line goes out in one write.
#include "ResultFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace zandrel {

Status AppendResultLine(const std::string& path, std::string_view text) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        return Status::Failed(errno);
    }
    std::string line;
    line.reserve(text.size() + 2);
    line.append(text).append("\r\n");
    const ssize_t written = ::write(fd, line.data(), line.size());
    const int writeError = errno;
    // A failed close may mean the bytes never reached the disk (disk full).
    if (::close(fd) != 0) {
        return Status::Failed(errno);
    }
    return written == static_cast<ssize_t>(line.size()) ? Status() : Status::Failed(writeError);
}

Status ClearResultFile(const std::string& path) {
    return ::truncate(path.c_str(), 0) == 0 || errno == ENOENT ? Status() : Status::Failed(errno);
}

}  // namespace zandrel
