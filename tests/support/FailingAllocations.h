// A built program whose allocations fail at will (failing-allocations/): a copy whose import of
// msvcrt.dll is renamed to msvcrX.dll, run beside msvcrX.dll, which fails malloc, calloc and realloc
// from the N-th call on and forwards everything else to msvcrt.dll.
#pragma once

#include <filesystem>
#include <string>

namespace zandrel::testing {

// Writes into `folder` a copy of `executable` (a path as BuildPathToWindows gives it) that imports
// msvcrX.dll in place of msvcrt.dll; its path, in the form RunProgram takes.
std::string CopyImportingFailingRuntime(const std::string& executable, const std::filesystem::path& folder);

// Puts msvcrX.dll (a path as BuildPathToWindows gives it) beside the programs of `folder`.
void PlaceFailingRuntime(const std::string& dll, const std::filesystem::path& folder);

// The environment the DLL reads: allocations fail from call `failFrom` on (0: none fails), and a
// normal end writes the number of calls to `countFile` (empty: nowhere). Inherited by the programs
// that this process starts.
void SetFailingAllocations(unsigned long failFrom, const std::filesystem::path& countFile = {});

}  // namespace zandrel::testing
