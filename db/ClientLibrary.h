#pragma once
// Where the Firebird client library is looked for, in this order: next to the
// executable, under the Firebird installation directory, then the system's.

#include <optional>
#include <string>
#include <vector>

namespace kestrix {

struct ClientLibraryPlaces {
    std::string executableDirectory;   // ends with a separator; empty: not looked at
    std::string installDirectory;      // empty when no installation is found; ends with a separator
    std::vector<std::string> systemCandidates;  // full paths, in order
};

// The places of this platform for a program in executableDirectory.
ClientLibraryPlaces DefaultClientLibraryPlaces(const std::string& executableDirectory);

// The first existing candidate; nothing when there is none. Does not load it.
std::optional<std::string> LocateClientLibrary(const ClientLibraryPlaces& places);

}  // namespace kestrix
