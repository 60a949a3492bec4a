#pragma once
// The installation as each of its programs opens it: the settings, the
// client library and the database connection, the controller list, the
// interface of MAC mode and the prepared event statements.

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "db/ControllerTable.h"
#include "db/EventLoader.h"
#include "shell/DatabaseSetup.h"
#include "shell/InterfaceTable.h"
#include "shell/ProgramSettings.h"

namespace kestrix {

class Installation {
public:
    // appDirectory: where settings.ini, the client library and the default
    // database directory are looked for (ends with a separator).
    Installation(std::string appDirectory, std::string operatorSettingsPath, ClientLibraryPlaces libraryPlaces);

    const ProgramSettings& settings() const { return m_settings; }

    // Where the database is, as the settings say; the failure when the
    // settings file or the client library is missing. May throw the settings
    // file's write error.
    std::optional<DatabaseSetupError> locateDatabase();
    const DatabaseLocation& location() const { return m_location; }

    // Connects to the located database. While another program holds the file
    // without sharing it, tries again every second up to waitWhileHeld,
    // telling waiting once. Throws DatabaseError.
    void connect(std::chrono::seconds waitWhileHeld = std::chrono::seconds(0), const std::function<void()>& waiting = {});
    DatabaseConnection& database();
    bool connected() const { return m_database != nullptr; }

    // Reads fb_dvs; each controller goes to added as it is read. An error
    // escapes after the rows read before it.
    void readControllers(const std::function<void(const Controller&)>& added = {});
    const ControllerTable& controllers() const { return m_controllers; }
    // Where IP mode sends for a controller chosen from the list (index) or
    // typed (-1); empty when neither the list nor the id gives an address.
    std::string controllerIpText(int index, const std::string& id) const;
    std::string controllerIpText(const std::string& id) const;

    // The event statements, prepared at the first use.
    EventStore& eventStore();

    // The interface of MAC mode the settings name, else the default rule.
    int savedInterfaceIndex(const InterfaceTable& table) const;
    bool hasSavedInterface() const { return !m_settings.read(kInterfaceSetting).empty(); }
    void rememberInterface(const std::string& device) const { m_settings.write(kInterfaceSetting, device); }

private:
    std::string m_appDirectory;
    ProgramSettings m_settings;
    ClientLibraryPlaces m_libraryPlaces;
    DatabaseLocation m_location;
    std::unique_ptr<DatabaseConnection> m_database;
    std::unique_ptr<EventStore> m_eventStore;
    ControllerTable m_controllers;
};

}  // namespace kestrix
