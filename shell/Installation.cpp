#include "shell/Installation.h"

#include <stdexcept>
#include <thread>

namespace kestrix {

Installation::Installation(std::string appDirectory, std::string operatorSettingsPath,
                           ClientLibraryPlaces libraryPlaces)
    : m_appDirectory(std::move(appDirectory)),
      m_settings(m_appDirectory + kSettingsFileName, std::move(operatorSettingsPath)),
      m_libraryPlaces(std::move(libraryPlaces)) {}

std::optional<DatabaseSetupError> Installation::locateDatabase() {
    auto located = ReadDatabaseLocation(m_settings, m_appDirectory, m_libraryPlaces);
    if (const auto* error = std::get_if<DatabaseSetupError>(&located)) return *error;
    m_location = std::get<DatabaseLocation>(std::move(located));
    return std::nullopt;
}

void Installation::connect(std::chrono::seconds waitWhileHeld, const std::function<void()>& waiting) {
    const auto deadline = std::chrono::steady_clock::now() + waitWhileHeld;
    for (bool told = false;; told = true) {
        try {
            m_database = OpenInstallationDatabase(m_location);
            return;
        } catch (const DatabaseError& error) {
            if (!error.heldByAnotherEngine() || std::chrono::steady_clock::now() >= deadline) throw;
            if (!told && waiting) waiting();
        }
        std::this_thread::sleep_for(std::chrono::seconds(1));
    }
}

DatabaseConnection& Installation::database() {
    if (!m_database) throw std::runtime_error("Нет соединения с базой данных");
    return *m_database;
}

void Installation::readControllers(const std::function<void(const Controller&)>& added) {
    m_controllers.clear();
    LoadControllerTable(database(), [&](const Controller& controller) {
        m_controllers.push_back(controller);
        if (added) added(controller);
    });
}

std::string Installation::controllerIpText(int index, const std::string& id) const {
    return ControllerIpText(m_controllers, index, id).value_or("");
}

std::string Installation::controllerIpText(const std::string& id) const {
    return controllerIpText(IndexOfController(m_controllers, id), id);
}

EventStore& Installation::eventStore() {
    if (!m_eventStore) m_eventStore = std::make_unique<EventStore>(database());
    return *m_eventStore;
}

int Installation::savedInterfaceIndex(const InterfaceTable& table) const {
    const std::string saved = m_settings.read(kInterfaceSetting);
    const int byDefault = DefaultInterfaceIndex(table);
    return saved.empty() ? byDefault : SavedInterfaceIndex(table, saved, byDefault);
}

}  // namespace kestrix
