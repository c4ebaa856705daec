#include <windows.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "siftwell/win32/Adapters.h"
#include "siftwell/win32/SystemDirectory.h"
#include "UniqueHandle.h"

namespace zandrel::siftwell {
namespace {

constexpr char kEventLogKey[] = "SYSTEM\\CurrentControlSet\\Services\\EventLog\\";
constexpr DWORD kFormatFlags =
    FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ARGUMENT_ARRAY;
constexpr DWORD kMessageBufferSize = 1023;
// Enough to double past three bytes for each character the first count reported.
constexpr int kExpandAttempts = 4;

using UniqueLocalMemory = UniqueHandle<NullHandleTraits<HLOCAL, &LocalFree>>;

Failure LastError() {
    return Failure{static_cast<std::int32_t>(GetLastError()), {}};
}

// A message file as it is loaded: a name with a drive ("X:") or a share (two backslashes) as it
// stands, any other name (bare or relative) in System32 only. A data-file load by name would search
// the program's folder first; the path is built here, as not every loader applies the process's
// search flags to data-file loads (Wine's does not).
std::string MessageModulePath(const std::string& messageFile) {
    const bool hasDrive = messageFile.size() >= 2 && messageFile[1] == ':';
    const bool hasShare = messageFile.starts_with("\\\\");
    if (hasDrive || hasShare) {
        return messageFile;
    }
    // A name from the root of the current drive (one backslash) is no safer than a bare one.
    const std::size_t nameStart = messageFile.find_first_not_of('\\');
    if (nameStart == std::string::npos) {
        return {};
    }
    return SystemDirectoryPath(std::string_view(messageFile).substr(nameStart));
}

class Win32SourceRegistration : public SourceRegistration {
  public:
    explicit Win32SourceRegistration(HKEY key) : key_(key) {}

    Result<std::optional<std::string>> MessageFileValue() override {
        // A four-byte area with a size of 0 asks only for the value's length.
        BYTE sizeProbe[4];
        DWORD size = 0;
        const LSTATUS probed =
            RegQueryValueExA(key_.get(), "EventMessageFile", nullptr, nullptr, sizeProbe, &size);
        if (probed == ERROR_FILE_NOT_FOUND) {
            return std::nullopt;
        }
        if (probed != ERROR_SUCCESS && probed != ERROR_MORE_DATA) {
            return Failure{static_cast<std::int32_t>(probed), {}};
        }
        if (size == 0) {
            return std::optional<std::string>(std::string());
        }
        std::vector<char> data(size);
        DWORD read = size;
        if (const LSTATUS result = RegQueryValueExA(key_.get(), "EventMessageFile", nullptr, nullptr,
                                                    reinterpret_cast<BYTE*>(data.data()), &read);
            result != ERROR_SUCCESS) {
            // The value changed in between: its bytes are not defined.
            return Failure{static_cast<std::int32_t>(result), {}};
        }
        // The stored text need not end with its NUL.
        return std::optional<std::string>(
            std::string(data.data(), strnlen(data.data(), read < size ? read : size)));
    }

  private:
    UniqueRegKey key_;
};

class Win32MessageModule : public MessageModule {
  public:
    explicit Win32MessageModule(HMODULE module) : module_(module) {}

    // FORMAT_MESSAGE_IGNORE_INSERTS: the text as it stands in the table.
    Result<std::string> Template(std::uint32_t eventId) override {
        UniqueLocalMemory text;
        const DWORD length =
            FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_FROM_SYSTEM |
                               FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ALLOCATE_BUFFER,
                           module_.get(), eventId, 0, reinterpret_cast<LPSTR>(text.put()), 0, nullptr);
        if (length == 0 || !text) {
            return LastError();
        }
        return std::string(static_cast<const char*>(text.get()), length);
    }

    Result<std::string> Format(std::uint32_t eventId, const InsertArguments& inserts) override {
        DWORD_PTR arguments[kInsertTableSize];
        for (std::size_t i = 0; i < kInsertTableSize; ++i) {
            arguments[i] = reinterpret_cast<DWORD_PTR>(inserts[i]);
        }
        char buffer[kMessageBufferSize];
        const DWORD length = FormatMessageA(kFormatFlags, module_.get(), eventId, 0, buffer,
                                            kMessageBufferSize, reinterpret_cast<va_list*>(arguments));
        if (length == 0) {
            return LastError();
        }
        if (length > kMessageBufferSize) {
            return Failure{ERROR_INSUFFICIENT_BUFFER, {}};
        }
        return std::string(buffer, length);
    }

  private:
    UniqueModule module_;
};

}  // namespace

Result<std::unique_ptr<SourceRegistration>> Win32MessageCatalogue::OpenSource(const std::string& logName,
                                                                              const std::string& sourceName) {
    const std::string keyPath = kEventLogKey + logName + "\\" + sourceName;
    HKEY key = nullptr;
    if (const LSTATUS result = RegOpenKeyA(HKEY_LOCAL_MACHINE, keyPath.c_str(), &key);
        result != ERROR_SUCCESS) {
        return Failure{static_cast<std::int32_t>(result), {}};
    }
    return std::make_unique<Win32SourceRegistration>(key);
}

Result<std::string> Win32MessageCatalogue::ExpandEnvironment(const std::string& text) {
    // The ANSI form needs room for one character more than the count it reports, and its count need
    // not be one of bytes: Wine answers the wide characters', too few for a double-byte folder, and
    // cuts the text without its NUL. The buffer grows until the call reports a count that fits and
    // the text's end is in it.
    std::vector<char> expanded;
    DWORD count = expand_(text.c_str(), nullptr, 0);
    DWORD size = count + 1;
    for (int attempt = 0; attempt < kExpandAttempts && count != 0; ++attempt) {
        expanded.assign(size, '\0');
        count = expand_(text.c_str(), expanded.data(), size);
        const std::size_t length = strnlen(expanded.data(), size);
        if (count != 0 && count < size && length < size) {
            return std::string(expanded.data(), length);
        }
        size = std::max(count + 1, 2 * size);
    }
    if (count == 0) {
        return LastError();
    }
    return Failure{ERROR_INSUFFICIENT_BUFFER, {}};
}

std::unique_ptr<MessageModule> Win32MessageCatalogue::LoadMessages(const std::string& messageFile) {
    // A file that cannot be loaded leaves a null module: the system then searches this executable
    // and its own table.
    const std::string modulePath = messageFile.empty() ? std::string() : MessageModulePath(messageFile);
    return std::make_unique<Win32MessageModule>(
        modulePath.empty() ? nullptr : LoadLibraryExA(modulePath.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
}

}  // namespace zandrel::siftwell
