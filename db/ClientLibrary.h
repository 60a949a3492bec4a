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

// The embedded engine shares a database file between processes only in its
// classic server mode, and only among processes that keep their locks in one
// directory. The configuration directory holds a firebird.conf that asks for
// that mode, and the engine's character-set module (intl/), which the engine
// looks for beside its configuration.
struct EmbeddedEngineSharing {
    std::string configurationDirectory;
    std::string lockDirectory;
};

// Makes the lock directory when it is missing (for the owner and the group:
// the operators who share the database) and points the engine at both
// directories, whatever the caller's environment said. Takes effect only when
// it runs before the client library is first loaded. Throws DatabaseError
// when the lock directory cannot be made or is no directory, and for root
// when another user can change the database's directory or the lock
// directory.
void ShareEmbeddedEngine(const EmbeddedEngineSharing& sharing);

}  // namespace kestrix
