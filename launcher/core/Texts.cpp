#include "launcher/core/Texts.h"

namespace zandrel::launcher {

std::string SystemErrorDescription(const Failure& failure) {
    std::string_view text = failure.description;
    // The system ends its texts with a line break (some with a blank before it).
    while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == ' ')) {
        text.remove_suffix(1);
    }
    // The system's numbers are unsigned.
    return text.empty() ? "Error " + std::to_string(static_cast<std::uint32_t>(failure.number))
                        : std::string(text);
}

std::string StartFailureText(const Failure& failure) {
    std::string text = "Error Shelling file.\r\n";
    text += SystemErrorDescription(failure);
    return text;
}

}  // namespace zandrel::launcher
