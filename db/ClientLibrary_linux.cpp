#include <unistd.h>

#include "db/ClientLibrary.h"

namespace kestrix {

namespace {
constexpr const char* kLibraryFile = "libfbclient.so";
// An installation from Firebird's own packages lives here.
constexpr const char* kInstallDirectory = "/opt/firebird/";

bool FileExists(const std::string& path) {
    return ::access(path.c_str(), F_OK) == 0;
}
}  // namespace

ClientLibraryPlaces DefaultClientLibraryPlaces(const std::string& executableDirectory) {
    ClientLibraryPlaces places{executableDirectory, {}, {}};
    if (FileExists(kInstallDirectory)) places.installDirectory = kInstallDirectory;
    for (const char* dir : {"/usr/lib/x86_64-linux-gnu/", "/usr/lib/aarch64-linux-gnu/", "/usr/lib/i386-linux-gnu/",
                            "/usr/lib64/", "/usr/lib/", "/lib/x86_64-linux-gnu/"})
        places.systemCandidates.push_back(std::string(dir) + "libfbclient.so.2");
    return places;
}

std::optional<std::string> LocateClientLibrary(const ClientLibraryPlaces& places) {
    std::vector<std::string> candidates;
    if (!places.executableDirectory.empty()) candidates.push_back(places.executableDirectory + kLibraryFile);
    if (!places.installDirectory.empty()) candidates.push_back(places.installDirectory + "lib/" + kLibraryFile);
    candidates.insert(candidates.end(), places.systemCandidates.begin(), places.systemCandidates.end());
    for (const std::string& candidate : candidates)
        if (FileExists(candidate)) return candidate;
    return std::nullopt;
}

}  // namespace kestrix
