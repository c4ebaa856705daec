// The probes' result files: text lines in the system ANSI code page, each ended by CR LF, and each
// written by one complete open, append and close, so the file is never held between lines.
//
// Runs of the probes overlap (a server's timer, two schedulers, an administrator by hand), so a line
// must reach the end of the file whole whatever else appends to it at the same moment: each line is
// written with a single write at the end of the file, and on Windows under a lock that every writer
// of these files takes. Readers, other writers and a delete are never locked out.
//
// A line is whole or absent: what a write that fails part-way (a full drive) left is cut off again.
// Where even that cut is refused, the next line starts on a line of its own. A file that the writer
// creates is private to its creator (and SYSTEM and Administrators on Windows); a result file that
// is a link to another file is never written through.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "Failure.h"
#include "Paths.h"

namespace zandrel {

// Appends `text` and CR LF to the file at `path`, creating it when absent. Bytes are written as they
// are, NULs and line breaks included; a CR LF goes in front when the file ends inside a line. Failed
// when the line could not be written whole: the file could not be opened, or the writers' lock not
// had, within a few seconds, the file is a link, or the write failed (nothing of the line is left).
// One line by a writer of its own that keeps nothing for later lines: a program that writes many
// lines into one file holds a ResultFileAt instead.
Status AppendResultLine(const std::string& path, std::string_view text);

// Empties a result file for a fresh start: done when its old lines are gone (also when there was no
// file); the file keeps its permissions. Failed for a file that is a link. Every line that another
// run appends at the same time lands either before the fresh start or whole after it.
Status ClearResultFile(const std::string& path);

// A probe's result file as its core sees it: one line appended at a time.
class ResultFile {
  public:
    virtual ~ResultFile() = default;
    virtual Status AppendLine(std::string_view text) = 0;
};

// A probe's lines on their way to its result file: each appended as it comes, and a line that could
// not be written remembered. What a lost line means for the rest of the run is the probe's to decide.
class ResultLog {
  public:
    explicit ResultLog(ResultFile& file) : file_(file) {}

    // False when the line could not be written.
    bool Append(std::string_view text) {
        if (file_.AppendLine(text).Ok()) {
            return true;
        }
        lineLost_ = true;
        return false;
    }
    bool LineLost() const noexcept { return lineLost_; }

  private:
    ResultFile& file_;
    bool lineLost_ = false;
};

// The platform's writer of one result file, with what it learnt of the file from its own lines.
class ResultFileWriter;

// The result file `fileName` beside the executable in `directory`, and its one writer for the run:
// what the writer learnt from a line (on Windows where the folder really is, and how the line left
// the file) spares the next line questions; nothing of it outlives this object.
class ResultFileAt final : public ResultFile {
  public:
    ResultFileAt(std::string_view directory, std::string_view fileName);
    ResultFileAt(const ResultFileAt&) = delete;
    ResultFileAt& operator=(const ResultFileAt&) = delete;
    ~ResultFileAt() override;

    // As AppendResultLine.
    Status AppendLine(std::string_view text) override;

  private:
    std::unique_ptr<ResultFileWriter> writer_;
};

}  // namespace zandrel
