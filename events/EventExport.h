#pragma once
// The event text file: one 32-hex-digit record a line, CR LF after every line.

#include <string>
#include <vector>

#include "link/HexCodec.h"

namespace kestrix {

// Writes the records to path through a temporary file in the same directory and
// a rename, so that a failed export leaves any old file as it was. Throws
// std::runtime_error naming the file and the system's reason.
void WriteEventTextFile(const std::string& path, const std::vector<HexText>& records);

}  // namespace kestrix
