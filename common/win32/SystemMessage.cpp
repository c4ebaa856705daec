#include "SystemMessage.h"

#include "LastError.h"

namespace zandrel {

Result<std::string> SystemMessage(DWORD number, DWORD capacity, HMODULE module) {
    DWORD flags = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
    if (module != nullptr) {
        flags |= FORMAT_MESSAGE_FROM_HMODULE;
    }
    std::string text(capacity, '\0');
    const DWORD length = FormatMessageA(flags, module, number, 0, text.data(), capacity, nullptr);
    if (length == 0) {
        return LastErrorFailure();
    }
    text.resize(length < capacity ? length : capacity);
    return text;
}

std::string SystemMessageText(DWORD number, DWORD capacity) {
    Result<std::string> text = SystemMessage(number, capacity);
    return FailureOf(text) ? std::string() : std::move(ValueOf(text));
}

Failure ErrorFailureWithText(DWORD error) {
    // Room for the system's texts about a path.
    constexpr DWORD kTextCapacity = 512;
    return Failure{static_cast<std::int32_t>(error), SystemMessageText(error, kTextCapacity)};
}

}  // namespace zandrel
