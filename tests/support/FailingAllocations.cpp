#include "FailingAllocations.h"

#include <windows.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <vector>

namespace zandrel::testing {

namespace {

template <class T>
T At(const std::vector<char>& image, std::size_t offset) {
    if (offset > image.size() || image.size() - offset < sizeof(T)) {
        throw std::runtime_error("not a whole PE image");
    }
    T value;
    std::memcpy(&value, image.data() + offset, sizeof value);
    return value;
}

// The file offset of a relative virtual address of the image.
std::size_t FileOffset(const std::vector<char>& image, std::size_t sections, unsigned count, DWORD rva) {
    for (unsigned i = 0; i < count; ++i) {
        const auto section = At<IMAGE_SECTION_HEADER>(image, sections + i * sizeof(IMAGE_SECTION_HEADER));
        if (rva >= section.VirtualAddress && rva < section.VirtualAddress + section.SizeOfRawData) {
            return rva - section.VirtualAddress + section.PointerToRawData;
        }
    }
    throw std::runtime_error("an address outside every section");
}

}  // namespace

std::string CopyImportingFailingRuntime(const std::string& executable, const std::filesystem::path& folder) {
    std::ifstream in(std::filesystem::path(executable), std::ios::binary);
    std::vector<char> image((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const auto dos = At<IMAGE_DOS_HEADER>(image, 0);
    const auto nt = At<IMAGE_NT_HEADERS64>(image, dos.e_lfanew);
    const std::size_t sections =
        dos.e_lfanew + offsetof(IMAGE_NT_HEADERS64, OptionalHeader) + nt.FileHeader.SizeOfOptionalHeader;
    const unsigned count = nt.FileHeader.NumberOfSections;
    const DWORD imports = nt.OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress;
    bool renamed = false;
    for (std::size_t entry = FileOffset(image, sections, count, imports);;
         entry += sizeof(IMAGE_IMPORT_DESCRIPTOR)) {
        const auto descriptor = At<IMAGE_IMPORT_DESCRIPTOR>(image, entry);
        if (descriptor.Name == 0) {
            break;
        }
        char* name = image.data() + FileOffset(image, sections, count, descriptor.Name);
        if (_stricmp(name, "msvcrt.dll") == 0) {
            std::memcpy(name, "msvcrX.dll", sizeof "msvcrX.dll");
            renamed = true;
        }
    }
    if (!renamed) {
        throw std::runtime_error(executable + " does not import msvcrt.dll");
    }
    const std::filesystem::path copy = folder / std::filesystem::path(executable).filename();
    std::ofstream(copy, std::ios::binary).write(image.data(), static_cast<std::streamsize>(image.size()));
    return copy.string();
}

void PlaceFailingRuntime(const std::string& dll, const std::filesystem::path& folder) {
    std::filesystem::copy_file(std::filesystem::path(dll), folder / "msvcrX.dll",
                               std::filesystem::copy_options::overwrite_existing);
}

void SetFailingAllocations(unsigned long failFrom, const std::filesystem::path& countFile) {
    SetEnvironmentVariableA("ZANDREL_FAIL_ALLOCATIONS_FROM", std::to_string(failFrom).c_str());
    SetEnvironmentVariableA("ZANDREL_ALLOCATIONS_COUNTED",
                            countFile.empty() ? nullptr : countFile.string().c_str());
}

}  // namespace zandrel::testing
