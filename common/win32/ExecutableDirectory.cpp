#include "ExecutableDirectory.h"

#include "AnsiText.h"
#include "GrowBuffer.h"
#include "LastError.h"
#include "SystemMessage.h"

namespace zandrel {

Result<std::string> ExecutableDirectory() {
    return ExecutableDirectory(&GetModuleFileNameW);
}

Result<std::string> ExecutableDirectory(ModuleFileNameCall moduleFileName) {
    // Read wide: the ANSI form of a name the code page cannot hold is another folder's name.
    const Result<std::wstring> module =
        GrowUntilFits<std::wstring>(MAX_PATH, kLongestPath, [&](std::wstring& path) -> Result<BufferFill> {
            const DWORD length = moduleFileName(nullptr, path.data(), static_cast<DWORD>(path.size()));
            if (length == 0) {
                return LastErrorFailure();
            }
            // A full buffer means the name may have been cut: grow and ask again.
            return length < path.size() ? BufferFill::Fits(length) : BufferFill::Needs(0);
        });
    if (const Failure* failure = FailureOf(module)) {
        return ErrorFailureWithText(static_cast<DWORD>(failure->number));
    }
    const std::wstring& path = ValueOf(module);
    const std::size_t separator = path.find_last_of(L"\\/");
    if (separator == std::wstring::npos) {
        return ErrorFailureWithText(ERROR_BAD_PATHNAME);
    }
    std::optional<std::string> directory = ExactAnsi(std::wstring_view(path).substr(0, separator));
    if (!directory) {
        return ErrorFailureWithText(ERROR_NO_UNICODE_TRANSLATION);
    }
    return std::move(*directory);
}

}  // namespace zandrel
