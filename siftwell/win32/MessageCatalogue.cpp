#include <windows.h>

#include <cstring>
#include <vector>

#include "Adapters.h"
#include "UniqueHandle.h"
#include "eventlog.h"

namespace zandrel::siftwell {
namespace {

constexpr char kEventLogKey[] = "SYSTEM\\CurrentControlSet\\Services\\EventLog\\";
constexpr DWORD kFormatFlags =
    FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ARGUMENT_ARRAY;
constexpr DWORD kMessageBufferSize = 1023;

}  // namespace

std::optional<std::string> Win32MessageCatalogue::MessageFileValue(const std::string& logName,
                                                                   const std::string& sourceName) {
    const std::string keyPath = kEventLogKey + logName + "\\" + sourceName;
    UniqueRegKey key;
    if (RegOpenKeyA(HKEY_LOCAL_MACHINE, keyPath.c_str(), key.put()) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    // A four-byte area with a size of 0 asks only for the value's length.
    BYTE sizeProbe[4];
    DWORD size = 0;
    RegQueryValueExA(key.get(), "EventMessageFile", nullptr, nullptr, sizeProbe, &size);
    if (size == 0) {
        return std::string();
    }
    std::vector<char> data(size);
    DWORD read = size;
    if (RegQueryValueExA(key.get(), "EventMessageFile", nullptr, nullptr,
                         reinterpret_cast<BYTE*>(data.data()), &read) != ERROR_SUCCESS) {
        // The value changed in between: its bytes are not defined.
        return std::string();
    }
    // The stored text need not end with its NUL.
    return std::string(data.data(), strnlen(data.data(), read < size ? read : size));
}

std::string Win32MessageCatalogue::ExpandEnvironment(const std::string& text) {
    const DWORD needed = ExpandEnvironmentStringsA(text.c_str(), nullptr, 0);
    if (needed == 0) {
        return std::string();
    }
    std::vector<char> expanded(needed);
    const DWORD written = ExpandEnvironmentStringsA(text.c_str(), expanded.data(), needed);
    if (written == 0 || written > needed) {
        return std::string();
    }
    return std::string(expanded.data(), strnlen(expanded.data(), needed));
}

std::optional<std::string> Win32MessageCatalogue::FormatEventMessage(const std::string& messageFile,
                                                                     std::uint32_t eventId,
                                                                     const MessageArgs& args) {
    // A file that cannot be loaded leaves a null module: the system then searches this executable
    // and its own table.
    const UniqueModule module(LoadLibraryExA(messageFile.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
    const auto table = InsertTable(args);
    DWORD_PTR arguments[kInsertTableSize];
    for (std::size_t i = 0; i < kInsertTableSize; ++i) {
        arguments[i] = reinterpret_cast<DWORD_PTR>(table[i]);
    }
    char buffer[kMessageBufferSize];
    const DWORD length = FormatMessageA(kFormatFlags, module.get(), eventId, 0, buffer, kMessageBufferSize,
                                        reinterpret_cast<va_list*>(arguments));
    if (length == 0 || length > kMessageBufferSize) {
        return std::nullopt;
    }
    return std::string(buffer, length);
}

}  // namespace zandrel::siftwell
