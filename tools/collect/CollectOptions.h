#pragma once
// The command line of kestrix-collect.

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "events/DateTime.h"
#include "shell/ControllerSession.h"

namespace kestrix::collect {

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
    std::uint16_t replyPort = 7714;
    std::uint16_t controllerPort = 7715;
    int replyTimeoutMs = 5000;
    int databaseWaitSeconds = 120;
    std::string sendSocket;  // MAC mode: the frame-sending helper behind this socket
};

extern const char* const kUsage;

// The options, or the text of what is wrong with the command line.
std::variant<CollectOptions, std::string> ParseCollectOptions(const std::vector<std::string>& arguments);

}  // namespace kestrix::collect
