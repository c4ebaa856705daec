// The logs that the stand-in server and Wine's browser script write, read whole or by line.
#pragma once

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace zandrel::launcher {

// The file's bytes; empty when it does not exist.
inline std::string ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The lines of `text`, each without its CR LF or LF.
inline std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

}  // namespace zandrel::launcher
