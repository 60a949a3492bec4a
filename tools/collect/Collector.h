#pragma once
// The controllers of a site, several at once: each job has its own
// controller session and run (download, validation, load, export) on a thread
// of its own; the replies of all of them come through one listener, which
// tells them apart by the address they come from.

#include <atomic>
#include <functional>
#include <mutex>
#include <ostream>
#include <string>
#include <vector>

#include "shell/ControllerSession.h"
#include "shell/Installation.h"
#include "tools/collect/CollectOptions.h"

namespace kestrix::collect {

struct ControllerResult {
    std::string id;
    bool ok = false;       // read completely and loaded
    std::string problem;   // why not
    std::size_t events = 0;
    int loaded = 0, duplicates = 0;
    double seconds = 0;
};

// The link of one collection: the mode and the interface are fixed for all
// its controllers.
struct RunLink {
    LinkMode mode;
    std::string device, deviceAddress;  // MAC mode
};

// The sender of MAC-mode frames for one job.
using MacSenderFactory = std::function<std::unique_ptr<MacFrameSender>()>;

class Collector {
public:
    // The installation is connected and its event statements are prepared.
    Collector(const CollectOptions& options, RunLink link, Installation& installation, ReplyRouter& replies,
              MacSenderFactory macSenders);

    // Collects the controllers, options.jobs at a time, on the calling
    // thread's event loop (which delivers the replies). finished gets each
    // result on the calling thread as soon as it is known; progress, when
    // given, gets a line that names every controller being collected.
    void collect(const std::vector<std::string>& ids, const std::function<void(const ControllerResult&)>& finished,
                 const std::function<void(const std::string&)>& progress = {});

private:
    struct Job;
    void runJob(Job& job, std::atomic<std::size_t>& next, const std::vector<std::string>& ids,
                const std::function<void(ControllerResult)>& finished);
    ControllerResult collectOne(Job& job, const std::string& id, ControllerSession& session);

    const CollectOptions& m_options;
    RunLink m_link;
    Installation& m_installation;
    ReplyRouter& m_replies;
    MacSenderFactory m_macSenders;
    std::mutex m_databaseTurn;  // one attachment: one load at a time
};

// The text with its control characters shown as '?': ids from the database
// go to a terminal.
std::string Printable(const std::string& text);

// Replaces "{mac}" in an export file name by the controller id (12 hex digits).
std::string ExportFileFor(const std::string& pattern, const std::string& id);

}  // namespace kestrix::collect
