// Random settings files with a random section and key, read in one of the tests' code pages: the
// reader must answer, never crash or hang.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "FakeTextCodec.h"
#include "INIfiles.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The first two bytes give the lengths of the section and the key, the third the code page, the
    // rest is the file.
    if (size < 3) {
        return 0;
    }
    static constexpr int kCodePages[] = {1252, 1254, 932, 936, 949, 950, 65001};
    const zandrel::testing::FakeTextCodec codec(kCodePages[data[2] % std::size(kCodePages)]);
    const std::string_view input(reinterpret_cast<const char*>(data) + 3, size - 3);
    const size_t sectionLength = std::min<size_t>(data[0] % 16, input.size());
    const size_t keyLength = std::min<size_t>(data[1] % 16, input.size() - sectionLength);
    const std::string_view section = input.substr(0, sectionLength);
    const std::string_view key = input.substr(sectionLength, keyLength);
    const std::string_view file = input.substr(sectionLength + keyLength);

    const zandrel::IniValue value = zandrel::FindIniValue(file, section, key, codec);
    // A value can only come out of the file: no more characters than it has bytes, and in ANSI no
    // more than three bytes for each of its UTF-16 units.
    if (value.ansi != zandrel::kNotFound &&
        (value.text.size() > file.size() || value.ansi.size() > 3 * value.text.size())) {
        __builtin_trap();
    }
    return 0;
}
