#pragma once
// A UDP port that is free on an address at this moment: for a peer that must
// be told a port before anything binds it.

#include <QHostAddress>
#include <QUdpSocket>

namespace kestrix::test {

// 0 when nothing can be bound on that address.
inline quint16 FreeUdpPort(const QHostAddress& address = QHostAddress::LocalHost) {
    QUdpSocket probe;
    return probe.bind(address, 0) ? probe.localPort() : 0;
}

}  // namespace kestrix::test
