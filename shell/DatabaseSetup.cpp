#include "shell/DatabaseSetup.h"

#include "db/ServerProbe.h"
#include "shell/ExecutableDirectory.h"

namespace kestrix {

std::variant<DatabaseLocation, DatabaseSetupError> ReadDatabaseLocation(const ProgramSettings& settings,
                                                                       const std::string& appDirectory,
                                                                       const ClientLibraryPlaces& places) {
    if (!settings.exists()) return DatabaseSetupError::SettingsMissing;
    const auto library = LocateClientLibrary(places);
    if (!library) return DatabaseSetupError::ClientLibraryMissing;
    DatabaseLocation location{*library, settings.read(kDatabasePathSetting), {}, {}};
    if (location.directory.empty()) {
        location.directory = appDirectory + "DB";
        // The administrator's file of an installation is not the operator's to write.
        if (settings.mayChange()) settings.write(kDatabasePathSetting, location.directory);
    }
    location.password = settings.read(kDatabasePasswordSetting);
    if (!ServerOf(location.databaseName()))
        location.sharing = EmbeddedEngineSharing{ExecutableDirectory() + kEngineConfigurationDirectory,
                                                 location.directory + "/" + kEngineLockDirectory};
    return location;
}

std::unique_ptr<DatabaseConnection> OpenInstallationDatabase(const DatabaseLocation& location) {
    if (location.sharing) ShareEmbeddedEngine(*location.sharing);
    return DatabaseConnection::Connect(location.clientLibrary, location.databaseName(), kDatabaseUser,
                                       location.password);
}

}  // namespace kestrix
