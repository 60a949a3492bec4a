#pragma once
// The one controller link of the window and of kestrix-collect: the request
// socket, the MAC-mode send with its frame buffer, and this run's replies from
// the shared listener. Every request goes by the route its owner gives at that
// moment: the window reads its live controls, so a mode switch takes effect
// with the next request; the collector gives a fixed route for each controller.

#include <QString>
#include <chrono>
#include <functional>
#include <optional>
#include <string>

#include "events/EventDownload.h"
#include "link/EventPump.h"
#include "link/MacSender.h"
#include "link/udp/ReplyRouter.h"
#include "link/udp/UdpSender.h"

namespace kestrix {

enum class LinkMode { Ip, Mac };

struct ControllerRoute {
    LinkMode mode = LinkMode::Mac;
    std::string controllerMac;  // 12 hex digits; MAC mode addresses the frame to it
    QString ip;                 // where IP mode sends
    std::string device;         // MAC mode: the capture device and its IPv4 text
    std::string deviceAddress;
};

class ControllerSession : public ControllerExchange {
public:
    using RouteSource = std::function<ControllerRoute()>;
    // A MAC-mode send that failed, with the capture library's reason where it gave one.
    using MacFailure = std::function<void(MacSendResult, const std::string& reason)>;

    // Made on the thread that runs it; replies arrive through replies and
    // wake pump. Throws with the socket layer's text.
    ControllerSession(ReplyRouter& replies, quint16 controllerPort, HostResolver resolver, MacFrameSender& macSender,
                      EventPump& pump, RouteSource route, MacFailure onMacFailure);

    // The wait for every reply instead of the one the protocol asks for (the
    // collector's --reply-timeout-ms).
    void setReplyTimeout(std::chrono::milliseconds timeout) { m_replyTimeout = timeout; }

    // Replies of an earlier run, or of another controller, that are still on
    // their way are no reply of this one.
    void beginRun() override;
    void expectReply() override { m_inbox.expectReply(); }
    // By the route in force now: a UDP datagram (errors of the socket layer are
    // thrown) or a raw frame (failures go to onMacFailure). In IP mode only the
    // addressed host's replies are taken from then on; in MAC mode the
    // controller's own address is not known (see ReplyRouter::listenToAnyHost).
    void sendRequest(const HexText& body) override;
    std::optional<HexText> awaitReply(std::chrono::milliseconds timeout) override;

    ReplySlot replySlot() const { return m_inbox.slot(); }

private:
    ReplyRouter& m_replies;
    UdpSender m_sender;
    MacFrameSender& m_macSender;
    RouteSource m_route;
    MacFailure m_onMacFailure;
    std::optional<std::chrono::milliseconds> m_replyTimeout;
    ReplyInbox m_inbox;
};

}  // namespace kestrix
