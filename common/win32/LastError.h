// A failed Windows call as the Failure that every port hands on, in one shape for the whole tree.
#pragma once

#include <windows.h>

#include "Failure.h"
#include "SystemMessage.h"

namespace zandrel {

// Whether a failure carries the system's text for its number: where a person reads it.
enum class ErrorText : bool { None, System };

inline Failure ErrorFailure(DWORD error, ErrorText text = ErrorText::None) {
    // Room for the system's texts about a path.
    constexpr DWORD kTextCapacity = 512;
    return Failure{static_cast<std::int32_t>(error),
                   text == ErrorText::System ? SystemMessageText(error, kTextCapacity) : std::string()};
}

// The failure of the call just made: read on the line right after it, before anything else (a
// close, a second call) can change the thread's last error.
inline Failure LastErrorFailure(ErrorText text = ErrorText::None) {
    return ErrorFailure(GetLastError(), text);
}

}  // namespace zandrel
