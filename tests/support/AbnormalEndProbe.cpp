// A windowed program that ends in the ways that the tool set's programs must end with
// ExitStatus::AbnormalEnd rather than with the runtime's box: ZANDREL_END_BY names which.
#include <windows.h>

#include <cstdint>
#include <cstdlib>
#include <new>
#include <stdexcept>
#include <string>
#include <thread>

#include "AbnormalEnd.h"

namespace {

volatile bool throws = true;

void Throw() {
    if (throws) {
        throw std::runtime_error("nothing expects this");
    }
}

void Promises() noexcept {
    Throw();
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    zandrel::PrepareForAbnormalEnds();
    char how[32] = {};
    GetEnvironmentVariableA("ZANDREL_END_BY", how, sizeof how);
    const std::string end = how;
    if (end == "noexcept") {
        Promises();
    } else if (end == "thread") {
        std::thread(Throw).join();
    } else if (end == "crash") {
        // An access violation that nothing handles, which only Windows Error Reporting sees: it must
        // ask nobody.
        RaiseException(EXCEPTION_ACCESS_VIOLATION, EXCEPTION_NONCONTINUABLE, 0, nullptr);
    } else if (end == "calloc_sizes") {
        // A block of no bytes, which the runtime may give or not, then a count and size whose product
        // wraps round to 4 bytes: no block. Neither ends the run.
        volatile std::size_t none = 0;
        free(calloc(1, none));
        volatile std::size_t count = SIZE_MAX / 4 + 2;
        return calloc(count, 4) == nullptr ? 0 : 1;
    }
    return zandrel::RunToAnEnd([&end] {
        if (end == "bad_alloc") {
            throw std::bad_alloc();
        }
        if (end == "throw") {
            Throw();
        }
        return 0;
    });
}
