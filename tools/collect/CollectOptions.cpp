#include "tools/collect/CollectOptions.h"

#include <QCommandLineParser>
#include <algorithm>
#include <cstdio>
#include <functional>

#include "link/RawFrame.h"

namespace kestrix::collect {

namespace {

const char* const kDescription = R"(Reads the event memory of door controllers and loads the events into the
installation database, as the Kestrix window does: the same requests, time-outs
and repeat, the same validation, the same duplicate test, holder lookup and a
commit per event. It uses settings.ini and the database of the program's
directory.)";

const char* const kEpilogue = R"(
A progress line is shown while standard output is a terminal; each controller
ends with a summary line. Windows and other runs may use the same database at
the same time: each event is stored once. Several controllers are collected at
once (--jobs); each one's replies are told apart by the address they come from.

Exit status: 0 every controller was read and loaded; 1 a controller did not
answer or failed to load (the others still run); 2 bad arguments or
configuration.
)";

struct Option {
    const char* name;
    const char* valueName;  // null for a switch
    std::string description;
};

std::vector<Option> Options() {
    const auto number = [](auto value) { return std::to_string(value); };
    return {
        {"list", nullptr, "the controllers of fb_dvs with their IP addresses"},
        {"controller", "MAC", "a controller to collect (12 hex digits); repeat it, or give several separated by commas"},
        {"all", nullptr, "every controller of fb_dvs"},
        {"mode", "ip|mac", "how to reach the controllers (default mac): UDP to the controller's IP, or frames to its "
                           "hardware address"},
        {"interface", "NAME", "capture device for MAC mode (default: the interface saved by the window, else the first "
                              "with an address)"},
        {"from", "YYYY-MM-DD", "first day to load (default: the first event's day)"},
        {"to", "YYYY-MM-DD", "last day to load, whole (default: the last event's day)"},
        {"export", "FILE", "also write the events to FILE (one record a line, CR LF); with several controllers FILE "
                           "must contain {mac}"},
        {"app-dir", "DIR", "directory of settings.ini (default: the program's)"},
        {"jobs", "N", "controllers collected at once (default " + number(kDefaultJobs) + ", at most " +
                          number(kMaxJobs) + ")"},
        {"reply-port", "N", "UDP port for the replies (default " + number(kReplyListenPort) + ")"},
        {"controller-port", "N", "UDP port of the controllers (default " + number(kControllerPort) + ")"},
        {"reply-timeout-ms", "N", "wait for each reply (default " + number(kReplyTimeout.count()) + "; for simulators)"},
        {"send-socket", "PATH", "MAC mode: reach the frame-sending helper through this socket (the system service's) "
                                "instead of starting it"},
        {"db-wait-seconds", "N", "how long to wait while another program holds the database file without sharing it "
                                 "(default " + number(kDatabaseWaitSeconds) + ")"},
    };
}

void Describe(QCommandLineParser& parser) {
    parser.setApplicationDescription(QString::fromUtf8(kDescription));
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    for (const Option& option : Options()) {
        QCommandLineOption described(QString::fromLatin1(option.name), QString::fromStdString(option.description));
        if (option.valueName) described.setValueName(QString::fromLatin1(option.valueName));
        parser.addOption(described);
    }
    parser.addOption(QCommandLineOption(QStringLiteral("help"), QStringLiteral("this text")));
}

std::optional<long> Number(const QString& text, long low, long high) {
    bool ok = false;
    const long value = text.toLong(&ok);
    if (!ok || value < low || value > high) return std::nullopt;
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

// The parser's own complaint in the words of the rest of this program.
std::string ParserError(const QCommandLineParser& parser) {
    if (!parser.unknownOptionNames().isEmpty()) return "unknown option --" + parser.unknownOptionNames().front().toStdString();
    return parser.errorText().toStdString();
}

}  // namespace

std::string CollectUsage() {
    QCommandLineParser parser;
    Describe(parser);
    return "Usage: kestrix-collect --list\n       kestrix-collect (--controller MAC ... | --all) [options]\n\n" +
           parser.helpText().section(QLatin1Char('\n'), 2).toStdString() + kEpilogue;
}

std::variant<CollectOptions, std::string> ParseCollectOptions(const QStringList& arguments) {
    QCommandLineParser parser;
    Describe(parser);
    // A value never starts with "--": an option followed by another lacks its value.
    const std::vector<Option> described = Options();
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString name = arguments[i].mid(2);
        const auto takesValue = [&](const Option& option) { return option.valueName && name == QLatin1String(option.name); };
        if (arguments[i].startsWith(QLatin1String("--")) && std::any_of(described.begin(), described.end(), takesValue) &&
            (i + 1 == arguments.size() || arguments[i + 1].startsWith(QLatin1String("--"))))
            return "missing value for " + arguments[i].toStdString();
    }
    if (!parser.parse(arguments)) return ParserError(parser);
    if (!parser.positionalArguments().isEmpty())
        return "unknown option " + parser.positionalArguments().front().toStdString();
    const auto value = [&](const char* name) { return parser.value(QString::fromLatin1(name)); };
    const auto given = [&](const char* name) { return parser.isSet(QString::fromLatin1(name)); };

    CollectOptions options;
    options.help = given("help");
    options.list = given("list");
    options.all = given("all");
    for (const QString& list : parser.values(QStringLiteral("controller"))) {
        for (const QString& part : list.split(QLatin1Char(','))) {
            const std::string mac = part.toUpper().toStdString();
            if (!IsMacText(mac)) return "not a controller MAC (12 hex digits): " + mac;
            options.controllers.push_back(mac);
        }
    }
    if (given("mode")) {
        if (value("mode") == QLatin1String("ip")) options.mode = LinkMode::Ip;
        else if (value("mode") == QLatin1String("mac")) options.mode = LinkMode::Mac;
        else return "--mode takes ip or mac, not " + value("mode").toStdString();
    }
    options.interfaceName = value("interface").toStdString();
    for (const char* bound : {"from", "to"}) {
        if (!given(bound)) continue;
        const auto date = Date(value(bound).toStdString());
        if (!date) return std::string("--") + bound + " wants a date YYYY-MM-DD, not " + value(bound).toStdString();
        (std::string(bound) == "from" ? options.from : options.to) = date;
    }
    options.exportFile = value("export").toStdString();
    if (given("app-dir")) {
        options.appDirectory = value("app-dir").toStdString();
        if (!options.appDirectory.empty() && options.appDirectory.back() != '/') options.appDirectory += '/';
    }
    const struct {
        const char* name;
        long low, high;
        std::string wanted;
        std::function<void(long)> store;
    } numbers[] = {
        {"reply-port", 1, 65535, "a port from 1 to 65535", [&](long v) { options.replyPort = static_cast<std::uint16_t>(v); }},
        {"controller-port", 1, 65535, "a port from 1 to 65535",
         [&](long v) { options.controllerPort = static_cast<std::uint16_t>(v); }},
        {"db-wait-seconds", 0, 86400, "seconds from 0 to 86400", [&](long v) { options.databaseWaitSeconds = static_cast<int>(v); }},
        {"reply-timeout-ms", 1, 600000, "milliseconds from 1 to 600000", [&](long v) { options.replyTimeoutMs = static_cast<int>(v); }},
        {"jobs", 1, kMaxJobs, "a number from 1 to " + std::to_string(kMaxJobs), [&](long v) { options.jobs = static_cast<int>(v); }},
    };
    for (const auto& number : numbers) {
        if (!given(number.name)) continue;
        const auto parsed = Number(value(number.name), number.low, number.high);
        if (!parsed) return std::string("--") + number.name + " wants " + number.wanted + ", not " + value(number.name).toStdString();
        number.store(*parsed);
    }
    options.sendSocket = value("send-socket").toStdString();

    if (options.help || options.list) return options;
    if (options.all == !options.controllers.empty())
        return options.all ? "give either --all or --controller, not both" : "choose controllers with --controller or --all";
    if (options.from && options.to && *options.from > *options.to) return "--from is later than --to";
    return options;
}

}  // namespace kestrix::collect
