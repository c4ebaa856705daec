// The calls that the Windows result-file writer (ResultFileWriter.h) makes, in a table: the real ones by
// default; in tests any of them may be one that fails on cue (a short write, a refused cut, a lock that never
// comes, a token or descriptor that cannot be had, a file held a moment by another run), which no
// file system here can be made to do at will. The clock is in the table too, so that a wait of
// seconds passes at once in a test.
#pragma once

#include <windows.h>
// After windows.h, which it needs.
#include <sddl.h>

namespace zandrel {

struct ResultFileCalls {
    decltype(&CreateFileA) createFile = &CreateFileA;
    decltype(&ReOpenFile) reOpenFile = &ReOpenFile;
    decltype(&FindFirstFileA) findFirstFile = &FindFirstFileA;
    decltype(&GetFileInformationByHandleEx) getFileInformation = &GetFileInformationByHandleEx;
    decltype(&SetFileInformationByHandle) setFileInformation = &SetFileInformationByHandle;
    decltype(&GetFinalPathNameByHandleA) getFinalPathName = &GetFinalPathNameByHandleA;
    decltype(&SetFilePointerEx) setFilePointer = &SetFilePointerEx;
    decltype(&ReadFile) readFile = &ReadFile;
    decltype(&WriteFile) writeFile = &WriteFile;
    decltype(&LockFileEx) lockFile = &LockFileEx;
    decltype(&UnlockFileEx) unlockFile = &UnlockFileEx;
    decltype(&OpenProcessToken) openProcessToken = &OpenProcessToken;
    decltype(&GetTokenInformation) getTokenInformation = &GetTokenInformation;
    decltype(&ConvertSidToStringSidA) convertSidToStringSid = &ConvertSidToStringSidA;
    decltype(&ConvertStringSecurityDescriptorToSecurityDescriptorA) convertStringSecurityDescriptor =
        &ConvertStringSecurityDescriptorToSecurityDescriptorA;
    decltype(&GetTickCount64) tickCount = &GetTickCount64;
    decltype(&Sleep) sleep = &Sleep;
};

}  // namespace zandrel
