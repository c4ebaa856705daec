// The native build's writer (the host tests): O_APPEND makes each write land at the end of the file,
// and the line goes out in one write. The rules of the Windows writer hold here too: a short write
// is cut back, a file that does not end a line gets CR LF first, a new file is the owner's alone,
// and a link is never written through.
#include "ResultFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <string>
#include <utility>

namespace zandrel {
namespace {

// A file that is a symbolic link fails the open (O_NOFOLLOW); one with more than one name this.
constexpr int kLinkRefused = EMLINK;

class Descriptor {
  public:
    explicit Descriptor(int fd) : fd_(fd) {}
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    int get() const { return fd_; }
    // Closes now: a failed close may mean the bytes never reached the disk (disk full).
    bool Close() { return ::close(std::exchange(fd_, -1)) == 0; }

  private:
    int fd_;
};

bool EndsALine(int fd, off_t end) {
    char last[2] = {};
    return end == 0 || (end >= 2 && ::pread(fd, last, 2, end - 2) == 2 && last[0] == '\r' && last[1] == '\n');
}

}  // namespace

Status AppendResultLine(const std::string& path, std::string_view text) {
    Descriptor file(::open(path.c_str(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
    struct stat before {};
    if (file.get() < 0 || ::fstat(file.get(), &before) != 0) {
        return Status::Failed(errno);
    }
    if (before.st_nlink > 1) {
        return Status::Failed(kLinkRefused);
    }
    std::string line;
    line.reserve(text.size() + 4);
    if (!EndsALine(file.get(), before.st_size)) {
        line.append("\r\n");
    }
    line.append(text).append("\r\n");
    const ssize_t written = ::write(file.get(), line.data(), line.size());
    if (written == static_cast<ssize_t>(line.size())) {
        return file.Close() ? Status() : Status::Failed(errno);
    }
    const int writeError = written < 0 ? errno : ENOSPC;
    if (written > 0) {
        // Should the cut fail, the fragment is ended by the next line's CR LF.
        [[maybe_unused]] const int cut = ::ftruncate(file.get(), before.st_size);
    }
    return Status::Failed(writeError);
}

Status ClearResultFile(const std::string& path) {
    Descriptor file(::open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NOFOLLOW));
    if (file.get() < 0) {
        return errno == ENOENT ? Status() : Status::Failed(errno);
    }
    struct stat info {};
    if (::fstat(file.get(), &info) != 0) {
        return Status::Failed(errno);
    }
    if (info.st_nlink > 1) {
        return Status::Failed(kLinkRefused);
    }
    return ::ftruncate(file.get(), 0) == 0 ? Status() : Status::Failed(errno);
}

// Each line asks every question afresh here: nothing is kept between lines but the path.
class ResultFileWriter {
  public:
    explicit ResultFileWriter(std::string path) : path_(std::move(path)) {}
    Status Append(std::string_view text) const { return AppendResultLine(path_, text); }

  private:
    std::string path_;
};

ResultFileAt::ResultFileAt(std::string_view directory, std::string_view fileName)
    : writer_(std::make_unique<ResultFileWriter>(JoinPath(directory, fileName))) {}

ResultFileAt::~ResultFileAt() = default;

Status ResultFileAt::AppendLine(std::string_view text) {
    return writer_->Append(text);
}

}  // namespace zandrel
