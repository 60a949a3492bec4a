#pragma once
// Where the installation database is and how to reach it, as settings.ini and
// the program's directory say: the client library, DB_path (the default
// directory is written back when the key is missing or empty) and DB_pass.

#include <string>
#include <variant>

#include "db/ClientLibrary.h"
#include "shell/SettingsFile.h"

namespace kestrix {

struct DatabaseLocation {
    std::string clientLibrary;
    std::string directory;  // as DB_path holds it; "host:/dir" reaches a server
    std::string password;
    std::string databaseName() const { return directory + "/CBASE.FDB"; }
};

enum class DatabaseSetupError { SettingsMissing, ClientLibraryMissing };

inline const std::string kDatabaseUser = "SYSDBA";

// May throw the settings file's write error.
std::variant<DatabaseLocation, DatabaseSetupError> ReadDatabaseLocation(const SettingsFile& settings,
                                                                       const std::string& appDirectory,
                                                                       const ClientLibraryPlaces& places);

}  // namespace kestrix
