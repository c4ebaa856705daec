// A failed Windows call as the Failure that every port hands on, in one shape for the whole tree.
#pragma once

#include <windows.h>

#include "Failure.h"

namespace zandrel {

inline Failure ErrorFailure(DWORD error) {
    return Failure{static_cast<std::int32_t>(error), std::string()};
}

// The failure of the call just made: read on the line right after it, before anything else (a
// close, a second call) can change the thread's last error.
inline Failure LastErrorFailure() {
    return ErrorFailure(GetLastError());
}

}  // namespace zandrel
