#include "siftwell/tests/RecordBuilder.h"

namespace zandrel::siftwell::testing {
namespace {

void PutUint32(std::vector<unsigned char>& bytes, std::size_t offset, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        bytes[offset + i] = static_cast<unsigned char>(value >> (8 * i));
    }
}

void PutUint16(std::vector<unsigned char>& bytes, std::size_t offset, std::uint16_t value) {
    bytes[offset] = static_cast<unsigned char>(value);
    bytes[offset + 1] = static_cast<unsigned char>(value >> 8);
}

void Append(std::vector<unsigned char>& bytes, std::string_view text) {
    for (char c : text) {
        bytes.push_back(static_cast<unsigned char>(c));
    }
}

}  // namespace

std::vector<unsigned char> BuildEventRecord(const RecordFields& fields) {
    std::vector<unsigned char> bytes(56, 0);
    Append(bytes, fields.sourceName);
    bytes.push_back(0);
    Append(bytes, fields.computerName);
    bytes.push_back(0);
    while (bytes.size() % 4 != 0) {
        bytes.push_back(0);
    }
    const std::size_t stringOffset = bytes.size();
    for (const std::string& text : fields.strings) {
        Append(bytes, text);
        bytes.push_back(0);
    }
    const std::size_t dataOffset = bytes.size();
    Append(bytes, fields.data);
    while (bytes.size() % 4 != 0) {
        bytes.push_back(0);
    }
    bytes.resize(bytes.size() + 4);
    const auto length = static_cast<std::uint32_t>(bytes.size());

    PutUint32(bytes, 0, length);
    PutUint32(bytes, 4, 0x654c664c);  // "LfLe"
    PutUint32(bytes, 8, 1);
    PutUint32(bytes, 12, fields.timeGenerated);
    PutUint32(bytes, 16, fields.timeGenerated);
    PutUint32(bytes, 20, fields.eventId);
    PutUint16(bytes, 24, fields.eventType);
    PutUint16(bytes, 26, static_cast<std::uint16_t>(fields.strings.size()));
    PutUint32(bytes, kStringOffsetField, static_cast<std::uint32_t>(stringOffset));
    PutUint32(bytes, 44, static_cast<std::uint32_t>(stringOffset));
    PutUint32(bytes, 48, static_cast<std::uint32_t>(fields.data.size()));
    PutUint32(bytes, kDataOffsetField, static_cast<std::uint32_t>(dataOffset));
    PutUint32(bytes, bytes.size() - 4, length);
    return bytes;
}

void PatchUint32(std::vector<unsigned char>& record, std::size_t offset, std::uint32_t value) {
    PutUint32(record, offset, value);
}

}  // namespace zandrel::siftwell::testing
