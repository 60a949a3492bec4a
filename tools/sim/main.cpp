// kestrix-sim: a door controller on UDP for integrators and tests.

#include <csignal>
#include <ctime>
#include <fstream>
#include <iostream>
#include <string>
#include <thread>

#include "tools/sim/SimulatorServer.h"

using namespace kestrix::sim;

namespace {

volatile std::sig_atomic_t g_stop = 0;

const char* kUsage = R"(Usage: kestrix-sim [options]
Plays a door controller: answers page reads ("DA00" + page) with the page's
512 bytes of event memory and logs the test signal ("CC00").

  --bind ADDR           listen address (default 127.0.0.1)
  --port N              listen port (default 7715; 0 picks a free one)
  --reply-port N        port the replies go to on the sender (default 7714)
  --events FILE         memory from an event text file (32 hex digits a line)
  --seed N              seed of the generated memory (default 1)
  --event-count N       generated events (default 3000)
  --days N              days the generated events span (default 7)
  --last-day YYYY-MM-DD day of the newest generated events (default today)
  --dump-events FILE    write the event records in memory to FILE and go on
  --dump-cards FILE     write the generated card codes (6 hex digits) to FILE
  --dump-only           end after writing the dumps instead of listening
  --latency MS          delay before each reply
  --drop-every N        leave every n-th page read unanswered
  --drop-share F        leave a share F (0..1) of page reads unanswered
  --stop-after-page K   answer nothing once a page above index K is asked for
  --short-reply BYTES   cut each reply after BYTES data bytes (0: header only)
  --log FILE            append every received request body to FILE
  --help                this text
)";

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
    std::string bindAddress = "127.0.0.1", eventsFile, dumpEvents, dumpCards, logFile;
    int port = 7715, replyPort = 7714;
    bool dumpOnly = false;
    GenerateOptions generate;
    FaultOptions faults;
    {
        const std::time_t now = std::time(nullptr);
        const std::tm* local = std::localtime(&now);
        generate.lastYear = local->tm_year + 1900;
        generate.lastMonth = local->tm_mon + 1;
        generate.lastDay = local->tm_mday;
    }
    try {
        for (int i = 1; i < argc; ++i) {
            const std::string option = argv[i];
            if (option == "--help") {
                std::cout << kUsage;
                return 0;
            }
            if (option == "--dump-only") {
                dumpOnly = true;
                continue;
            }
            if (i + 1 >= argc) throw std::invalid_argument("missing value for " + option);
            const std::string value = argv[++i];
            if (option == "--bind") bindAddress = value;
            else if (option == "--port") port = std::stoi(value);
            else if (option == "--reply-port") replyPort = std::stoi(value);
            else if (option == "--events") eventsFile = value;
            else if (option == "--seed") generate.seed = static_cast<std::uint32_t>(std::stoul(value)), faults.seed = generate.seed;
            else if (option == "--event-count") generate.eventCount = std::stoi(value);
            else if (option == "--days") generate.days = std::stoi(value);
            else if (option == "--last-day") {
                if (std::sscanf(value.c_str(), "%d-%d-%d", &generate.lastYear, &generate.lastMonth, &generate.lastDay) != 3)
                    throw std::invalid_argument("--last-day wants YYYY-MM-DD");
            } else if (option == "--dump-events") dumpEvents = value;
            else if (option == "--dump-cards") dumpCards = value;
            else if (option == "--latency") faults.latencyMs = std::stoi(value);
            else if (option == "--drop-every") faults.dropEvery = std::stoi(value);
            else if (option == "--drop-share") faults.dropShare = std::stod(value);
            else if (option == "--stop-after-page") faults.stopAfterPage = std::stoi(value);
            else if (option == "--short-reply") faults.shortReplyBytes = std::stoi(value);
            else if (option == "--log") logFile = value;
            else throw std::invalid_argument("unknown option " + option);
        }
        if (port < 0 || port > 65535 || replyPort < 1 || replyPort > 65535)
            throw std::invalid_argument("port out of range");

        ControllerMemory memory = eventsFile.empty() ? ControllerMemory::Generate(generate)
                                                     : ControllerMemory::FromRecordLines(ReadLines(eventsFile));
        if (!dumpEvents.empty()) WriteLines(dumpEvents, memory.writtenEvents());
        if (!dumpCards.empty()) WriteLines(dumpCards, GeneratedCardCodes(generate.seed, generate.cardCount));
        if (dumpOnly) return 0;

        SimulatorCore core(std::move(memory), faults);
        SimulatorServer server(core, bindAddress, static_cast<std::uint16_t>(port),
                               static_cast<std::uint16_t>(replyPort));
        std::signal(SIGINT, [](int) { g_stop = 1; });
        std::signal(SIGTERM, [](int) { g_stop = 1; });
        std::cout << "kestrix-sim: listening on " << bindAddress << ":" << server.port() << ", replies to port "
                  << replyPort << ", " << core.memory().writtenEvents().size() << " events in memory" << std::endl;

        std::ofstream log;
        if (!logFile.empty()) log.open(logFile, std::ios::app);
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
