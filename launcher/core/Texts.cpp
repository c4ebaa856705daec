#include "launcher/core/Texts.h"

namespace zandrel::launcher {

std::string SystemErrorDescription(const SystemFailure& failure) {
    std::string_view text = failure.systemText;
    // The system ends its texts with a line break (some with a blank before it).
    while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == ' ')) {
        text.remove_suffix(1);
    }
    return text.empty() ? "Error " + std::to_string(failure.number) : std::string(text);
}

std::string StartFailureText(const SystemFailure& failure) {
    std::string text = "Error Shelling file.\r\n";
    text += SystemErrorDescription(failure);
    return text;
}

}  // namespace zandrel::launcher
