#include "tools/collect/CollectOptions.h"

#include <charconv>
#include <cstdio>

#include "link/RawFrame.h"

namespace kestrix::collect {

const char* const kUsage = R"(Usage: kestrix-collect --list
       kestrix-collect (--controller MAC ... | --all) [options]

Reads the event memory of door controllers and loads the events into the
installation database, as the Kestrix window does: the same requests, time-outs
and repeat, the same validation, the same duplicate test, holder lookup and a
commit per event. It uses settings.ini and the database of the program's
directory.

  --list                 the controllers of fb_dvs with their IP addresses
  --controller MAC       a controller to collect (12 hex digits); repeat it, or
                         give several separated by commas
  --all                  every controller of fb_dvs
  --mode ip|mac          how to reach the controllers (default mac): UDP to the
                         controller's IP, or frames to its hardware address
  --interface NAME       capture device for MAC mode (default: the interface
                         saved by the window, else the first with an address)
  --from YYYY-MM-DD      first day to load (default: the first event's day)
  --to YYYY-MM-DD        last day to load, whole (default: the last event's day)
  --export FILE          also write the events to FILE (one record a line, CR LF);
                         with several controllers FILE must contain {mac}
  --app-dir DIR          directory of settings.ini (default: the program's)
  --reply-port N         UDP port for the replies (default 7714)
  --controller-port N    UDP port of the controllers (default 7715)
  --reply-timeout-ms N   wait for each reply (default 5000; for simulators)
  --send-socket PATH     MAC mode: reach the frame-sending helper through this
                         socket (the system service's) instead of starting it
  --db-wait-seconds N    how long to wait while another program holds the
                         database file without sharing it (default 120)
  --help                 this text

A progress line is shown while standard output is a terminal; each controller
ends with a summary line. Windows and other runs may use the same database at
the same time: each event is stored once.

Exit status: 0 every controller was read and loaded; 1 a controller did not
answer or failed to load (the others still run); 2 bad arguments or
configuration.
)";

namespace {

std::optional<long> Number(const std::string& text, long low, long high) {
    long value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < low || value > high) return std::nullopt;
    return value;
}

std::optional<DateTimeValue> Date(const std::string& text) {
    int year = 0, month = 0, day = 0;
    char tail = 0;
    if (text.size() != 10 || std::sscanf(text.c_str(), "%4d-%2d-%2d%c", &year, &month, &day, &tail) != 3 ||
        !IsValidDate(year, month, day))
        return std::nullopt;
    return static_cast<DateTimeValue>(DaysSinceEpoch(year, month, day));
}

}  // namespace

std::variant<CollectOptions, std::string> ParseCollectOptions(const std::vector<std::string>& arguments) {
    CollectOptions options;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& option = arguments[i];
        if (option == "--help") { options.help = true; continue; }
        if (option == "--list") { options.list = true; continue; }
        if (option == "--all") { options.all = true; continue; }
        if (i + 1 >= arguments.size() || arguments[i + 1].rfind("--", 0) == 0) return "missing value for " + option;
        const std::string& value = arguments[++i];
        if (option == "--controller") {
            std::size_t start = 0;
            while (start <= value.size()) {
                const std::size_t comma = value.find(',', start);
                std::string mac = value.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
                for (char& c : mac) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
                if (!IsMacText(mac)) return "not a controller MAC (12 hex digits): " + mac;
                options.controllers.push_back(mac);
                if (comma == std::string::npos) break;
                start = comma + 1;
            }
        } else if (option == "--mode") {
            if (value == "ip") options.mode = LinkMode::Ip;
            else if (value == "mac") options.mode = LinkMode::Mac;
            else return "--mode takes ip or mac, not " + value;
        } else if (option == "--interface") {
            options.interfaceName = value;
        } else if (option == "--from" || option == "--to") {
            const auto date = Date(value);
            if (!date) return option + " wants a date YYYY-MM-DD, not " + value;
            (option == "--from" ? options.from : options.to) = date;
        } else if (option == "--export") {
            options.exportFile = value;
        } else if (option == "--app-dir") {
            options.appDirectory = value.empty() || value.back() == '/' ? value : value + "/";
        } else if (option == "--reply-port" || option == "--controller-port") {
            const auto port = Number(value, 1, 65535);
            if (!port) return option + " wants a port from 1 to 65535, not " + value;
            (option == "--reply-port" ? options.replyPort : options.controllerPort) = static_cast<std::uint16_t>(*port);
        } else if (option == "--send-socket") {
            options.sendSocket = value;
        } else if (option == "--db-wait-seconds") {
            const auto seconds = Number(value, 0, 86400);
            if (!seconds) return "--db-wait-seconds wants seconds from 0 to 86400, not " + value;
            options.databaseWaitSeconds = static_cast<int>(*seconds);
        } else if (option == "--reply-timeout-ms") {
            const auto ms = Number(value, 1, 600000);
            if (!ms) return "--reply-timeout-ms wants milliseconds from 1 to 600000, not " + value;
            options.replyTimeoutMs = static_cast<int>(*ms);
        } else {
            return "unknown option " + option;
        }
    }
    if (options.help || options.list) return options;
    if (options.all == !options.controllers.empty())
        return options.all ? "give either --all or --controller, not both" : "choose controllers with --controller or --all";
    if (options.from && options.to && *options.from > *options.to) return "--from is later than --to";
    return options;
}

}  // namespace kestrix::collect
