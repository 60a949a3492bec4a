#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include "shell/ProgramSettings.h"

namespace kestrix {

std::string OperatorSettingsPath() {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    std::string directory;
    if (config && *config == '/') {
        directory = config;
    } else if (const char* home = std::getenv("HOME"); home && *home == '/') {
        directory = std::string(home) + "/.config";
    } else {
        return {};
    }
    return directory + "/kestrix/" + kSettingsFileName;
}

bool MayChangeFile(const std::string& path) {
    return ::access(path.c_str(), W_OK) == 0;
}

void MakeDirectoryFor(const std::string& file) {
    // Each missing folder on the way, for this user alone; what exists is left as it is.
    for (std::size_t slash = file.find('/', 1); slash != std::string::npos; slash = file.find('/', slash + 1))
        ::mkdir(file.substr(0, slash).c_str(), 0700);
}

}  // namespace kestrix
