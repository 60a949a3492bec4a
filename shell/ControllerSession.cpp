#include "shell/ControllerSession.h"

namespace kestrix {

ControllerSession::ControllerSession(quint16 listenPort, quint16 controllerPort, HostResolver resolver,
                                     MacFrameSender& macSender, EventPump& pump, RouteSource route,
                                     MacFailure onMacFailure)
    : m_udp(listenPort, controllerPort, std::move(resolver)),
      m_macSender(macSender),
      m_pump(pump),
      m_route(std::move(route)),
      m_onMacFailure(std::move(onMacFailure)) {
    QObject::connect(&m_udp, &UdpLink::datagramReceived, &m_udp,
                     [this](const QByteArray& datagram, const QHostAddress& sender) {
                         ++m_handledDatagrams;
                         if (!m_replyFrom.isNull() && !m_replyFrom.isEqual(sender, QHostAddress::TolerantConversion))
                             return;
                         if (AcceptControllerReply(m_reply, datagram)) m_pump.wake();
                     });
}

void ControllerSession::beginRun() {
    m_udp.discardPendingDatagrams();
    m_macSender.release();  // a device kept open for another run is opened again
}

void ControllerSession::sendRequest(const HexText& body) {
    const ControllerRoute route = m_route();
    if (route.mode == LinkMode::Ip) {
        m_replyFrom = m_udp.SendByIp(route.ip, body);
        return;
    }
    m_replyFrom.clear();
    std::string reason;
    const MacSendResult result =
        m_macSender.send(route.device, route.deviceAddress, route.controllerMac, body, &reason);
    if (result != MacSendResult::Sent) m_onMacFailure(result, reason);
}

std::optional<HexText> ControllerSession::awaitReply(std::chrono::milliseconds timeout) {
    if (!m_pump.pumpUntil([this] { return m_reply.received; }, m_replyTimeout.value_or(timeout)))
        return std::nullopt;
    return m_reply.data;
}

}  // namespace kestrix
