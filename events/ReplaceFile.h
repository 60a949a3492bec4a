#pragma once
// Replacing the contents of a file as a user expects of a file edited in place:
// the new text goes to a temporary file beside it and is renamed over the old
// one, so a failure leaves the old file whole. The file keeps its permission
// bits and, where the process may set them, its owner and group; a symbolic
// link is written through, not replaced; and a file that exists but cannot be
// read is never replaced.

#include <string>
#include <system_error>

namespace kestrix {

// Throws std::system_error with the system's reason (errno) when the file
// cannot be replaced; the old file is then unchanged.
void ReplaceFileContents(const std::string& path, const std::string& contents);

}  // namespace kestrix
