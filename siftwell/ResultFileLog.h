// event.log beside the executable, one open, append and close per line.
#pragma once

#include <string>

#include "Lines.h"
#include "Paths.h"
#include "Ports.h"
#include "ResultFile.h"

namespace zandrel::siftwell {

class ResultFileLog : public ResultLog {
  public:
    explicit ResultFileLog(const std::string& directory) : path_(JoinPath(directory, kResultFileName)) {}
    bool AppendLine(std::string_view text) override { return AppendResultLine(path_, text); }

  private:
    std::string path_;
};

}  // namespace zandrel::siftwell
