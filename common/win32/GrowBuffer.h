// Calls that fill a buffer of the caller's and tell how much room they need when it is too small
// (GetFinalPathNameByHandleA, GetTokenInformation, RegQueryValueExA, ExpandEnvironmentStringsA,
// GetModuleFileNameW, GetSystemDirectoryA): one loop grows the buffer until the answer fits.
#pragma once

#include <windows.h>

#include <algorithm>
#include <cstddef>

#include "Failure.h"

namespace zandrel {

// Past the longest path the system takes (32,767 characters, each up to two bytes in a double-byte
// code page) no answer fits: the bound for a call that answers a path.
inline constexpr std::size_t kLongestPath = 65536;

// What one call made of the buffer it was given.
struct BufferFill {
    bool fits = false;
    // When it fits: the answer's length, in elements. When not: the room the call asked for, or 0
    // where it does not say.
    std::size_t size = 0;

    static BufferFill Fits(std::size_t length) { return {true, length}; }
    static BufferFill Needs(std::size_t room) { return {false, room}; }
};

// Calls `call(buffer)` with a buffer of `first` elements, then with one of the room it asks for (at
// least twice the last when it asks for no more, as a call that miscounts may), until its answer
// fits: the buffer cut to the answer. Its failure as it is; ERROR_INSUFFICIENT_BUFFER when the
// answer would need more than `largest` elements. The room may change between calls (a value
// rewritten meanwhile): each answer is taken as it comes.
template <typename Buffer, typename Call>
Result<Buffer> GrowUntilFits(std::size_t first, std::size_t largest, Call call) {
    Buffer buffer(first, typename Buffer::value_type{});
    for (;;) {
        const Result<BufferFill> fill = call(buffer);
        if (const Failure* failure = FailureOf(fill)) {
            return *failure;
        }
        const BufferFill& answer = ValueOf(fill);
        if (answer.fits) {
            buffer.resize(std::min(answer.size, buffer.size()));
            return buffer;
        }
        const std::size_t room =
            answer.size > buffer.size() ? answer.size : std::max<std::size_t>(2 * buffer.size(), 1);
        if (room > largest) {
            return Failure{ERROR_INSUFFICIENT_BUFFER, {}};
        }
        buffer.assign(room, typename Buffer::value_type{});
    }
}

}  // namespace zandrel
