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
    DatabaseLocation location{*library, settings.ReadSetting(kMainSection, "DB_path", ""), {}, {}};
    if (location.directory.empty()) {
        location.directory = appDirectory + "DB";
        // The administrator's file of an installation is not the operator's to write.
        if (settings.mayChange()) settings.WriteSetting(kMainSection, "DB_path", location.directory);
    }
    location.password = settings.ReadSetting(kMainSection, "DB_pass", "fbdefault");
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
