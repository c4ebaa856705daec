#pragma once

#include <string>

namespace zandrel {

// The directory that holds the running executable, without a trailing backslash.
std::string ExecutableDirectory();

}  // namespace zandrel
