#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "db/ClientLibrary.h"
#include "db/DatabaseConnection.h"

namespace kestrix {

namespace {
constexpr const char* kLibraryFile = "libfbclient.so";
// An installation from Firebird's own packages lives here.
constexpr const char* kInstallDirectory = "/opt/firebird/";

bool FileExists(const std::string& path) {
    return ::access(path.c_str(), F_OK) == 0;
}

// Another user than root may put a link in the folder: root, following it
// with the engine's lock files, could be made to write any file.
bool OthersMayChange(const std::string& directory) {
    struct stat status {};
    if (::stat(directory.c_str(), &status) != 0) return false;  // nothing there yet: the open fails on its own
    return status.st_uid != 0 || (status.st_mode & S_IWOTH) || ((status.st_mode & S_IWGRP) && status.st_gid != 0);
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

void ShareEmbeddedEngine(const EmbeddedEngineSharing& sharing) {
    const char* lock = sharing.lockDirectory.c_str();
    if (::geteuid() == 0) {
        const std::string database = sharing.lockDirectory.substr(0, sharing.lockDirectory.rfind('/'));
        for (const std::string& directory : {database, sharing.lockDirectory})
            if (OthersMayChange(directory))
                throw DatabaseError("Not as root: other users can change " + directory +
                                    "; run the program as an operator or as user kestrix");
    }
    // Set-group-ID: the lock files belong to the directory's group, and the
    // engine makes them readable and writable for that group.
    if (::mkdir(lock, 02770) == 0) ::chmod(lock, 02770);  // past the umask
    else if (errno != EEXIST)
        throw DatabaseError("Unable to create " + sharing.lockDirectory + ": " + std::strerror(errno));
    struct stat status {};
    if (::lstat(lock, &status) != 0 || !S_ISDIR(status.st_mode))
        throw DatabaseError(sharing.lockDirectory + " is not a directory");
    // Without the program's own configuration the engine keeps its own, and
    // with it the mode that opens a file for one process only.
    if (FileExists(sharing.configurationDirectory + "/firebird.conf"))
        ::setenv("FIREBIRD", sharing.configurationDirectory.c_str(), 1);
    ::setenv("FIREBIRD_LOCK", lock, 1);
}

}  // namespace kestrix
