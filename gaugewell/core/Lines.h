// Every line of Gaugewell.log is built here, one function per line kind; the reading server parses
// these texts, so every byte counts.
#pragma once

#include <string>
#include <string_view>

#include "gaugewell/core/Ports.h"

namespace zandrel::gaugewell {

inline constexpr std::string_view kResultFileName = "Gaugewell.log";

std::string ConnectionFailedLine(std::string_view server, const Failure& failure);
std::string ProcessorQueryFailedLine(std::string_view server, const Failure& failure);
std::string ProcessorLoadLine(std::string_view loadText);
std::string MemoryQueryFailedLine(std::string_view server, const Failure& failure);
std::string FreeMemoryLine(std::string_view memoryText);
std::string DiskQueryFailedLine(std::string_view drive, std::string_view server, const Failure& failure);
std::string FreeDiskSpaceLine(std::string_view drive, std::string_view diskText);
std::string NoDriveLine();
std::string DriveInvalidLine();
std::string ClosingLine();

// The texts of the measurements' figures, from their digits.
std::string ProcessorLoadText(int load);
std::string FreeMemoryText(std::string_view size, std::string_view freePercent);
std::string FreeDiskSpaceText(std::string_view freeMegabytes, std::string_view freePercent);

// The texts a measurement returns in place of its value when its query failed.
std::string ProcessorFailureText(const Failure& failure);
std::string MemoryFailureText(const Failure& failure);
std::string DiskFailureText(const Failure& failure);

inline constexpr std::string_view kDiskNotFound = "<Disk not found>";
// A free-memory figure the service did not report; the bracket tells the reading server it is no value.
inline constexpr std::string_view kFreeMemoryNotFound = "<Free memory not found>";

}  // namespace zandrel::gaugewell
