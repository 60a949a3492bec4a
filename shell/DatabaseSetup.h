#pragma once
// Where the installation database is and how to reach it, as settings.ini and
// the program's directory say: the client library, DB_path (the default
// directory is written back when the key is missing or empty) and DB_pass.

#include <memory>
#include <optional>
#include <string>
#include <variant>

#include "db/ClientLibrary.h"
#include "db/DatabaseConnection.h"
#include "shell/ProgramSettings.h"

namespace kestrix {

struct DatabaseLocation {
    std::string clientLibrary;
    std::string directory;  // as DB_path holds it; "host:/dir" reaches a server
    std::string password;
    std::string databaseName() const { return directory + "/CBASE.FDB"; }
    // How the programs of one installation share a database file they open
    // themselves; nothing for a database on a server.
    std::optional<EmbeddedEngineSharing> sharing;
};

enum class DatabaseSetupError { SettingsMissing, ClientLibraryMissing };

inline const std::string kDatabaseUser = "SYSDBA";
// Beside the executables (not the settings): the embedded engine's configuration.
inline const std::string kEngineConfigurationDirectory = "firebird";
// Beside the database file: the lock files of every program that opens it.
inline const std::string kEngineLockDirectory = "firebird-lock";

// May throw the settings file's write error.
std::variant<DatabaseLocation, DatabaseSetupError> ReadDatabaseLocation(const ProgramSettings& settings,
                                                                       const std::string& appDirectory,
                                                                       const ClientLibraryPlaces& places);

// Connects to the installation database as kDatabaseUser, sharing the file
// with the installation's other programs where the engine is embedded.
// Throws DatabaseError.
std::unique_ptr<DatabaseConnection> OpenInstallationDatabase(const DatabaseLocation& location);

}  // namespace kestrix
