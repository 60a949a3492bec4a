#include "link/UdpLink.h"

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

UdpLink::UdpLink(quint16 listenPort, quint16 controllerPort, HostResolver resolver, QObject* parent)
    : QObject(parent), m_controllerPort(controllerPort), m_resolver(std::move(resolver)) {
    // Controllers sit on the local segment: a proxy set up for the rest of the
    // system would only stand between them and us.
    m_listener.setProxy(QNetworkProxy::NoProxy);
    m_sender.setProxy(QNetworkProxy::NoProxy);
    // Exclusive bind: a second listener on the same port must fail, not share it.
    if (!m_listener.bind(QHostAddress::AnyIPv4, listenPort, QAbstractSocket::DontShareAddress))
        throw SocketError(m_listener.errorString());
    if (!m_sender.bind(QHostAddress::AnyIPv4, 0))
        throw SocketError(m_sender.errorString());
    connect(&m_listener, &QUdpSocket::readyRead, this, &UdpLink::readPendingDatagrams);
}

QHostAddress UdpLink::SendByIp(const QString& address, const HexText& body) {
    QHostAddress host;
    if (!host.setAddress(address)) host = m_resolver(address);
    const std::vector<std::uint8_t> bytes = HexToBytes(BuildControllerMessage(body));
    const auto sent = m_sender.writeDatagram(reinterpret_cast<const char*>(bytes.data()),
                                            static_cast<qint64>(bytes.size()), host, m_controllerPort);
    if (sent < 0) throw SocketError(m_sender.errorString());
    return host;
}

void UdpLink::discardPendingDatagrams() {
    while (m_listener.hasPendingDatagrams()) m_listener.readDatagram(nullptr, 0);
}

void UdpLink::readPendingDatagrams() {
    while (m_listener.hasPendingDatagrams()) {
        const qint64 size = m_listener.pendingDatagramSize();
        if (size < 0 || size > static_cast<qint64>(kMaxDatagram)) {
            m_listener.readDatagram(nullptr, 0);  // drop oversized datagrams whole
            continue;
        }
        QByteArray datagram(static_cast<qsizetype>(size), Qt::Uninitialized);
        QHostAddress sender;
        const qint64 read = m_listener.readDatagram(datagram.data(), size, &sender);
        if (read < 0) continue;
        datagram.truncate(static_cast<qsizetype>(read));
        emit datagramReceived(datagram, sender);
    }
}

}  // namespace kestrix
