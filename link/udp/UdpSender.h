#pragma once
// The request side of the controller link in IP mode: one UDP socket that
// sends to the controller port, from a port the system picks.

#include <QHostAddress>
#include <QString>
#include <QUdpSocket>
#include <functional>

#include "link/ControllerMessage.h"

namespace kestrix {

// Turns a host name into an IPv4 address; throws std::runtime_error with the
// resolver's text when it cannot.
using HostResolver = std::function<QHostAddress(const QString& name)>;
QHostAddress ResolveHostName(const QString& name);

class UdpSender {
public:
    // Throws std::runtime_error with the socket layer's text when the socket
    // cannot be bound.
    explicit UdpSender(quint16 controllerPort, HostResolver resolver = ResolveHostName);

    // The host an address text names: dotted IPv4 directly, anything else is
    // looked up as a host name.
    QHostAddress hostOf(const QString& address) const;
    // Sends BuildControllerMessage(body) as one datagram to host:controllerPort.
    // Throws std::runtime_error with the socket layer's text.
    void send(const QHostAddress& host, const HexText& body);

private:
    quint16 m_controllerPort;
    HostResolver m_resolver;
    QUdpSocket m_socket;
};

}  // namespace kestrix
