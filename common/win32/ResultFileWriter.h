// The Windows writer of one result file (ResultFile.h) over a table of the calls it makes, and what
// it learnt of the file from its own lines (LinkCheck.h): one for each file a run writes, so that
// nothing of it is shared, and nothing outlives the run.
#pragma once

#include <string>
#include <string_view>
#include <utility>

#include "Failure.h"
#include "LinkCheck.h"
#include "ResultFileCalls.h"

namespace zandrel {

class ResultFileWriter {
  public:
    explicit ResultFileWriter(std::string path, const ResultFileCalls& calls = {})
        : calls_(calls), path_(std::move(path)) {}

    // As AppendResultLine and ClearResultFile.
    Status Append(std::string_view text);
    Status Clear();

  private:
    ResultFileCalls calls_;
    std::string path_;
    KnownFile known_;
};

}  // namespace zandrel
