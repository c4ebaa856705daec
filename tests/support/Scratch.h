// A scratch directory of its own for each test, removed with everything in it at the end.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace zandrel::testing {

class ScratchDir {
  public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    // The directory as the programs see it: native form, no trailing separator.
    std::string Path() const { return path_.string(); }
    std::string PathOf(std::string_view name) const { return (path_ / name).string(); }
    // The directory as a path, for names that the ANSI code page cannot hold.
    const std::filesystem::path& Folder() const { return path_; }

    void Write(std::string_view name, std::string_view bytes) const;
    // The file's bytes, or nothing when it does not exist.
    std::optional<std::string> Read(std::string_view name) const;
    bool Exists(std::string_view name) const { return std::filesystem::exists(path_ / name); }

  private:
    std::filesystem::path path_;
};

}  // namespace zandrel::testing
