// The state that the capture run shares with the event pass, and the one way lines reach event.log.
#pragma once

#include <cstdint>
#include <string_view>

#include "ResultFile.h"
#include "siftwell/core/Ports.h"

namespace zandrel::siftwell {

class CaptureContext {
  public:
    explicit CaptureContext(const Platform& platform) : platform_(platform), log_(platform.log) {}

    // The ports the run talks to the system through.
    const Platform& Ports() const { return platform_; }

    // Appends one line. After the first line that cannot be written nothing more is tried: a log
    // with a hole in it would read as a complete report.
    void LogLine(std::string_view text) {
        if (!log_.LineLost()) {
            log_.Append(text);
        }
    }
    bool LogUnwritable() const { return log_.LineLost(); }

    std::int16_t TimeZoneHours = 0;
    bool CaptureOk = false;

  private:
    const Platform& platform_;
    ResultLog log_;
};

}  // namespace zandrel::siftwell
