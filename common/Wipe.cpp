#include "Wipe.h"

#if defined(_WIN32)
#include <windows.h>
#endif

namespace zandrel {

void WipeBytes(void* bytes, std::size_t size) noexcept {
#if defined(_WIN32)
    SecureZeroMemory(bytes, size);
#else
    volatile unsigned char* at = static_cast<volatile unsigned char*>(bytes);
    for (std::size_t i = 0; i < size; ++i) {
        at[i] = 0;
    }
#endif
}

}  // namespace zandrel
