// kestrix-collect: collects the events of door controllers into the
// installation database without an operator, e.g. every night from cron.

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <QCoreApplication>
#include <cstdio>
#include <filesystem>
#include <iostream>

#include "db/ControllerTable.h"
#include "shell/DatabaseSetup.h"
#include "shell/ExecutableDirectory.h"
#include "shell/InterfaceTable.h"
#include "tools/collect/Collector.h"

using namespace kestrix;
using namespace kestrix::collect;

namespace {

constexpr int kAllDone = 0, kSomeFailed = 1, kBadSetup = 2;

int Fail(const std::string& message) {
    std::cerr << "kestrix-collect: " << message << "\n";
    return kBadSetup;
}

// One lock file per database name: a second run on the same database waits.
class DatabaseLock {
public:
    explicit DatabaseLock(const std::string& databaseName) {
        std::uint64_t hash = 1469598103934665603ULL;  // FNV-1a
        for (unsigned char c : databaseName) hash = (hash ^ c) * 1099511628211ULL;
        char name[64];
        std::snprintf(name, sizeof name, "kestrix-collect-%016llx.lock", static_cast<unsigned long long>(hash));
        m_path = (std::filesystem::temp_directory_path() / name).string();
        m_fd = ::open(m_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
        if (m_fd < 0) return;
        if (::flock(m_fd, LOCK_EX | LOCK_NB) != 0) {
            std::cerr << "kestrix-collect: another run is collecting into " << databaseName << "; waiting for it\n";
            ::flock(m_fd, LOCK_EX);
        }
    }
    ~DatabaseLock() {
        if (m_fd >= 0) ::close(m_fd);  // releases the lock
    }
    bool held() const { return m_fd >= 0; }
    const std::string& path() const { return m_path; }

private:
    std::string m_path;
    int m_fd = -1;
};

// The interface of MAC mode: the one named, else the saved one, else the default rule.
std::variant<int, std::string> ChooseInterface(const InterfaceTable& table, const CollectOptions& options,
                                               const SettingsFile& settings) {
    if (!options.interfaceName.empty()) {
        const int index = SavedInterfaceIndex(table, options.interfaceName, -1);
        if (index < 0) return "no capture device " + options.interfaceName + " with an IPv4 address";
        return index;
    }
    const int index = SavedInterfaceIndex(table, settings.ReadSetting(kMainSection, "interface", ""),
                                          DefaultInterfaceIndex(table));
    if (index < 0) return std::string("no network interface with an IPv4 address for MAC mode");
    return index;
}

}  // namespace

int main(int argc, char* argv[]) {
    const auto parsed = ParseCollectOptions(std::vector<std::string>(argv + 1, argv + argc));
    if (const auto* error = std::get_if<std::string>(&parsed)) {
        std::cerr << "kestrix-collect: " << *error << "\nTry kestrix-collect --help.\n";
        return kBadSetup;
    }
    const CollectOptions& options = std::get<CollectOptions>(parsed);
    if (options.help) {
        std::cout << kUsage;
        return kAllDone;
    }
    QCoreApplication application(argc, argv);

    const std::string appDirectory = options.appDirectory.empty() ? ExecutableDirectory() : options.appDirectory;
    const SettingsFile settings(appDirectory + kSettingsFileName);
    DatabaseLocation location;
    try {
        const auto setup = ReadDatabaseLocation(settings, appDirectory, DefaultClientLibraryPlaces(appDirectory));
        if (const auto* error = std::get_if<DatabaseSetupError>(&setup))
            return Fail(*error == DatabaseSetupError::SettingsMissing ? "no settings file " + settings.path()
                                                                      : std::string("no Firebird client library found"));
        location = std::get<DatabaseLocation>(setup);
    } catch (const std::exception& error) {
        return Fail(error.what());
    }
    // Before the connection: the embedded engine lets one process at a time
    // open the file, so a second run must wait here rather than fail.
    const DatabaseLock lock(location.databaseName());
    if (!lock.held()) return Fail("cannot create the lock file " + lock.path());
    std::unique_ptr<DatabaseConnection> database;
    try {
        database = DatabaseConnection::Connect(location.clientLibrary, location.databaseName(), kDatabaseUser,
                                               location.password);
    } catch (const std::exception& error) {
        return Fail("cannot reach the database " + location.databaseName() + ": " + error.what());
    }

    ControllerTable controllers;
    try {
        LoadControllerTable(*database, [&](const Controller& controller) { controllers.push_back(controller); });
    } catch (const std::exception& error) {
        return Fail(std::string("cannot read the controllers: ") + error.what());
    }
    const auto ipOf = [&](const std::string& id) {
        return ControllerIpText(controllers, IndexOfController(controllers, id), id).value_or("");
    };
    if (options.list) {
        for (const Controller& controller : controllers) std::cout << controller.id << "  " << ipOf(controller.id) << "\n";
        return kAllDone;
    }
    std::vector<std::string> chosen = options.controllers;
    if (options.all) {
        chosen.clear();
        for (const Controller& controller : controllers) chosen.push_back(controller.id);
    }
    if (chosen.size() > 1 && !options.exportFile.empty() && options.exportFile.find("{mac}") == std::string::npos)
        return Fail("--export needs {mac} in the file name when several controllers are collected");

    LibpcapCapture libpcap;
    InterfaceTable interfaces;
    int interfaceIndex = -1;
    if (options.mode == LinkMode::Mac) {
        std::string reason;
        const auto devices = libpcap.findAllDevices(&reason);
        if (!devices) return Fail("the network interfaces cannot be listed: " + reason);
        interfaces = BuildInterfaceTable(*devices, FriendlyAdapterDescription);
        const auto choice = ChooseInterface(interfaces, options, settings);
        if (const auto* error = std::get_if<std::string>(&choice)) return Fail(*error);
        interfaceIndex = std::get<int>(choice);
    }

    QtEventPump pump;
    std::unique_ptr<EventStore> store;
    try {
        store = std::make_unique<EventStore>(*database);
    } catch (const std::exception& error) {
        return Fail(std::string("cannot prepare the event statements: ") + error.what());
    }
    Collector* collecting = nullptr;  // the session asks the collector for the route of each request
    std::unique_ptr<ControllerSession> session;
    try {
        session = std::make_unique<ControllerSession>(
            options.replyPort, options.controllerPort, ResolveHostName, libpcap, pump,
            [&] { return collecting->route(); },
            [&](MacSendResult result, const std::string& reason) { collecting->macSendFailed(result, reason); });
    } catch (const std::exception& error) {
        return Fail("cannot listen for replies on UDP port " + std::to_string(options.replyPort) + ": " + error.what());
    }
    session->setReplyTimeout(std::chrono::milliseconds(options.replyTimeoutMs));
    Collector collector(options, {options.mode, interfaces.deviceName(interfaceIndex), interfaces.addressText(interfaceIndex)},
                        *session, *store, std::cout, ::isatty(STDOUT_FILENO) == 1);
    collecting = &collector;
    int status = kAllDone;
    for (const std::string& id : chosen) {
        const ControllerResult result = collector.collect(id, ipOf(id));
        char seconds[32];
        std::snprintf(seconds, sizeof seconds, "%.1f", result.seconds);
        std::cout << id << ": read " << result.events << " events, loaded " << result.loaded << ", duplicates "
                  << result.duplicates << ", " << seconds << " s" << (result.ok ? "" : ", FAILED: " + result.problem)
                  << std::endl;
        if (!result.ok) {
            std::cerr << "kestrix-collect: " << id << ": " << result.problem << "\n";
            status = kSomeFailed;
        }
    }
    return status;
}
