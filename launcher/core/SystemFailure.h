// A failed platform call as the launcher's ports report it: the system's error number and the text the
// system gives for it, as the system wrote it (empty when it has none). The words shown are made from
// it in Texts.
#pragma once

#include <cstdint>
#include <string>

namespace zandrel::launcher {

struct SystemFailure {
    std::uint32_t number = 0;
    std::string systemText;
};

}  // namespace zandrel::launcher
