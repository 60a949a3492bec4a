// kestrix-collect: collects the events of door controllers into the
// installation database without an operator, e.g. every night from cron.

#include <unistd.h>

#include <QCoreApplication>
#include <cstdio>
#include <iostream>

#include "link/FrameHelper.h"
#include "shell/ExecutableDirectory.h"
#include "tools/collect/Collector.h"

using namespace kestrix;
using namespace kestrix::collect;

namespace {

constexpr int kAllDone = 0, kSomeFailed = 1, kBadSetup = 2;

int Fail(const std::string& message) {
    std::cerr << "kestrix-collect: " << message << "\n";
    return kBadSetup;
}

// The installation's database, connected, with its controllers read; the
// reason otherwise.
std::optional<std::string> OpenDatabase(Installation& installation, const CollectOptions& options) {
    try {
        if (const auto missing = installation.locateDatabase())
            return *missing == DatabaseSetupError::SettingsMissing ? "no settings file " + installation.settings().path()
                                                                   : std::string("no Firebird client library found");
    } catch (const std::exception& error) {
        return error.what();
    }
    const std::string name = installation.location().databaseName();
    try {
        installation.connect(std::chrono::seconds(options.databaseWaitSeconds), [&] {
            std::cerr << "kestrix-collect: " << name << " is held by a program that does not share it; waiting\n";
        });
    } catch (const DatabaseError& error) {
        return "cannot reach the database " + name + ": " + error.what() +
               (error.heldByAnotherEngine() ? " (another program holds the file and does not share it; gave up after " +
                                                  std::to_string(options.databaseWaitSeconds) + " s)"
                                            : "");
    }
    try {
        installation.readControllers();
    } catch (const std::exception& error) {
        return std::string("cannot read the controllers: ") + error.what();
    }
    return std::nullopt;
}

// The interface of MAC mode: the one named, else the saved one, else the default rule.
std::variant<RunLink, std::string> MacLink(const Installation& installation, const CollectOptions& options) {
    LibpcapCapture libpcap;
    const auto devices = libpcap.findAllDevices();
    if (!devices) return "the network interfaces cannot be listed: " + devices.failure().reason;
    const InterfaceTable table = BuildInterfaceTable(*devices, FriendlyAdapterDescription);
    int index;
    if (!options.interfaceName.empty()) {
        index = SavedInterfaceIndex(table, options.interfaceName, -1);
        if (index < 0) return "no capture device " + options.interfaceName + " with an IPv4 address";
    } else {
        index = installation.savedInterfaceIndex(table);
        if (index < 0) return std::string("no network interface with an IPv4 address for MAC mode");
    }
    return RunLink{LinkMode::Mac, table.deviceName(index), table.addressText(index)};
}

void PrintSummary(const ControllerResult& result) {
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.1f", result.seconds);
    std::cout << Printable(result.id) << ": read " << result.events << " events, loaded " << result.loaded
              << ", duplicates " << result.duplicates << ", " << seconds << " s"
              << (result.ok ? "" : ", FAILED: " + result.problem) << std::endl;
    if (!result.ok) std::cerr << "kestrix-collect: " << Printable(result.id) << ": " << result.problem << "\n";
}

}  // namespace

int main(int argc, char* argv[]) {
    QCoreApplication application(argc, argv);
    const auto parsed = ParseCollectOptions(QCoreApplication::arguments());
    if (const auto* error = std::get_if<std::string>(&parsed)) {
        std::cerr << "kestrix-collect: " << *error << "\nTry kestrix-collect --help.\n";
        return kBadSetup;
    }
    const CollectOptions& options = std::get<CollectOptions>(parsed);
    if (options.help) {
        std::cout << CollectUsage();
        return kAllDone;
    }

    const std::string appDirectory = options.appDirectory.empty() ? ExecutableDirectory() : options.appDirectory;
    Installation installation(appDirectory, OperatorSettingsPath(), DefaultClientLibraryPlaces(appDirectory));
    if (const auto problem = OpenDatabase(installation, options)) return Fail(*problem);
    const auto ipOf = [&](const std::string& id) { return installation.controllerIpText(id); };
    if (options.list) {
        for (const Controller& controller : installation.controllers())
            std::cout << Printable(controller.id) << "  " << ipOf(controller.id) << "\n";
        return kAllDone;
    }
    std::vector<std::string> chosen = options.controllers;
    if (options.all) {
        chosen.clear();
        for (const Controller& controller : installation.controllers()) chosen.push_back(controller.id);
    }
    if (chosen.size() > 1 && !options.exportFile.empty() && options.exportFile.find("{mac}") == std::string::npos)
        return Fail("--export needs {mac} in the file name when several controllers are collected");

    RunLink link{LinkMode::Ip, {}, {}};
    if (options.mode == LinkMode::Mac) {
        auto macLink = MacLink(installation, options);
        if (const auto* error = std::get_if<std::string>(&macLink)) return Fail(*error);
        link = std::get<RunLink>(macLink);
    }
    try {
        installation.eventStore();
    } catch (const std::exception& error) {
        return Fail(std::string("cannot prepare the event statements: ") + error.what());
    }
    std::unique_ptr<ReplyRouter> replies;
    try {
        replies = std::make_unique<ReplyRouter>(options.replyPort, ReplyRouter::Runs::Several);
    } catch (const std::exception& error) {
        return Fail("cannot listen for replies on UDP port " + std::to_string(options.replyPort) + ": " + error.what());
    }

    // Each job reaches the helper on its own: the device stays open for its run.
    LibpcapCapture libpcap;
    Collector collector(options, link, installation, *replies, [&] {
        return MacSenderFor(libpcap, ExecutableDirectory() + kFrameHelperName, options.sendSocket, DeviceUse::PerRun);
    });
    int status = kAllDone;
    const bool onTerminal = ::isatty(STDOUT_FILENO) == 1;
    collector.collect(
        chosen,
        [&](const ControllerResult& result) {
            if (onTerminal) std::cout << "\r\033[K";
            PrintSummary(result);
            if (!result.ok) status = kSomeFailed;
        },
        onTerminal ? std::function<void(const std::string&)>(
                         [](const std::string& line) { std::cout << "\r\033[K" << line << std::flush; })
                   : nullptr);
    return status;
}
