#include <windows.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "siftwell/win32/Adapters.h"
#include "siftwell/win32/SystemDirectory.h"
#include "UniqueHandle.h"
#include "siftwell/core/eventlog.h"

namespace zandrel::siftwell {
namespace {

constexpr char kEventLogKey[] = "SYSTEM\\CurrentControlSet\\Services\\EventLog\\";
constexpr DWORD kFormatFlags =
    FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ARGUMENT_ARRAY;
constexpr DWORD kMessageBufferSize = 1023;
// Enough to double past three bytes for each character the first count reported.
constexpr int kExpandAttempts = 4;

using UniqueLocalMemory = UniqueHandle<NullHandleTraits<HLOCAL, &LocalFree>>;

// The message as it stands in the table, inserts untouched; nothing when there is no such message.
std::optional<std::string> MessageTemplate(HMODULE module, std::uint32_t eventId) {
    UniqueLocalMemory text;
    const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_FROM_SYSTEM |
                                            FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ALLOCATE_BUFFER,
                                        module, eventId, 0, reinterpret_cast<LPSTR>(text.put()), 0, nullptr);
    if (length == 0 || !text) {
        return std::nullopt;
    }
    return std::string(static_cast<const char*>(text.get()), length);
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

std::optional<std::string> Win32MessageCatalogue::ExpandEnvironment(const std::string& text) {
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
    return std::nullopt;
}

std::optional<std::string> Win32MessageCatalogue::FormatEventMessage(const std::string& messageFile,
                                                                     std::uint32_t eventId,
                                                                     const MessageArgs& args) {
    // A file that cannot be loaded leaves a null module: the system then searches this executable
    // and its own table.
    const std::string modulePath = messageFile.empty() ? std::string() : MessageModulePath(messageFile);
    const UniqueModule module(
        modulePath.empty() ? nullptr : LoadLibraryExA(modulePath.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
    // Inserts that take their width or precision from the arguments read entries beyond their own,
    // past the table for the last ones: such a message is looked at before it is formatted.
    const std::optional<std::string> messageTemplate = MessageTemplate(module.get(), eventId);
    if (!messageTemplate || HasUnsafeInsert(*messageTemplate)) {
        return std::nullopt;
    }
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
