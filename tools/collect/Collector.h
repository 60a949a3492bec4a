#pragma once
// One controller after the other: the window's download, validation and load,
// without the window.

#include <chrono>
#include <ostream>
#include <string>

#include "shell/EventPump.h"
#include "shell/InterfaceTable.h"
#include "db/EventLoader.h"
#include "events/EventDownload.h"
#include "link/RawFrame.h"
#include "link/UdpLink.h"
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
    UdpLink& udp;
    PacketCapture* capture;  // MAC mode only
    std::string device, deviceAddress;
};

class Collector : private DownloadLink {
public:
    Collector(const CollectOptions& options, RunLink link, EventPump& pump, EventStore& store, std::ostream& progress,
              bool showProgress);

    // ipText is where IP mode sends (empty: the controller has no address).
    ControllerResult collect(const std::string& id, const std::string& ipText);

private:
    void sendRequest(const HexText& body) override;
    bool waitForReply(std::chrono::milliseconds timeout) override;
    void pageDone(int pageValue) override;
    void showProgress(const std::string& text);

    const CollectOptions& m_options;
    RunLink m_link;
    EventPump& m_pump;
    EventStore& m_store;
    std::ostream& m_progress;
    bool m_showProgress;
    ReplySlot m_reply;
    RawFrameBuffer m_frameBuffer{};
    std::string m_id, m_ip, m_sendProblem;
};

// Replaces "{mac}" in an export file name by the controller id.
std::string ExportFileFor(const std::string& pattern, const std::string& id);

}  // namespace kestrix::collect
