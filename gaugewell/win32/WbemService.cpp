#include "gaugewell/win32/WbemService.h"

#include <wbemdisp.h>

#include <algorithm>

#include "AnsiText.h"
#include "LastError.h"
#include "Wipe.h"

namespace zandrel::gaugewell {

Failure TakeFailure(long result) {
    Failure failure{static_cast<std::int32_t>(result), {}};
    ComPtr<IErrorInfo> errorInfo;
    if (GetErrorInfo(0, errorInfo.put()) == S_OK && errorInfo) {
        UniqueBstr description;
        if (SUCCEEDED(errorInfo->GetDescription(description.put())) && description.get() != nullptr) {
            failure.description = WideToAnsi({description.get(), SysStringLen(description.get())});
        }
    }
    return failure;
}

namespace {

// The probe's queries are in the service's own query language. Both kinds of call return at once
// (wbemFlagReturnImmediately): the set's enumeration waits for the instances instead, and an
// unknown class shows only there.
constexpr std::string_view kQueryLanguage = "WQL";

// Error information of an earlier call must not be taken for that of the next one.
void ForgetErrorInfo() {
    SetErrorInfo(0, nullptr);
}

class Bstr : public UniqueBstr {
  public:
    explicit Bstr(std::string_view text) : UniqueBstr(AnsiToWide(text).c_str()) {}
    // The system's wide characters are UTF-16, as char16_t is.
    explicit Bstr(std::u16string_view text) : UniqueBstr(std::wstring(text.begin(), text.end()).c_str()) {}
};

// The password as the connection call takes it, made from the secret's characters straight into its
// text, one at a time as the secret copies them (a vector register would keep a piece), and wiped
// before it is freed (a freed text may be kept in a cache for reuse, with its characters).
class SecretBstr {
  public:
    explicit SecretBstr(const WideSecret& secret) {
        const std::u16string_view text = secret.View();
        text_ = SysAllocStringLen(nullptr, static_cast<UINT>(text.size()));
        if (text_ != nullptr) {
            volatile OLECHAR* const at = text_;
            for (std::size_t i = 0; i < text.size(); ++i) {
                at[i] = text[i];
            }
        }
    }
    SecretBstr(const SecretBstr&) = delete;
    SecretBstr& operator=(const SecretBstr&) = delete;
    ~SecretBstr() {
        if (text_ != nullptr) {
            WipeBytes(text_, SysStringByteLen(text_));
            SysFreeString(text_);
        }
    }

    BSTR get() const noexcept { return text_; }

  private:
    BSTR text_ = nullptr;
};

class WbemInstance : public ManagementInstance {
  public:
    explicit WbemInstance(ComPtr<IDispatch> object) : object_(std::move(object)) {}

    Result<std::optional<std::string>> Property(std::string_view name) override {
        std::wstring wideName = AnsiToWide(name);
        LPOLESTR names[] = {wideName.data()};
        DISPID id = 0;
        ForgetErrorInfo();
        HRESULT result = object_->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
        if (result == DISP_E_UNKNOWNNAME) {
            return std::nullopt;
        }
        if (FAILED(result)) {
            return TakeFailure(result);
        }
        DISPPARAMS noArguments{};
        UniqueVariant value;
        // The scripting objects answer a plain property get with E_NOTIMPL; script hosts pass both flags.
        result = object_->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD | DISPATCH_PROPERTYGET,
                                 &noArguments, value.put(), nullptr, nullptr);
        if (FAILED(result)) {
            return TakeFailure(result);
        }
        if (value.get().vt == VT_EMPTY || value.get().vt == VT_NULL) {
            return std::nullopt;
        }
        // 64-bit counts come as text already; other numbers become text the way the core reads them.
        UniqueVariant text;
        result = VariantChangeTypeEx(text.put(), &value.get(), LOCALE_INVARIANT, 0, VT_BSTR);
        if (FAILED(result)) {
            return TakeFailure(result);
        }
        const BSTR bytes = text.get().bstrVal;
        return bytes == nullptr ? std::string() : WideToAnsi({bytes, SysStringLen(bytes)});
    }

  private:
    ComPtr<IDispatch> object_;
};

class WbemResultSet : public ManagementResultSet {
  public:
    explicit WbemResultSet(ComPtr<ISWbemObjectSet> set) : set_(std::move(set)) {}

    Result<std::int32_t> Count() override {
        long count = 0;
        ForgetErrorInfo();
        const HRESULT result = set_->get_Count(&count);
        if (FAILED(result)) {
            return TakeFailure(result);
        }
        return static_cast<std::int32_t>(count);
    }

    // The end of the set, and a failure of its walk, stay what they were on every later call.
    ServiceResult<ManagementInstance> Next() override {
        if (failure_) {
            return *failure_;
        }
        if (ended_) {
            return nullptr;
        }
        ServiceResult<ManagementInstance> next = Fetch();
        if (const Failure* failure = FailureOf(next)) {
            failure_ = *failure;
        } else if (!ValueOf(next)) {
            ended_ = true;
        }
        return next;
    }

  private:
    ServiceResult<ManagementInstance> Fetch() {
        ForgetErrorInfo();
        if (!enumerator_) {
            ComPtr<IUnknown> start;
            HRESULT result = set_->get__NewEnum(start.put());
            if (SUCCEEDED(result) && !start) {
                result = E_POINTER;
            }
            if (SUCCEEDED(result)) {
                result = start->QueryInterface(IID_IEnumVARIANT, enumerator_.put_void());
            }
            if (FAILED(result)) {
                return TakeFailure(result);
            }
        }
        UniqueVariant item;
        ULONG fetched = 0;
        HRESULT result = enumerator_->Next(1, item.put(), &fetched);
        if (FAILED(result)) {
            return TakeFailure(result);
        }
        if (result != S_OK || fetched != 1) {
            return nullptr;
        }
        if (item.get().vt != VT_DISPATCH || item.get().pdispVal == nullptr) {
            return Failure{static_cast<std::int32_t>(DISP_E_TYPEMISMATCH), {}};
        }
        ComPtr<IDispatch> object;
        result = item.get().pdispVal->QueryInterface(IID_IDispatch, object.put_void());
        if (FAILED(result)) {
            return TakeFailure(result);
        }
        return std::make_unique<WbemInstance>(std::move(object));
    }

    // Declared in this order so that the enumerator goes before the set it walks.
    ComPtr<ISWbemObjectSet> set_;
    ComPtr<IEnumVARIANT> enumerator_;
    std::optional<Failure> failure_;
    bool ended_ = false;
};

class WbemConnection : public ManagementConnection {
  public:
    WbemConnection(ComPtr<ISWbemLocator> locator, ComPtr<ISWbemServices> services)
        : locator_(std::move(locator)), services_(std::move(services)) {}

    ServiceResult<ManagementResultSet> InstancesOf(std::string_view className) override {
        ComPtr<ISWbemObjectSet> set;
        ForgetErrorInfo();
        const HRESULT result =
            services_->InstancesOf(Bstr(className).get(), wbemFlagReturnImmediately, nullptr, set.put());
        if (FAILED(result)) {
            return TakeFailure(result);
        }
        return std::make_unique<WbemResultSet>(std::move(set));
    }

    ServiceResult<ManagementResultSet> ExecQuery(std::string_view query) override {
        ComPtr<ISWbemObjectSet> set;
        ForgetErrorInfo();
        const HRESULT result = services_->ExecQuery(Bstr(query).get(), Bstr(kQueryLanguage).get(),
                                                    wbemFlagReturnImmediately, nullptr, set.put());
        if (FAILED(result)) {
            return TakeFailure(result);
        }
        return std::make_unique<WbemResultSet>(std::move(set));
    }

  private:
    // Declared in this order so that the service goes before its locator.
    ComPtr<ISWbemLocator> locator_;
    ComPtr<ISWbemServices> services_;
};

}  // namespace

WbemService::WbemService() {
    // Impersonation lets the service act with the credentials a remote connection gives; a process
    // whose security is already set keeps it (RPC_E_TOO_LATE), which serves as well.
    CoInitializeSecurity(nullptr, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_DEFAULT,
                         RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE, nullptr);
}

ServiceResult<ManagementConnection> WbemService::Connect(std::u16string_view server,
                                                         std::u16string_view userName,
                                                         const WideSecret& password) {
    ComPtr<ISWbemLocator> locator;
    ForgetErrorInfo();
    HRESULT result = CoCreateInstance(CLSID_SWbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_ISWbemLocator,
                                      locator.put_void());
    if (FAILED(result)) {
        return TakeFailure(result);
    }
    const Bstr empty(std::string_view{});
    ComPtr<ISWbemServices> services;
    ForgetErrorInfo();
    result = locator->ConnectServer(Bstr(server).get(), empty.get(), Bstr(userName).get(),
                                    SecretBstr(password).get(), empty.get(), empty.get(), 0, nullptr,
                                    services.put());
    if (FAILED(result)) {
        return TakeFailure(result);
    }
    return std::make_unique<WbemConnection>(std::move(locator), std::move(services));
}

Result<std::string> WindowsLocale::ThousandsSeparator() {
    char separator[8] = {};
    // In the system's ANSI code page, the one the result file is written in, not the locale's own.
    if (GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_STHOUSAND | LOCALE_USE_CP_ACP, separator,
                       sizeof separator) == 0) {
        return LastErrorFailure();
    }
    return std::string(separator);
}

}  // namespace zandrel::gaugewell
