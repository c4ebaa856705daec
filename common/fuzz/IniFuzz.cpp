// Random settings files with a random section and key: the reader must answer, never crash or hang.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "INIfiles.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The first two bytes give the lengths of the section and the key, the rest is the file.
    if (size < 2) {
        return 0;
    }
    const std::string_view input(reinterpret_cast<const char*>(data) + 2, size - 2);
    const size_t sectionLength = std::min<size_t>(data[0] % 16, input.size());
    const size_t keyLength = std::min<size_t>(data[1] % 16, input.size() - sectionLength);
    const std::string_view section = input.substr(0, sectionLength);
    const std::string_view key = input.substr(sectionLength, keyLength);
    const std::string_view file = input.substr(sectionLength + keyLength);

    const std::string value = zandrel::FindIniValue(file, section, key);
    if (value.size() > file.size() && value != zandrel::kNotFound) {
        __builtin_trap();  // a value can only come out of the file
    }
    return 0;
}
