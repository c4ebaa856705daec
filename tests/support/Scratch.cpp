#include "Scratch.h"

#include <atomic>
#include <chrono>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <system_error>

namespace zandrel::testing {

ScratchDir::ScratchDir() {
    static std::atomic<unsigned> counter{0};
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    const std::string name = "zandrel-" + std::to_string(stamp) + "-" + std::to_string(counter++);
    path_ = std::filesystem::temp_directory_path() / name;
    if (!std::filesystem::create_directories(path_)) {
        throw std::runtime_error("cannot create scratch directory " + path_.string());
    }
}

ScratchDir::~ScratchDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

void ScratchDir::Write(std::string_view name, std::string_view bytes) const {
    std::ofstream out(path_ / name, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) {
        throw std::runtime_error("cannot write " + PathOf(name));
    }
}

std::optional<std::string> ScratchDir::Read(std::string_view name) const {
    std::ifstream in(path_ / name, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace zandrel::testing
