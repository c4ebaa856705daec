// Feeds arbitrary bytes, in arbitrary pieces, to the stand-in server's request reader.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "tests/standin-server/core/HttpExchange.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    zandrel::standin::RequestReader reader;
    // The first byte chooses the piece size, so that the blank line meets every boundary.
    const std::size_t piece = size == 0 ? 1 : 1 + data[0] % 64;
    while (!bytes.empty()) {
        reader.Feed(bytes.substr(0, piece));
        bytes.remove_prefix(bytes.size() < piece ? bytes.size() : piece);
    }
    return 0;
}
