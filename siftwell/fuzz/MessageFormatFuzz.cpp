// Random message templates and insertion strings through message expansion: the argument table
// must answer every reference from %1 to %99 with readable text, and the line that results must
// keep no CR LF pair.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "siftwell/tests/Fakes.h"
#include "siftwell/core/Lines.h"
#include "siftwell/core/eventlog.h"

using namespace zandrel::siftwell;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The template, a 0x01 byte, then the strings block as a record carries it.
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::size_t split = input.find('\x01');
    const std::string pattern(input.substr(0, split));
    std::string messageText(split == std::string_view::npos ? std::string_view() : input.substr(split + 1));

    testing::FakeCatalogue catalogue;
    catalogue.registrations[{"System", "Src"}] = "%Dir%\\first.dll;second.dll";
    catalogue.environment["%Dir%"] = "C:\\Messages";
    catalogue.messages[{"C:\\Messages\\first.dll", 42}] = pattern;
    const std::string block = messageText;
    if (!ExpandMessage(catalogue, 42, "Src", messageText, "System")) {
        std::abort();
    }
    if (catalogue.formattedFiles.size() != 1 || catalogue.formattedFiles[0] != "C:\\Messages\\first.dll") {
        std::abort();
    }
    ReplaceLineBreaks(messageText);
    if (messageText.find("\r\n") != std::string::npos) {
        std::abort();
    }
    const std::string line =
        EventRecordLine("Error", "(LOCALHOST)", "3/14/2006", ZoneText(-5), "Src", messageText, true);
    if (line.size() < messageText.size()) {
        std::abort();
    }
    return 0;
}
