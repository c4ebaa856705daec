#include "gaugewell/core/Lines.h"

namespace zandrel::gaugewell {
namespace {

// ".  Error -2147217405: description", the tail that every failure line shares.
std::string FailureTail(const Failure& failure) {
    return ".  Error " + std::to_string(failure.number) + ": " + failure.description;
}

std::string FailureText(const Failure& failure, std::string_view what) {
    std::string text = "<Error " + std::to_string(failure.number) + " while getting ";
    text += what;
    text += ": \"" + failure.description + "\">";
    return text;
}

}  // namespace

std::string ConnectionFailedLine(std::string_view server, const Failure& failure) {
    return "Error connecting to " + std::string(server) + FailureTail(failure);
}

std::string ProcessorQueryFailedLine(std::string_view server, const Failure& failure) {
    return "Error finding processor info on " + std::string(server) + FailureTail(failure);
}

std::string ProcessorLoadLine(std::string_view loadText) {
    return "CPU Utilization=" + std::string(loadText) + "%";
}

std::string MemoryQueryFailedLine(std::string_view server, const Failure& failure) {
    return "Error getting free memory on " + std::string(server) + FailureTail(failure);
}

std::string FreeMemoryLine(std::string_view memoryText) {
    return "Free Memory=" + std::string(memoryText);
}

std::string DiskQueryFailedLine(std::string_view drive, std::string_view server, const Failure& failure) {
    return "Error finding disk " + std::string(drive) + " info on " + std::string(server) +
           FailureTail(failure);
}

std::string FreeDiskSpaceLine(std::string_view drive, std::string_view diskText) {
    return "Free Space on Drive " + std::string(drive) + "=" + std::string(diskText);
}

std::string NoDriveLine() {
    return "No drive specifed.";
}

std::string DriveInvalidLine() {
    return "Drive setting is invalid.  Use Drive=X in memory.conf.";
}

std::string ClosingLine() {
    return "Zandrel data capture completed";
}

// A load is written with one blank before its digits.
std::string ProcessorLoadText(int load) {
    // Built by appending: GCC 12 warns falsely (-Wrestrict) on `" " + std::to_string(load)`.
    std::string text(1, ' ');
    text += std::to_string(load);
    return text;
}

std::string FreeMemoryText(std::string_view size, std::string_view freePercent) {
    return std::string(size) + " (" + std::string(freePercent) + "% Free)";
}

std::string FreeDiskSpaceText(std::string_view freeMegabytes, std::string_view freePercent) {
    return std::string(freeMegabytes) + " MB (" + std::string(freePercent) + "% Free)";
}

std::string ProcessorFailureText(const Failure& failure) {
    return FailureText(failure, "processor info");
}

std::string MemoryFailureText(const Failure& failure) {
    return FailureText(failure, "free memory");
}

std::string DiskFailureText(const Failure& failure) {
    return FailureText(failure, "disk info");
}

}  // namespace zandrel::gaugewell
