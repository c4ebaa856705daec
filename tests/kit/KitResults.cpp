// The test kit's tally: run-tests.cmd runs each suite with its JUnit XML into results\NAME.xml and its
// exit status into results\NAME.exit; this sums them. A suite that wrote no XML, or ended with a
// failing status although its XML holds no failure (it crashed after a test), counts as one failure;
// so does a skipped test that says not why. Prints the failures, each suite's sums and the closing line
//   N passed, N failed, N skipped
// and ends with 1 when anything failed.
//   kit-results.exe RESULTS_FOLDER SUITE...
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

namespace {

struct Tally {
    int passed = 0;
    int failed = 0;
    int skipped = 0;
};

std::string ReadFile(const std::string& path, bool& found) {
    std::ifstream in(path, std::ios::binary);
    found = static_cast<bool>(in);
    return found ? std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>())
                 : std::string();
}

// The value of attribute `name` in the element text `element`, entities left as they are.
std::string Attribute(std::string_view element, std::string_view name) {
    std::string key(1, ' ');
    key.append(name).append("=\"");
    const std::size_t start = element.find(key);
    if (start == std::string_view::npos) {
        return {};
    }
    const std::size_t from = start + key.size();
    const std::size_t end = element.find('"', from);
    return std::string(
        element.substr(from, end == std::string_view::npos ? std::string_view::npos : end - from));
}

// GoogleTest's skip message is "file:line", a line break (written as an entity), then the reason.
bool SaysWhy(const std::string& message) {
    for (const std::string_view breakEntity : {"&#x0A;", "&#10;", "\n"}) {
        const std::size_t at = message.find(breakEntity);
        if (at != std::string::npos) {
            const std::string reason = message.substr(at + breakEntity.size());
            return reason.find_first_not_of(" \t&#x0A;") != std::string::npos;
        }
    }
    return false;
}

Tally CountSuite(const std::string& folder, const std::string& suite) {
    Tally tally;
    bool found = false;
    const std::string xml = ReadFile(folder + "\\" + suite + ".xml", found);
    if (!found) {
        std::printf("FAILED %s: wrote no results\n", suite.c_str());
        tally.failed = 1;
        return tally;
    }
    std::size_t at = xml.find("<testcase ");
    while (at != std::string::npos) {
        const std::size_t next = xml.find("<testcase ", at + 1);
        const std::string_view testcase =
            std::string_view(xml).substr(at, next == std::string::npos ? std::string::npos : next - at);
        const std::string_view opening = testcase.substr(0, testcase.find('>'));
        const std::string name = Attribute(opening, "classname") + "." + Attribute(opening, "name");
        if (Attribute(opening, "status") != "run") {
            // Filtered out or disabled: not run, not counted.
        } else if (testcase.find("<failure") != std::string_view::npos) {
            std::printf("FAILED %s: %s\n", suite.c_str(), name.c_str());
            ++tally.failed;
        } else if (const std::size_t skip = testcase.find("<skipped"); skip != std::string_view::npos) {
            const std::string_view element = testcase.substr(skip, testcase.find('>', skip) - skip);
            if (SaysWhy(Attribute(element, "message"))) {
                ++tally.skipped;
            } else {
                std::printf("FAILED %s: %s skipped without saying why\n", suite.c_str(), name.c_str());
                ++tally.failed;
            }
        } else {
            ++tally.passed;
        }
        at = next;
    }
    const std::string status = ReadFile(folder + "\\" + suite + ".exit", found);
    const bool endedWell =
        found && status.find_first_not_of("0 \r\n") == std::string::npos && !status.empty();
    if (!endedWell && tally.failed == 0) {
        std::printf("FAILED %s: ended with status %s", suite.c_str(), found ? status.c_str() : "(none)\n");
        tally.failed = 1;
    }
    return tally;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fputs("usage: kit-results RESULTS_FOLDER SUITE...\n", stderr);
        return 2;
    }
    const std::string folder = argv[1];
    std::vector<std::pair<std::string, Tally>> suites;
    Tally total;
    for (int i = 2; i < argc; ++i) {
        const Tally tally = CountSuite(folder, argv[i]);
        suites.emplace_back(argv[i], tally);
        total.passed += tally.passed;
        total.failed += tally.failed;
        total.skipped += tally.skipped;
    }
    for (const auto& [name, tally] : suites) {
        std::printf("%-24s %d passed, %d failed, %d skipped\n", name.c_str(), tally.passed, tally.failed,
                    tally.skipped);
    }
    std::printf("%d passed, %d failed, %d skipped\n", total.passed, total.failed, total.skipped);
    return total.failed == 0 ? 0 : 1;
}
