#include "gaugewell/tests/FakeManagementService.h"

#include "TextCodec.h"

namespace zandrel::gaugewell::testing {
namespace {

constexpr std::int32_t kTypeMismatch = -2147352571;  // DISP_E_TYPEMISMATCH

class FakeInstance : public ManagementInstance {
  public:
    FakeInstance(const FakeProperties& properties, const std::set<std::string>& unreadable)
        : properties_(properties), unreadable_(unreadable) {}
    Result<std::optional<std::string>> Property(std::string_view name) override {
        if (unreadable_.contains(std::string(name))) {
            return Failure{kTypeMismatch, "Type mismatch "};
        }
        const auto found = properties_.find(std::string(name));
        return found == properties_.end() ? std::nullopt : std::optional<std::string>(found->second);
    }

  private:
    FakeProperties properties_;
    std::set<std::string> unreadable_;
};

class FakeResultSet : public ManagementResultSet {
  public:
    FakeResultSet(const FakeAnswer& answer, std::vector<std::string>& calls)
        : answer_(answer), calls_(calls) {}
    ~FakeResultSet() override { calls_.push_back("release set"); }
    Result<std::int32_t> Count() override {
        if (answer_.countFailure) {
            return *answer_.countFailure;
        }
        return answer_.count.value_or(static_cast<std::int32_t>(answer_.instances.size()));
    }
    ServiceResult<ManagementInstance> Next() override {
        if (answer_.walkFailsAt == next_) {
            return answer_.walkFailure;
        }
        if (next_ == answer_.instances.size()) {
            return nullptr;
        }
        return std::make_unique<FakeInstance>(answer_.instances[next_++], answer_.unreadable);
    }

  private:
    FakeAnswer answer_;
    std::vector<std::string>& calls_;
    size_t next_ = 0;
};

class FakeConnection : public ManagementConnection {
  public:
    FakeConnection(FakeManagementService& service) : service_(service) {}
    ~FakeConnection() override { service_.calls.push_back("release connection"); }

    ServiceResult<ManagementResultSet> InstancesOf(std::string_view className) override {
        service_.calls.push_back("InstancesOf " + std::string(className));
        return Answer(std::string(className));
    }
    ServiceResult<ManagementResultSet> ExecQuery(std::string_view query) override {
        service_.calls.push_back("ExecQuery " + std::string(query));
        return Answer(std::string(query));
    }

  private:
    ServiceResult<ManagementResultSet> Answer(const std::string& key) {
        const auto found = service_.answers.find(key);
        const FakeAnswer answer = found == service_.answers.end() ? FakeAnswer{} : found->second;
        if (answer.failure) {
            return *answer.failure;
        }
        return std::make_unique<FakeResultSet>(answer, service_.calls);
    }

    FakeManagementService& service_;
};

}  // namespace

ServiceResult<ManagementConnection> FakeManagementService::Connect(std::u16string_view server,
                                                                   std::u16string_view userName,
                                                                   std::u16string_view password) {
    const int index = connections_++;
    calls.push_back("Connect " + zandrel::WideToUtf8(server) + "|" + zandrel::WideToUtf8(userName) + "|" +
                    zandrel::WideToUtf8(password));
    lastPassword = password;
    if (const auto failure = connectFailures.find(index); failure != connectFailures.end()) {
        return failure->second;
    }
    return std::make_unique<FakeConnection>(*this);
}

}  // namespace zandrel::gaugewell::testing
