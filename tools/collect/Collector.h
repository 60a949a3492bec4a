#pragma once
// One controller after the other: the window's download, validation and load,
// without the window.

#include <chrono>
#include <ostream>
#include <string>

#include "db/EventLoader.h"
#include "shell/ControllerSession.h"
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

// The link of one run: the mode, the interface and the reply port are fixed
// for all its controllers.
struct RunLink {
    LinkMode mode;
    std::string device, deviceAddress;  // MAC mode
};

class Collector {
public:
    Collector(const CollectOptions& options, RunLink link, ControllerSession& session, EventStore& store,
              std::ostream& progress, bool showProgress);

    // ipText is where IP mode sends (empty: the controller has no address).
    ControllerResult collect(const std::string& id, const std::string& ipText);

    // The route of the controller being collected; the session asks for it at every request.
    ControllerRoute route() const;
    // A MAC-mode send failed: the reason goes into the controller's result.
    void macSendFailed(MacSendResult result, const std::string& reason);

private:
    void showProgress(const std::string& text);

    const CollectOptions& m_options;
    RunLink m_link;
    ControllerSession& m_session;
    EventStore& m_store;
    std::ostream& m_progress;
    bool m_showProgress;
    std::string m_id, m_ip, m_sendProblem;
};

// The text with its control characters shown as '?': ids from the database
// go to a terminal.
std::string Printable(const std::string& text);

// Replaces "{mac}" in an export file name by the controller id (12 hex digits).
std::string ExportFileFor(const std::string& pattern, const std::string& id);

}  // namespace kestrix::collect
