#include "LinkCheck.h"

#include <cstring>
#include <optional>
#include <string_view>
#include <utility>

#include "GrowBuffer.h"
#include "LastError.h"
#include "UniqueHandle.h"

namespace zandrel {
namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// A path cut into the folder that holds the file, in a form that opens it, and the file's name.
struct PathParts {
    std::string folder;
    std::string_view name;
};

PathParts SplitPath(const std::string& path) {
    const std::size_t separator = path.find_last_of("\\/");
    if (separator != std::string::npos) {
        // With its separator: "C:\" and "\\server\share\" open as the roots they are.
        return {path.substr(0, separator + 1), std::string_view(path).substr(separator + 1)};
    }
    const std::size_t colon = path.find(':');  // "C:event.log": in the current folder of that drive
    if (colon != std::string::npos) {
        return {path.substr(0, colon + 1) + ".", std::string_view(path).substr(colon + 1)};
    }
    return {".", path};
}

// Where an open file or folder really is, as the file system names it: "\\?\C:\...", or
// "\\?\UNC\..." on a share.
Result<std::string> FinalPathOf(const ResultFileCalls& calls, HANDLE handle) {
    return GrowUntilFits<std::string>(MAX_PATH, kLongestPath, [&](std::string& path) -> Result<BufferFill> {
        const DWORD length = calls.getFinalPathName(handle, path.data(), static_cast<DWORD>(path.size()),
                                                    FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
        if (length == 0) {
            return LastErrorFailure();
        }
        // The count it answers is not always that of the bytes (Wine counts wide characters, and the
        // size it needs without the terminating NUL): the name is what stands before the NUL, and a
        // buffer filled to its end is grown and asked again.
        const std::size_t text = strnlen(path.data(), path.size());
        if (length < path.size() && text + 1 < path.size()) {
            return BufferFill::Fits(text);
        }
        return BufferFill::Needs(std::size_t{length} + 1);
    });
}

// The final path of a folder, without a separator at its end (a root's final path has one).
Result<std::string> FolderFinalPath(const ResultFileCalls& calls, const std::string& folder) {
    // Followed through links, unlike the result file: the folder may well be reached through one (an
    // install folder under a linked directory), and only the file's own name must not be a link.
    const UniqueFile handle(calls.createFile(folder.c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr,
                                             OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!handle) {
        return LastErrorFailure();
    }
    Result<std::string> path = FinalPathOf(calls, handle.get());
    // A root's final path ends with its separator. The last byte alone does not tell: in a double-byte
    // code page it may be the trail byte of a folder name's last character (0x5C, as in 932's "表").
    if (!FailureOf(path) && !ValueOf(path).empty()) {
        std::string& text = ValueOf(path);
        const char* end = text.data() + text.size();
        const char* last = CharPrevA(text.data(), end);
        if (end - last == 1 && *last == '\\') {
            text.pop_back();
        }
    }
    return path;
}

FileStamp StampOf(const FILE_BASIC_INFO& basic) {
    return {basic.LastWriteTime.QuadPart, basic.ChangeTime.QuadPart, basic.CreationTime.QuadPart,
            basic.FileAttributes};
}

enum class Where { Asked, Elsewhere, Untold };

// Whether the open `file` lies elsewhere than the entry that `path` names: the name is a link that the
// file system followed without showing a reparse point. Untold where the file system cannot name the
// file or its folder: that says nothing of links, every link that Windows makes is a name surrogate's
// reparse point or a second name (refused on their own), and a probe on such a share must not lose
// its lines.
// `folder` holds the folder's final path once the file system named it.
Where WhereFileIs(const ResultFileCalls& calls, HANDLE file, const std::string& path,
                  std::optional<std::string>& folder) {
    const Result<std::string> where = FinalPathOf(calls, file);
    if (FailureOf(where)) {
        return Where::Untold;
    }
    const std::size_t separator = ValueOf(where).find_last_of('\\');
    if (separator == std::string::npos) {
        return Where::Untold;
    }
    const std::string_view whereFolder = std::string_view(ValueOf(where)).substr(0, separator);
    const std::string_view whereName = std::string_view(ValueOf(where)).substr(separator + 1);

    const PathParts asked = SplitPath(path);
    // A kept answer that does not match is asked afresh before it counts; one that cannot be had is
    // not kept, so that the next line asks again.
    if (!folder || *folder != whereFolder) {
        Result<std::string> final = FolderFinalPath(calls, asked.folder);
        if (FailureOf(final)) {
            folder.reset();
            return Where::Untold;
        }
        folder = std::move(ValueOf(final));
    }
    // Both sides come from the same call, so a drive mapping, a short name, a "\\?\" or a linked
    // folder on the way shows the same on both. Compared exactly: a folder may tell case apart.
    if (*folder != whereFolder) {
        return Where::Elsewhere;
    }
    if (whereName == asked.name) {
        return Where::Asked;
    }
    // The name asked for in other letters, a short name, or with the dots and spaces at its end that
    // Windows drops: still no link if it finds the very entry that the file system names (a link is
    // an entry of its own, under its own name).
    WIN32_FIND_DATAA entry{};
    const UniqueFindHandle found(calls.findFirstFile(path.c_str(), &entry));
    return found && whereName == entry.cFileName ? Where::Asked : Where::Elsewhere;
}

}  // namespace

Result<FileFacts> ReadFacts(const ResultFileCalls& calls, HANDLE file) {
    // Two classes that every file system answers (GetFileSizeEx and GetFileTime rest on them), and
    // cheap: the classic GetFileInformationByHandle also asks for the volume, which costs Wine more
    // than the append itself.
    FILE_STANDARD_INFO standard{};
    if (!calls.getFileInformation(file, FileStandardInfo, &standard, sizeof standard)) {
        return LastErrorFailure();
    }
    FILE_BASIC_INFO basic{};
    if (!calls.getFileInformation(file, FileBasicInfo, &basic, sizeof basic)) {
        return LastErrorFailure();
    }
    FileFacts facts{standard.EndOfFile.QuadPart, standard.NumberOfLinks > 1, false,
                    (basic.FileAttributes & FILE_ATTRIBUTE_READONLY) != 0, StampOf(basic)};
    if ((basic.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        // Only for a reparse point, which few result files are: the tag tells a name that leads
        // elsewhere from a file that a filter stores its own way.
        FILE_ATTRIBUTE_TAG_INFO tag{};
        if (!calls.getFileInformation(file, FileAttributeTagInfo, &tag, sizeof tag)) {
            return LastErrorFailure();
        }
        const bool surrogate = IsReparseTagNameSurrogate(tag.ReparseTag) != 0;
        facts.link = facts.link || surrogate;
        facts.storage = !surrogate;
    }
    return facts;
}

Result<Proof> RefuseLinks(const ResultFileCalls& calls, HANDLE file, const std::string& path,
                          const FileFacts& facts, KnownFile& known) {
    const std::optional<KnownFile::Left> left = std::exchange(known.left, std::nullopt);
    if (facts.link) {
        return Failure{kLinkRefused, {}};
    }
    if (left && left->end == facts.end && left->stamp == facts.stamp) {
        return Proof::AsLeft;
    }
    switch (WhereFileIs(calls, file, path, known.folder)) {
        case Where::Asked:
            return Proof::Asked;
        case Where::Elsewhere:
            return Failure{kLinkRefused, {}};
        case Where::Untold:
            break;
    }
    return Proof::Untold;
}

Status KeepAsLeft(const ResultFileCalls& calls, HANDLE file, LONGLONG end, KnownFile& known) {
    FILE_BASIC_INFO basic{};
    if (!calls.getFileInformation(file, FileBasicInfo, &basic, sizeof basic)) {
        return LastErrorFailure();
    }
    known.left = KnownFile::Left{end, StampOf(basic)};
    return Status();
}

}  // namespace zandrel
