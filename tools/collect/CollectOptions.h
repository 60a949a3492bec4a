#pragma once
// The command line of kestrix-collect.

#include <QStringList>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "events/DateTime.h"
#include "events/EventDownload.h"
#include "shell/ControllerSession.h"

namespace kestrix::collect {

constexpr int kDatabaseWaitSeconds = 120;
// Controllers collected at once: enough to hide the wait for replies on a
// site's network, few enough that the database and the helper keep up.
constexpr int kDefaultJobs = 8;
constexpr int kMaxJobs = 64;

struct CollectOptions {
    bool help = false;
    bool list = false;
    bool all = false;
    std::vector<std::string> controllers;  // 12 upper-case hex digits each
    LinkMode mode = LinkMode::Mac;
    std::string interfaceName;              // empty: the saved interface or the default rule
    std::optional<DateTimeValue> from, to;  // dates at 00:00:00
    std::string exportFile;                 // "{mac}" is replaced by the controller id
    std::string appDirectory;               // empty: the program's own directory
    std::uint16_t replyPort = kReplyListenPort;
    std::uint16_t controllerPort = kControllerPort;
    int replyTimeoutMs = static_cast<int>(kReplyTimeout.count());
    int databaseWaitSeconds = kDatabaseWaitSeconds;
    int jobs = kDefaultJobs;
    std::string sendSocket;  // MAC mode: the frame-sending helper behind this socket
};

// The help text.
std::string CollectUsage();

// The options, or the text of what is wrong with the command line. arguments
// start with the program's name.
std::variant<CollectOptions, std::string> ParseCollectOptions(const QStringList& arguments);

}  // namespace kestrix::collect
