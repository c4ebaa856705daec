// A management service that answers from tables and records every call and release, so tests can
// check what the probe asked for and in which order it let go of the objects.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "gaugewell/core/Ports.h"

namespace zandrel::gaugewell::testing {

// Properties of one instance; a name that is absent cannot be read.
using FakeProperties = std::map<std::string, std::string>;

struct FakeAnswer {
    std::optional<Failure> failure;
    std::vector<FakeProperties> instances;
    std::optional<std::int32_t> count;  // what Count reports, when not the number of instances
};

class FakeManagementService : public ManagementService {
  public:
    // Connections by their order in the run (0 first); a connection without an entry succeeds.
    std::map<int, Failure> connectFailures;
    // Answers by class name (InstancesOf) or query text (ExecQuery); anything else yields an empty set.
    std::map<std::string, FakeAnswer> answers;
    std::vector<std::string> calls;

    // Recorded as "Connect server|user|password", the values in UTF-8.
    ServiceResult<ManagementConnection> Connect(std::u16string_view server, std::u16string_view userName,
                                                const WideSecret& password) override;

  private:
    int connections_ = 0;
};

class FakeLocale : public UserLocale {
  public:
    std::string separator = ",";
    Result<std::string> ThousandsSeparator() override { return separator; }
};

}  // namespace zandrel::gaugewell::testing
