// Any bytes as one event record, read by the event pass: the record is parsed from an exact-size
// copy (so AddressSanitizer sees any read outside it), its strings split and expanded, its line written.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "siftwell/core/CaptureContext.h"
#include "siftwell/tests/Fakes.h"
#include "siftwell/core/eventlog.h"

using namespace zandrel::siftwell;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::vector<unsigned char> record(data, data + size);
    if (const auto parsed = ParseEventRecord(record)) {
        const auto* begin = reinterpret_cast<const char*>(record.data());
        const auto inside = [&](std::string_view text) {
            return text.empty() ||
                   (text.data() >= begin && text.data() + text.size() <= begin + record.size());
        };
        if (!inside(parsed->sourceName) || !inside(parsed->insertionStrings)) {
            std::abort();
        }
        const auto parts = SplitInsertionStrings(parsed->insertionStrings);
        const MessageArgs args = FillMessageArgs(parts);
        for (std::size_t i = 0; i < args.size(); ++i) {
            if (args[i].has_value() != (i < parts.size())) {
                std::abort();
            }
        }
    }

    testing::FakePlatform fakes;
    fakes.events.records = {record};
    fakes.messages.registrations[{"System", "Disk"}] = "disk.dll";
    fakes.messages.messages[{"disk.dll", 7}] = "Disk %1 at %2 of %11.%n";
    CaptureContext context(fakes.platform);
    for (const std::int32_t typeCode : {0, 1, 2, 4, 8, 16}) {
        CaptureEvents(context, "", "System", typeCode, "Error");
        fakes.events.reads = 0;
    }
    return 0;
}
