// The port through which the probe reaches a host's management service: connect, run a query,
// count and walk the instances of its result, read their properties by name.
//
// Ownership mirrors the service's objects: the connection owns the service and its locator, a result
// set is owned by whoever ran the query. Destroying a result set before its connection therefore
// releases the objects in the order result set, service, locator.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "Failure.h"
#include "Secret.h"

namespace zandrel::gaugewell {

// A step of the service hands back the object it made, or the failure it reported: the result code
// and the description that came with it.
template <typename T>
using ServiceResult = Result<std::unique_ptr<T>>;

class ManagementInstance {
  public:
    virtual ~ManagementInstance() = default;
    // The value in text form (numbers in plain decimal digits); nothing when the instance has no such
    // property or its value is null; the failure when it could not be read.
    virtual Result<std::optional<std::string>> Property(std::string_view name) = 0;
};

class ManagementResultSet {
  public:
    virtual ~ManagementResultSet() = default;
    virtual Result<std::int32_t> Count() = 0;
    // The next instance, null at the end of the set; the failure when the enumeration fails (a query
    // for an unknown class fails only here).
    virtual ServiceResult<ManagementInstance> Next() = 0;
};

class ManagementConnection {
  public:
    virtual ~ManagementConnection() = default;
    // The instances of a class; the instances that a query in the service's query language selects.
    // Both return at once: the instances arrive as the set is walked.
    [[nodiscard]] virtual ServiceResult<ManagementResultSet> InstancesOf(std::string_view className) = 0;
    [[nodiscard]] virtual ServiceResult<ManagementResultSet> ExecQuery(std::string_view query) = 0;
};

class ManagementService {
  public:
    virtual ~ManagementService() = default;
    // Creates a locator and connects it to `server` ("." is this computer) in the default namespace.
    // The service takes wide text: the three values come as the characters of the settings file, the
    // password in the secret's own storage.
    [[nodiscard]] virtual ServiceResult<ManagementConnection> Connect(std::u16string_view server,
                                                                      std::u16string_view userName,
                                                                      const WideSecret& password) = 0;
};

// The user's regional settings, as far as the probe's texts depend on them.
class UserLocale {
  public:
    virtual ~UserLocale() = default;
    virtual Result<std::string> ThousandsSeparator() = 0;
};

}  // namespace zandrel::gaugewell
