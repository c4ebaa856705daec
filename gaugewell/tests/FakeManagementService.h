// A management service that answers from tables and records every call and release, so tests can
// check what the probe asked for and in which order it let go of the objects.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "gaugewell/core/Ports.h"

namespace zandrel::gaugewell::testing {

// Properties of one instance; a name that is absent cannot be read.
using FakeProperties = std::map<std::string, std::string>;

// What the service answers to one query; every part defaults, so a test names only what it changes.
struct FakeAnswer {
    std::optional<Failure> failure = {};
    std::vector<FakeProperties> instances = {};
    std::optional<std::int32_t> count = {};  // what Count reports, when not the number of instances
    std::optional<Failure> countFailure = {};
    // The walk fails where it would hand out instance `walkFailsAt` (0 first; the number of
    // instances: at the end).
    std::optional<std::size_t> walkFailsAt = {};
    Failure walkFailure = {};
    std::set<std::string> unreadable = {};  // properties whose read fails, on every instance
};

class FakeManagementService : public ManagementService {
  public:
    // Connections by their order in the run (0 first); a connection without an entry succeeds.
    std::map<int, Failure> connectFailures;
    // Answers by class name (InstancesOf) or query text (ExecQuery); anything else yields an empty set.
    std::map<std::string, FakeAnswer> answers;
    std::vector<std::string> calls;
    std::u16string_view lastPassword;  // the run's own buffer, as the last connection was given it

    // Recorded as "Connect server|user|password", the values in UTF-8.
    ServiceResult<ManagementConnection> Connect(std::u16string_view server, std::u16string_view userName,
                                                std::u16string_view password) override;

  private:
    int connections_ = 0;
};

class FakeLocale : public UserLocale {
  public:
    std::string separator = ",";
    std::optional<Failure> separatorFailure;
    Result<std::string> ThousandsSeparator() override {
        if (separatorFailure) {
            return *separatorFailure;
        }
        return separator;
    }
};

}  // namespace zandrel::gaugewell::testing
