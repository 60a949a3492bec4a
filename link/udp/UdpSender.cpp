#include "link/udp/UdpSender.h"

#include <QHostInfo>
#include <QNetworkProxy>
#include <stdexcept>

namespace kestrix {

namespace {
std::runtime_error SocketError(const QString& text) {
    return std::runtime_error(text.toStdString());
}
}  // namespace

QHostAddress ResolveHostName(const QString& name) {
    const QHostInfo info = QHostInfo::fromName(name);
    if (info.error() != QHostInfo::NoError) throw SocketError(info.errorString());
    for (const QHostAddress& candidate : info.addresses())
        if (candidate.protocol() == QAbstractSocket::IPv4Protocol) return candidate;
    throw SocketError(QStringLiteral("Host not found: %1").arg(name));
}

UdpSender::UdpSender(quint16 controllerPort, HostResolver resolver)
    : m_controllerPort(controllerPort), m_resolver(std::move(resolver)) {
    // Controllers sit on the local segment: a proxy set up for the rest of the
    // system would only stand between them and us.
    m_socket.setProxy(QNetworkProxy::NoProxy);
    if (!m_socket.bind(QHostAddress::AnyIPv4, 0)) throw SocketError(m_socket.errorString());
}

QHostAddress UdpSender::hostOf(const QString& address) const {
    QHostAddress host;
    if (!host.setAddress(address)) host = m_resolver(address);
    return host;
}

void UdpSender::send(const QHostAddress& host, const HexText& body) {
    const std::vector<std::uint8_t> bytes = HexToBytes(BuildControllerMessage(body));
    const auto sent = m_socket.writeDatagram(reinterpret_cast<const char*>(bytes.data()),
                                             static_cast<qint64>(bytes.size()), host, m_controllerPort);
    if (sent < 0) throw SocketError(m_socket.errorString());
}

}  // namespace kestrix
