// EVENTLOGRECORD bytes as the event log service lays them out, for the tests, the fuzzer seeds and
// the benchmark.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zandrel::siftwell::testing {

struct RecordFields {
    std::uint16_t eventType = 1;
    std::uint32_t eventId = 1000;
    std::uint32_t timeGenerated = 0;
    std::string sourceName = "Source";
    std::string computerName = "HOST";
    std::vector<std::string> strings;
    std::string data;  // the binary data after the strings
};

// Fixed part, source and computer names, strings each with its NUL, data, padding and the closing
// length, with StringOffset and DataOffset pointing where they belong.
std::vector<unsigned char> BuildEventRecord(const RecordFields& fields);

// Overwrites a 32-bit field of the fixed part, to make malformed records.
void PatchUint32(std::vector<unsigned char>& record, std::size_t offset, std::uint32_t value);

inline constexpr std::size_t kStringOffsetField = 36;
inline constexpr std::size_t kDataOffsetField = 52;

}  // namespace zandrel::siftwell::testing
