// A result file kept in memory for the cores' tests: the line numbered `failFromLine` (0 first) and
// every later one fail, as a file that cannot be written does.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "ResultFile.h"

namespace zandrel::testing {

class MemoryResultFile : public ResultFile {
  public:
    std::string bytes;
    std::optional<std::size_t> failFromLine;
    std::size_t attempts = 0;

    Status AppendLine(std::string_view text) override {
        if (failFromLine && attempts++ >= *failFromLine) {
            return Status::Failed(5);  // access denied
        }
        bytes.append(text).append("\r\n");
        return {};
    }
};

}  // namespace zandrel::testing
