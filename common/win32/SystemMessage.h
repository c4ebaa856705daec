// The system's message texts, looked up with FormatMessageA in one place for every program.
#pragma once

#include <windows.h>

#include <string>

#include "Failure.h"

namespace zandrel {

// The text for `number`, searched in the message table of `module` first when one is given, then in
// the system's own. No insert values exist for these texts: their markers stay as they stand. At most
// `capacity` characters (including the NUL that FormatMessageA adds), untrimmed; the failure carries
// FormatMessageA's last error when no table has a text that fits.
Result<std::string> SystemMessage(DWORD number, DWORD capacity, HMODULE module = nullptr);

// The system's own text alone, as above: empty when it has none.
std::string SystemMessageText(DWORD number, DWORD capacity);

// The failure `error` with the system's text for it, for where a person reads it.
Failure ErrorFailureWithText(DWORD error);

}  // namespace zandrel
