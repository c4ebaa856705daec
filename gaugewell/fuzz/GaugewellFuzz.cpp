// A whole run on any settings file and any figures the service may hand back: fields of the input,
// separated by NUL bytes, are memory.conf, two processor loads, the four memory and disk counts, the
// locale separator, a byte whose bits make connections and queries fail, the failure description, and
// a byte that picks the first result line that is lost.
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "gaugewell/tests/FakeManagementService.h"
#include "FakeTextCodec.h"
#include "MemoryResultFile.h"
#include "gaugewell/core/Module1.h"

namespace {

using namespace zandrel::gaugewell;
using namespace zandrel::gaugewell::testing;

std::vector<std::string> Fields(std::string_view input) {
    std::vector<std::string> fields;
    size_t start = 0;
    for (size_t end; (end = input.find('\0', start)) != std::string_view::npos; start = end + 1) {
        fields.emplace_back(input.substr(start, end - start));
    }
    fields.emplace_back(input.substr(start));
    return fields;
}

// A property of the field's text, or no property when the input ran out before it.
void SetProperty(FakeProperties& properties, const char* name, const std::vector<std::string>& fields,
                 size_t i) {
    if (i < fields.size()) {
        properties[name] = fields[i];
    }
}

const std::filesystem::path& Directory() {
    static const std::filesystem::path directory = [] {
        auto path = std::filesystem::temp_directory_path() / ("gaugewell-fuzz-" + std::to_string(getpid()));
        std::filesystem::create_directories(path);
        return path;
    }();
    return directory;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    if (size >= sizeof(double)) {
        double amount;
        std::memcpy(&amount, data, sizeof amount);
        FormatSize(amount, ",");
    }

    const std::vector<std::string> fields = Fields(input);
    FakeManagementService host;
    FakeProperties first, second, system, disk;
    SetProperty(first, "LoadPercentage", fields, 1);
    SetProperty(second, "LoadPercentage", fields, 2);
    SetProperty(system, "FreePhysicalMemory", fields, 3);
    SetProperty(system, "TotalVisibleMemorySize", fields, 4);
    SetProperty(disk, "FreeSpace", fields, 5);
    SetProperty(disk, "Size", fields, 6);
    const zandrel::testing::FakeTextCodec codec(1252);
    FakeLocale locale;
    locale.separator = fields.size() > 7 ? fields[7] : ",";
    const unsigned failures =
        fields.size() > 8 && !fields[8].empty() ? static_cast<unsigned char>(fields[8][0]) : 0;

    host.answers["Select * From Win32_Processor"] = {.instances = {first, second}};
    host.answers["Win32_OperatingSystem"] = {.instances = {system}};
    for (char letter = 'A'; letter <= 'Z'; ++letter) {
        for (const char drive : {letter, static_cast<char>(letter - 'A' + 'a')}) {
            host.answers[std::string("Select * From Win32_LogicalDisk Where DeviceID = \"") + drive + ":\""] =
                {.instances = {disk}};
        }
    }
    const zandrel::Failure failure{-2147217405, fields.size() > 9 ? fields[9] : std::string()};
    for (int connection = 0; connection < 3; ++connection) {
        if (failures & (1u << connection)) {
            host.connectFailures[connection] = failure;
        }
    }
    if (failures & 8u) {
        host.answers["Select * From Win32_Processor"].failure = failure;
    }
    if (failures & 16u) {
        host.answers["Win32_OperatingSystem"].failure = failure;
    }
    if (failures & 32u) {
        host.answers["Win32_OperatingSystem"].count = static_cast<std::int32_t>(failures >> 6);
    }

    const std::filesystem::path& directory = Directory();
    {
        std::FILE* conf = std::fopen((directory / "memory.conf").c_str(), "wb");
        if (conf == nullptr) {
            return 0;
        }
        std::fwrite(fields[0].data(), 1, fields[0].size(), conf);
        std::fclose(conf);
    }
    zandrel::testing::MemoryResultFile resultFile;
    if (fields.size() > 10 && !fields[10].empty()) {
        resultFile.failFromLine = static_cast<unsigned char>(fields[10][0]) % 8;
    }
    Main(host, locale, codec, resultFile, directory.string());
    return 0;
}
