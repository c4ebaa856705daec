// A writer for the overlap tests: appends COUNT lines to PATH the way the probes write their result
// files. Line i reads "TAG i " and then i * 37 % 3000 bytes of filler, so that short and long lines mix.
#include <cstdlib>
#include <string>
#include <string_view>

#include "ResultFile.h"

int main(int argc, char** argv) {
    if (argc != 4) {
        return 2;
    }
    // One writer for the run, as a probe holds it.
    const std::string_view path = argv[1];
    const std::size_t separator = path.find_last_of('\\');
    if (separator == std::string_view::npos) {
        return 2;
    }
    zandrel::ResultFileAt file(path.substr(0, separator), path.substr(separator + 1));
    const std::string tag = argv[3];
    for (int i = 0, count = std::atoi(argv[2]); i < count; ++i) {
        const std::string line = tag + " " + std::to_string(i) + " " + std::string(i * 37 % 3000, 'x');
        if (!file.AppendLine(line).Ok()) {
            return 3;
        }
    }
    return 0;
}
