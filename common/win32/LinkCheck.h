// Whether an open result file is the probe's own or a link to another file. A result file that is a
// link (a reparse point, or a file with more than one name) is never written through: it would carry
// the lines, or a fresh start, into a file that is not the probe's own. Not every link shows as a
// reparse point (Wine shows a Unix symbolic link as the file it leads to), so the check also asks
// where the opened file really is and compares that with the folder and name that were asked for.
#pragma once

#include <windows.h>

#include <string>

#include "Failure.h"
#include "ResultFileCalls.h"

namespace zandrel {

// What a line or a fresh start that meets a link fails with.
constexpr DWORD kLinkRefused = ERROR_CANT_ACCESS_FILE;

// What the writer needs to know of an open result file.
struct FileFacts {
    LONGLONG end = 0;
    bool link = false;  // a reparse point, or more than one name
    bool readOnly = false;
};

Result<FileFacts> ReadFacts(const ResultFileCalls& calls, HANDLE file);

// Where an open file or folder really is, as the file system names it: "\\?\C:\...", or
// "\\?\UNC\..." on a share.
Result<std::string> FinalPathOf(const ResultFileCalls& calls, HANDLE handle);

// Failed with kLinkRefused when `file`, opened at `path` with FILE_FLAG_OPEN_REPARSE_POINT and
// described by `facts`, is a link to another file.
Status RefuseLinks(const ResultFileCalls& calls, HANDLE file, const std::string& path,
                   const FileFacts& facts);

}  // namespace zandrel
