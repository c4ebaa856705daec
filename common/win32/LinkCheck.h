// Whether an open result file is the probe's own or a link to another file. A result file that is a
// link (a reparse point whose tag is a name surrogate: a symbolic link, a junction or mount point; or
// a file with more than one name) is never written through: it would carry the lines, or a fresh
// start, into a file that is not the probe's own. Any other reparse point is storage (Data
// Deduplication, WOF as `compact /exe` leaves it, a cloud file's placeholder): the file is the
// probe's own, and its lines go through a handle on which the tag's filter does its work. Not every link
// shows as a reparse point (Wine shows a Unix symbolic link as the file it leads to), so the check also asks
// where the opened file really is and compares that with the folder and name that were asked for.
//
// That question costs more than the line's own write, and a probe writes thousands of lines into
// one file, so the file's writer (ResultFileWriter.h) keeps the folder's final path once the file
// system named it (a folder it could not name is asked again at the next line), and, after a line
// that was written whole under the writers' lock into a file proven to be the one asked for, how
// that line left the file (its end, its times of last write, of last change and of creation, its
// attributes). A file found exactly so at the writer's next line is taken for that file, untouched
// since: another run's line, a rename (which sets the change time) or a second name (counted
// anyway) changes what the next line finds, and it is asked afresh. Another file would have to match
// it in size and in its times to the hundred nanoseconds, and a change time cannot be set under Wine
// (Linux keeps it) and on Windows only by someone who may change that file's attributes.
//
// The times are read through the writing handle right after the write. Windows promises them only
// once that handle is closed: NTFS may set the last-write and change times at the close, so that the
// next line reads other times than were kept and asks afresh, as every line did before the shortcut;
// a time that moves on never makes a line skip a question. So on NTFS the shortcut is not promised
// to pay, only to cost one query per line. Under Wine, Linux sets the times at the write, and the
// shortcut spares each line the file's final path and the read of its end: a fifth to a half of the
// writer's time per line (the figures are in siftwell/README.md). On Windows the final path guards only
// against links that show no reparse point, which Windows itself does not make (every link it makes is a
// reparse point or a second name, both refused from the file's facts at every line).
//
// A file's identity (volume serial and file ID) would not do in place of the final path: under Wine
// the ID is the Unix inode and the serial that of the drive, which covers every Unix file system
// mounted below it, so a file of another file system, or one that took a deleted file's inode, could
// pass for the proven one; and Wine asks its mount manager for that serial at several times the cost
// of the final path.
#pragma once

#include <windows.h>

#include <optional>
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
    bool link = false;     // a name surrogate's reparse point, or more than one name
    bool storage = false;  // a reparse point of another tag: kept by that tag's filter
    bool readOnly = false;
    FileStamp stamp;
};

Result<FileFacts> ReadFacts(const ResultFileCalls& calls, HANDLE file);

// What a file's writer learnt of it from its own earlier lines.
struct KnownFile {
    // The final path of the file's folder, once the file system named it.
    std::optional<std::string> folder;
    // How the writer's last line left the file: proven, written whole under the writers' lock, and
    // ending with that line's CR LF.
    struct Left {
        LONGLONG end = 0;
        FileStamp stamp;
    };
    std::optional<Left> left;
};

// What the link checks found of a file that is no link.
enum class Proof {
    Untold,  // the file system cannot name it: no link that Windows makes goes unseen there
    Asked,   // where it really is is where it was asked for
    AsLeft,  // exactly as the writer's last line left it, CR LF at its end
};

// Failed with kLinkRefused when `file`, opened at `path` with FILE_FLAG_OPEN_REPARSE_POINT and
// described by `facts`, is a link to another file. Takes what `known` holds of the file's last line,
// which holds only until the next line; keeps the folder's final path in it.
Result<Proof> RefuseLinks(const ResultFileCalls& calls, HANDLE file, const std::string& path,
                          const FileFacts& facts, KnownFile& known);

// After a line written whole, under the writers' lock, into a `file` that RefuseLinks proved: keeps
// in `known` how this line leaves it, `end` bytes long, for the writer's next line.
Status KeepAsLeft(const ResultFileCalls& calls, HANDLE file, LONGLONG end, KnownFile& known);

}  // namespace zandrel
