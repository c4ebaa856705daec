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

    // Makes `name` a symbolic link to `target` (a full path of a file, or of a folder when
    // `directory`), which must exist: remove it afterwards for a link that leads nowhere. False where
    // this process may make none (Windows without the privilege or developer mode). Wine's own call
    // makes nothing, so under Wine it is a Unix link, and a failure there throws.
    bool Link(std::string_view name, const std::string& target, bool directory = false);

  private:
    void RemoveUnixSide() const;

    std::filesystem::path path_;
    // Under Wine, removing a Unix link removes the file it leads to: such a directory is removed from
    // the Unix side.
    bool unixLinks_ = false;
};

}  // namespace zandrel::testing
