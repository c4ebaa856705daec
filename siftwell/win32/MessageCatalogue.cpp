#include <windows.h>

#include <cstring>
#include <vector>

#include "siftwell/win32/Adapters.h"
#include "siftwell/win32/SystemDirectory.h"
#include "GrowBuffer.h"
#include "LastError.h"
#include "UniqueHandle.h"

namespace zandrel::siftwell {
namespace {

constexpr char kEventLogKey[] = "SYSTEM\\CurrentControlSet\\Services\\EventLog\\";
constexpr DWORD kFormatFlags =
    FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ARGUMENT_ARRAY;
constexpr DWORD kMessageBufferSize = 1023;
// Past what any message file list or its expansion holds (an expansion is at most 32 K characters).
constexpr std::size_t kLargestValue = 65536;

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
        bool absent = false;
        const Result<std::vector<char>> value = GrowUntilFits<std::vector<char>>(
            0, kLargestValue, [&](std::vector<char>& data) -> Result<BufferFill> {
                // First a four-byte area with a size of 0, which asks only for the value's length;
                // then an area of that length (again, should the value have grown meanwhile).
                BYTE sizeProbe[4];
                DWORD size = static_cast<DWORD>(data.size());
                const LSTATUS result =
                    RegQueryValueExA(key_.get(), "EventMessageFile", nullptr, nullptr,
                                     data.empty() ? sizeProbe : reinterpret_cast<BYTE*>(data.data()), &size);
                if (result == ERROR_FILE_NOT_FOUND) {
                    absent = true;
                    return BufferFill::Fits(0);
                }
                if (result == ERROR_MORE_DATA || (result == ERROR_SUCCESS && size > data.size())) {
                    return BufferFill::Needs(size);
                }
                if (result != ERROR_SUCCESS) {
                    return ErrorFailure(static_cast<DWORD>(result));
                }
                return BufferFill::Fits(size);
            });
        if (const Failure* failure = FailureOf(value)) {
            return *failure;
        }
        if (absent) {
            return std::nullopt;
        }
        // The stored text need not end with its NUL.
        const std::vector<char>& data = ValueOf(value);
        return std::optional<std::string>(std::string(data.data(), strnlen(data.data(), data.size())));
    }

  private:
    UniqueRegKey key_;
};

class Win32MessageModule : public MessageModule {
  public:
    explicit Win32MessageModule(HMODULE module) : module_(module) {}

    // FORMAT_MESSAGE_IGNORE_INSERTS: the text as it stands in the table.
    Result<std::string> Template(std::uint32_t eventId) override {
        UniqueLocal text;
        const DWORD length =
            FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_FROM_SYSTEM |
                               FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ALLOCATE_BUFFER,
                           module_.get(), eventId, 0, reinterpret_cast<LPSTR>(text.put()), 0, nullptr);
        if (length == 0 || !text) {
            return LastErrorFailure();
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
            return LastErrorFailure();
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
        return ErrorFailure(static_cast<DWORD>(result));
    }
    return std::make_unique<Win32SourceRegistration>(key);
}

Result<std::string> Win32MessageCatalogue::ExpandEnvironment(const std::string& text) {
    // The ANSI form needs room for one character more than the count it reports, and its count need
    // not be one of bytes: Wine answers the wide characters', too few for a double-byte folder, and
    // cuts the text without its NUL. The buffer grows until the call reports a count that fits and
    // the text's end is in it. The first call, with no buffer, asks for the count alone.
    return GrowUntilFits<std::string>(0, kLargestValue, [&](std::string& expanded) -> Result<BufferFill> {
        const DWORD size = static_cast<DWORD>(expanded.size());
        const DWORD count = expand_(text.c_str(), size == 0 ? nullptr : expanded.data(), size);
        if (count == 0) {
            return LastErrorFailure();
        }
        const std::size_t length = strnlen(expanded.data(), size);
        if (count < size && length < size) {
            return BufferFill::Fits(length);
        }
        return BufferFill::Needs(std::size_t{count} + 1);
    });
}

std::unique_ptr<MessageModule> Win32MessageCatalogue::LoadMessages(const std::string& messageFile) {
    // A file that cannot be loaded leaves a null module: the system then searches this executable
    // and its own table.
    const std::string modulePath = messageFile.empty() ? std::string() : MessageModulePath(messageFile);
    return std::make_unique<Win32MessageModule>(
        modulePath.empty() ? nullptr : LoadLibraryExA(modulePath.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
}

}  // namespace zandrel::siftwell
