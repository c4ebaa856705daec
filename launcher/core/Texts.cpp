#include "launcher/core/Texts.h"

namespace zandrel::launcher {

std::string StartFailureText(std::string_view systemDescription) {
    std::string text = "Error Shelling file.\r\n";
    text += systemDescription;
    return text;
}

}  // namespace zandrel::launcher
