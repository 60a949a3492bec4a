#pragma once

#include <string>

namespace kestrix {

// The directory of the running program's executable, ending with a path separator.
std::string ExecutableDirectory();

}  // namespace kestrix
