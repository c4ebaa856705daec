// Whether an open result file is the probe's own or a link to another file. A result file that is a
// link (a reparse point, or a file with more than one name) is never written through: it would carry
// the lines, or a fresh start, into a file that is not the probe's own. Not every link shows as a
// reparse point (Wine shows a Unix symbolic link as the file it leads to), so the check also asks
// where the opened file really is and compares that with the folder and name that were asked for.
//
// That question costs more than the line's own write, and a probe writes thousands of lines into
// one file: after a line that was written whole under the writers' lock into a file proven to be
// the one asked for, the writer keeps how it left the file (its end, its times of last write and of
// last change, its attributes). A file found exactly so at the next line is that file, untouched by
// anyone since: no other writer, no rename (which sets the change time), no second name (counted
// anyway). Another file would have to match it in size and in its times to the hundred nanoseconds,
// and a change time cannot be set under Wine (Linux keeps it) and on Windows only by someone who
// may change that file's attributes. Anything else is asked afresh. A file's identity (volume
// serial and file ID) would not do: under Wine the ID is the Unix inode and the serial that of the
// drive, which covers every Unix file system mounted below it, so a file of another file system, or
// one that took a deleted file's inode, could pass for the proven one; and Wine asks its mount
// manager for that serial at several times the cost of the final path.
#pragma once

#include <windows.h>

#include <string>

#include "Failure.h"
#include "ResultFileCalls.h"

namespace zandrel {

// What a line or a fresh start that meets a link fails with.
constexpr DWORD kLinkRefused = ERROR_CANT_ACCESS_FILE;

// A file's times of last write, of last change and of creation, and its attributes, as read.
struct FileStamp {
    LONGLONG written = 0;
    LONGLONG changed = 0;
    LONGLONG created = 0;
    DWORD attributes = 0;

    bool operator==(const FileStamp&) const = default;
};

// What the writer needs to know of an open result file.
struct FileFacts {
    LONGLONG end = 0;
    bool link = false;  // a reparse point, or more than one name
    bool readOnly = false;
    FileStamp stamp;
};

Result<FileFacts> ReadFacts(const ResultFileCalls& calls, HANDLE file);

// Where an open file or folder really is, as the file system names it: "\\?\C:\...", or
// "\\?\UNC\..." on a share.
Result<std::string> FinalPathOf(const ResultFileCalls& calls, HANDLE handle);

// What the link checks found of a file that is no link.
enum class Proof {
    Untold,  // the file system cannot name it: no link that Windows makes goes unseen there
    Asked,   // where it really is is where it was asked for
    AsLeft,  // exactly as this process's last line left it, CR LF at its end
};

// Failed with kLinkRefused when `file`, opened at `path` with FILE_FLAG_OPEN_REPARSE_POINT and
// described by `facts`, is a link to another file.
Result<Proof> RefuseLinks(const ResultFileCalls& calls, HANDLE file, const std::string& path,
                          const FileFacts& facts);

// After a line written whole, under the writers' lock, into a `file` that RefuseLinks proved: keeps
// how this line leaves it, `end` bytes long, for the next line at `path`.
Status KeepAsLeft(const ResultFileCalls& calls, HANDLE file, const std::string& path, LONGLONG end);

}  // namespace zandrel
