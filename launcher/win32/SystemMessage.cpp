#include "launcher/win32/SystemMessage.h"

namespace zandrel::launcher {
namespace {

constexpr DWORD kMessageBufferSize = 512;

}  // namespace

std::string SystemMessageText(DWORD error) {
    char text[kMessageBufferSize] = {};
    const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                        error, 0, text, kMessageBufferSize, nullptr);
    return std::string(text, length);
}

}  // namespace zandrel::launcher
