// How every port of the tool set reports a failed platform step: the number the platform gave (a
// last-error value, a network error, a result code) and, where the platform gives one, its
// description. A failure whose number reads 0 is still a failure.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <variant>

namespace zandrel {

struct Failure {
    std::int32_t number = 0;
    std::string description;

    bool operator==(const Failure&) const = default;
};

// A step that hands something back: the value, or the failure that stopped it. "Absent" is not a
// failure: a step that may find nothing hands back an optional value.
template <typename T>
using Result = std::variant<T, Failure>;

// A step that hands nothing back: done, or the failure that stopped it.
class [[nodiscard]] Status {
  public:
    Status() = default;
    Status(Failure failure) : failure_(std::move(failure)) {}  // NOLINT: a failure is a status
    static Status Failed(std::int32_t number, std::string description = {}) {
        return Failure{number, std::move(description)};
    }

    bool Ok() const noexcept { return !failure_.has_value(); }

  private:
    friend const Failure* FailureOf(const Status& status) noexcept;
    std::optional<Failure> failure_;
};

// One way to read every step: FailureOf gives the failure that stopped it, or null when it was done;
// ValueOf gives the value of a step that FailureOf has found done.
inline const Failure* FailureOf(const Status& status) noexcept {
    return status.failure_ ? &*status.failure_ : nullptr;
}

template <typename T>
const Failure* FailureOf(const Result<T>& result) noexcept {
    return std::get_if<Failure>(&result);
}

template <typename T>
T& ValueOf(Result<T>& result) {
    return std::get<T>(result);
}

template <typename T>
const T& ValueOf(const Result<T>& result) {
    return std::get<T>(result);
}

// The value of a step, or `fallback` where it failed: only for a step whose failure the caller
// answers exactly as it answers the fallback.
template <typename T>
T ValueOr(Result<T> result, T fallback) {
    return FailureOf(result) ? std::move(fallback) : std::move(ValueOf(result));
}

}  // namespace zandrel
