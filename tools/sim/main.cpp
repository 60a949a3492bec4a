// kestrix-sim: a door controller on UDP for integrators and tests.

#include <QCommandLineParser>
#include <QCoreApplication>
#include <csignal>
#include <cstdio>
#include <functional>
#include <ctime>
#include <fstream>
#include <iostream>
#include <string>
#include <thread>

#include "link/ControllerMessage.h"
#include "tools/sim/SimulatorServer.h"

using namespace kestrix::sim;

namespace {

volatile std::sig_atomic_t g_stop = 0;

int Integer(const QString& text) {
    bool ok = false;
    const int value = text.toInt(&ok);
    if (!ok) throw std::invalid_argument("not a whole number: " + text.toStdString());
    return value;
}

struct SimOptions {
    std::string bindAddress = "127.0.0.1", eventsFile, dumpEvents, dumpCards, logFile;
    int port = kestrix::kControllerPort, replyPort = kestrix::kReplyListenPort;
    bool dumpOnly = false;
    GenerateOptions generate;
    FaultOptions faults;
};

// The options, or std::invalid_argument with what is wrong.
SimOptions ParseOptions(const QStringList& arguments) {
    SimOptions options;
    {
        const std::time_t now = std::time(nullptr);
        const std::tm* local = std::localtime(&now);
        options.generate.lastYear = local->tm_year + 1900;
        options.generate.lastMonth = local->tm_mon + 1;
        options.generate.lastDay = local->tm_mday;
    }
    const GenerateOptions& generated = options.generate;
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Plays a door controller: answers page reads (\"DA00\" + page) with the page's\n"
        "512 bytes of event memory and logs the test signal (\"CC00\")."));
    parser.addHelpOption();
    const auto number = [](auto value) { return QString::number(value); };
    const struct {
        const char* name;
        const char* valueName;
        QString description;
        std::function<void(const QString&)> store;
    } described[] = {
        {"bind", "ADDR", "listen address (default " + QString::fromStdString(options.bindAddress) + ")",
         [&](const QString& v) { options.bindAddress = v.toStdString(); }},
        {"port", "N", "listen port (default " + number(options.port) + "; 0 picks a free one)",
         [&](const QString& v) { options.port = Integer(v); }},
        {"reply-port", "N", "port the replies go to on the sender (default " + number(options.replyPort) + ")",
         [&](const QString& v) { options.replyPort = Integer(v); }},
        {"events", "FILE", "memory from an event text file (32 hex digits a line)",
         [&](const QString& v) { options.eventsFile = v.toStdString(); }},
        {"seed", "N", "seed of the generated memory (default " + number(generated.seed) + ")",
         [&](const QString& v) { options.generate.seed = options.faults.seed = static_cast<std::uint32_t>(Integer(v)); }},
        {"event-count", "N", "generated events (default " + number(generated.eventCount) + ")",
         [&](const QString& v) { options.generate.eventCount = Integer(v); }},
        {"days", "N", "days the generated events span (default " + number(generated.days) + ")",
         [&](const QString& v) { options.generate.days = Integer(v); }},
        {"last-day", "YYYY-MM-DD", "day of the newest generated events (default today)",
         [&](const QString& v) {
             if (std::sscanf(v.toLatin1().constData(), "%d-%d-%d", &options.generate.lastYear,
                             &options.generate.lastMonth, &options.generate.lastDay) != 3)
                 throw std::invalid_argument("--last-day wants YYYY-MM-DD");
         }},
        {"dump-events", "FILE", "write the event records in memory to FILE and go on",
         [&](const QString& v) { options.dumpEvents = v.toStdString(); }},
        {"dump-cards", "FILE", "write the generated card codes (6 hex digits) to FILE",
         [&](const QString& v) { options.dumpCards = v.toStdString(); }},
        {"dump-only", nullptr, "end after writing the dumps instead of listening",
         [&](const QString&) { options.dumpOnly = true; }},
        {"latency", "MS", "delay before each reply", [&](const QString& v) { options.faults.latencyMs = Integer(v); }},
        {"drop-every", "N", "leave every n-th page read unanswered",
         [&](const QString& v) { options.faults.dropEvery = Integer(v); }},
        {"drop-share", "F", "leave a share F (0..1) of page reads unanswered",
         [&](const QString& v) { options.faults.dropShare = std::stod(v.toStdString()); }},
        {"stop-after-page", "K", "answer nothing once a page above index K is asked for",
         [&](const QString& v) { options.faults.stopAfterPage = Integer(v); }},
        {"short-reply", "BYTES", "cut each reply after BYTES data bytes (0: header only)",
         [&](const QString& v) { options.faults.shortReplyBytes = Integer(v); }},
        {"log", "FILE", "append every received request body to FILE",
         [&](const QString& v) { options.logFile = v.toStdString(); }},
    };
    for (const auto& option : described) {
        QCommandLineOption added(QString::fromLatin1(option.name), option.description);
        if (option.valueName) added.setValueName(QString::fromLatin1(option.valueName));
        parser.addOption(added);
    }
    if (!parser.parse(arguments)) throw std::invalid_argument(parser.errorText().toStdString());
    if (parser.isSet(QStringLiteral("help"))) {
        std::cout << parser.helpText().toStdString();
        std::exit(0);
    }
    for (const auto& option : described)
        if (parser.isSet(QString::fromLatin1(option.name))) option.store(parser.value(QString::fromLatin1(option.name)));
    if (options.port < 0 || options.port > 65535 || options.replyPort < 1 || options.replyPort > 65535)
        throw std::invalid_argument("port out of range");
    return options;
}

std::vector<std::string> ReadLines(const std::string& path) {
    std::ifstream in(path);
    if (!in) throw std::runtime_error("cannot read " + path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

void WriteLines(const std::string& path, const std::vector<std::string>& lines) {
    std::ofstream out(path, std::ios::binary);
    for (const auto& line : lines) out << line << "\r\n";
    if (!out) throw std::runtime_error("cannot write " + path);
}

}  // namespace

int main(int argc, char* argv[]) {
    QCoreApplication application(argc, argv);
    try {
        const SimOptions options = ParseOptions(QCoreApplication::arguments());
        ControllerMemory memory = options.eventsFile.empty()
                                      ? ControllerMemory::Generate(options.generate)
                                      : ControllerMemory::FromRecordLines(ReadLines(options.eventsFile));
        if (!options.dumpEvents.empty()) WriteLines(options.dumpEvents, memory.writtenEvents());
        if (!options.dumpCards.empty())
            WriteLines(options.dumpCards, GeneratedCardCodes(options.generate.seed, options.generate.cardCount));
        if (options.dumpOnly) return 0;

        SimulatorCore core(std::move(memory), options.faults);
        SimulatorServer server(core, options.bindAddress, static_cast<std::uint16_t>(options.port),
                               static_cast<std::uint16_t>(options.replyPort));
        std::signal(SIGINT, [](int) { g_stop = 1; });
        std::signal(SIGTERM, [](int) { g_stop = 1; });
        std::cout << "kestrix-sim: listening on " << options.bindAddress << ":" << server.port() << ", replies to port "
                  << options.replyPort << ", " << core.memory().writtenEvents().size() << " events in memory" << std::endl;

        std::ofstream log;
        if (!options.logFile.empty()) log.open(options.logFile, std::ios::app);
        std::size_t reported = 0;
        const auto reportReceived = [&] {
            const auto received = core.received();
            for (; reported < received.size(); ++reported) {
                const auto& request = received[reported];
                if (request.kind == RequestKind::TestSignal) std::cout << "test signal received" << std::endl;
                if (log) log << request.body << "\n" << std::flush;
            }
        };
        while (!g_stop) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            reportReceived();
        }
        reportReceived();  // what came in since the last look is logged too
        return 0;
    } catch (const std::exception& error) {
        std::cerr << "kestrix-sim: " << error.what() << "\n";
        return 2;
    }
}
