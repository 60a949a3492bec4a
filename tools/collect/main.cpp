// kestrix-collect: collects the events of door controllers into the
// installation database without an operator, e.g. every night from cron.

#include <unistd.h>

#include <QCoreApplication>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <thread>

#include "db/ControllerTable.h"
#include "link/FrameHelper.h"
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

// The database, waiting a bounded time while another program holds its file
// in a way that cannot be shared (a program whose engine does not share it).
std::unique_ptr<DatabaseConnection> OpenWaiting(const DatabaseLocation& location, std::chrono::seconds bound) {
    const auto deadline = std::chrono::steady_clock::now() + bound;
    for (bool told = false;; told = true) {
        try {
            return OpenInstallationDatabase(location);
        } catch (const DatabaseError& error) {
            if (!error.heldByAnotherEngine() || std::chrono::steady_clock::now() >= deadline) throw;
            if (!told) std::cerr << "kestrix-collect: " << location.databaseName()
                                 << " is held by a program that does not share it; waiting\n";
        }
        std::this_thread::sleep_for(std::chrono::seconds(1));
    }
}

// The interface of MAC mode: the one named, else the saved one, else the default rule.
std::variant<int, std::string> ChooseInterface(const InterfaceTable& table, const CollectOptions& options,
                                               const ProgramSettings& settings) {
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
    const ProgramSettings settings(appDirectory + kSettingsFileName, OperatorSettingsPath());
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
    std::unique_ptr<DatabaseConnection> database;
    try {
        database = OpenWaiting(location, std::chrono::seconds(options.databaseWaitSeconds));
    } catch (const DatabaseError& error) {
        return Fail("cannot reach the database " + location.databaseName() + ": " + error.what() +
                    (error.heldByAnotherEngine() ? " (another program holds the file and does not share it; "
                                                   "gave up after " + std::to_string(options.databaseWaitSeconds) + " s)"
                                                 : ""));
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
        for (const Controller& controller : controllers)
            std::cout << Printable(controller.id) << "  " << ipOf(controller.id) << "\n";
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
    const std::unique_ptr<MacFrameSender> macSender = MacSenderFor(libpcap, ExecutableDirectory() + kFrameHelperName, options.sendSocket, DeviceUse::PerRun);
    std::unique_ptr<ControllerSession> session;
    try {
        session = std::make_unique<ControllerSession>(
            options.replyPort, options.controllerPort, ResolveHostName, *macSender, pump,
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
        std::cout << Printable(id) << ": read " << result.events << " events, loaded " << result.loaded << ", duplicates "
                  << result.duplicates << ", " << seconds << " s" << (result.ok ? "" : ", FAILED: " + result.problem)
                  << std::endl;
        if (!result.ok) {
            std::cerr << "kestrix-collect: " << Printable(id) << ": " << result.problem << "\n";
            status = kSomeFailed;
        }
    }
    return status;
}
