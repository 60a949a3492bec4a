#include "shell/ControllerSession.h"

namespace kestrix {

ControllerSession::ControllerSession(ReplyRouter& replies, quint16 controllerPort, HostResolver resolver,
                                     MacFrameSender& macSender, EventPump& pump, RouteSource route,
                                     MacFailure onMacFailure)
    : m_replies(replies),
      m_sender(controllerPort, std::move(resolver)),
      m_macSender(macSender),
      m_route(std::move(route)),
      m_onMacFailure(std::move(onMacFailure)),
      m_inbox(replies, pump) {}

void ControllerSession::beginRun() {
    m_replies.beginRun(m_inbox);
    m_macSender.release();  // a device kept open for another run is opened again
}

void ControllerSession::sendRequest(const HexText& body) {
    const ControllerRoute route = m_route();
    if (route.mode == LinkMode::Ip) {
        const QHostAddress host = m_sender.hostOf(route.ip);
        m_replies.listenTo(m_inbox, host);  // before the request: the reply may be quick
        m_sender.send(host, body);
        return;
    }
    m_replies.listenToAnyHost(m_inbox);
    std::string reason;
    const MacSendResult result =
        m_macSender.send(route.device, route.deviceAddress, route.controllerMac, body, &reason);
    if (result != MacSendResult::Sent) m_onMacFailure(result, reason);
}

std::optional<HexText> ControllerSession::awaitReply(std::chrono::milliseconds timeout) {
    return m_inbox.await(m_replyTimeout.value_or(timeout));
}

}  // namespace kestrix
