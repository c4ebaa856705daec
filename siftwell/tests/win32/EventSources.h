// Event sources that the Windows tests register in the machine's registry, as an installer would.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <optional>
#include <string>

#include "UniqueHandle.h"

namespace zandrel::siftwell::testing {

inline constexpr char kEventLogKey[] = "SYSTEM\\CurrentControlSet\\Services\\EventLog\\";

// The source's key under the log, with its EventMessageFile value or without one.
inline void RegisterSource(const std::string& logName, const std::string& source,
                           const std::optional<std::string>& value) {
    const std::string path = kEventLogKey + logName + "\\" + source;
    UniqueRegKey key;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, key.put(),
                              nullptr),
              ERROR_SUCCESS);
    if (value) {
        ASSERT_EQ(RegSetValueExA(key.get(), "EventMessageFile", 0, REG_EXPAND_SZ,
                                 reinterpret_cast<const BYTE*>(value->c_str()),
                                 static_cast<DWORD>(value->size() + 1)),
                  ERROR_SUCCESS);
    }
}

}  // namespace zandrel::siftwell::testing
