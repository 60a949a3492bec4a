#pragma once
// The two UDP sockets of the controller link: the sender (requests to the
// controller port, from a port the system picks) and the reply listener.

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QUdpSocket>
#include <functional>

#include "link/ControllerMessage.h"

namespace kestrix {

// The acceptance rule for a datagram as the listener delivers it.
inline bool AcceptControllerReply(ReplySlot& slot, const QByteArray& datagram) {
    return AcceptControllerReply(
        slot, {reinterpret_cast<const std::uint8_t*>(datagram.constData()), static_cast<std::size_t>(datagram.size())});
}

// Turns a host name into an IPv4 address; throws std::runtime_error with the
// resolver's text when it cannot.
using HostResolver = std::function<QHostAddress(const QString& name)>;
QHostAddress ResolveHostName(const QString& name);

class UdpLink : public QObject {
    Q_OBJECT
public:
    // Binds the listener to listenPort of all local IPv4 addresses (0 picks a free
    // port). Throws std::runtime_error with the socket layer's text on failure.
    UdpLink(quint16 listenPort, quint16 controllerPort, HostResolver resolver = ResolveHostName,
            QObject* parent = nullptr);

    quint16 listenPort() const { return m_listener.localPort(); }

    // Sends BuildControllerMessage(body) as one datagram to address:controllerPort
    // and gives the host it went to. The address is used as given: dotted IPv4
    // directly, anything else is looked up as a host name. Throws
    // std::runtime_error with the socket layer's text.
    QHostAddress SendByIp(const QString& address, const HexText& body);

    // Drops every datagram that has arrived and not been delivered yet.
    void discardPendingDatagrams();

signals:
    // One datagram of at most kMaxDatagram bytes and the host it came from,
    // delivered on the owner's thread.
    void datagramReceived(const QByteArray& datagram, const QHostAddress& sender);

private:
    void readPendingDatagrams();

    quint16 m_controllerPort;
    HostResolver m_resolver;
    QUdpSocket m_sender;
    QUdpSocket m_listener;
};

}  // namespace kestrix
