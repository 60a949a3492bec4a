#include "link/udp/ReplyRouter.h"

#include <QNetworkProxy>
#include <algorithm>
#include <stdexcept>

namespace kestrix {

namespace {
bool SameHost(const QHostAddress& a, const QHostAddress& b) {
    return a.isEqual(b, QHostAddress::TolerantConversion);
}
}  // namespace

ReplyInbox::ReplyInbox(ReplyRouter& router, EventPump& pump) : m_router(router), m_pump(pump) {
    m_router.attach(*this);
}

ReplyInbox::~ReplyInbox() {
    m_router.detach(*this);
}

void ReplyInbox::expectReply() {
    const std::lock_guard lock(m_mutex);
    m_slot.received = false;
}

std::optional<HexText> ReplyInbox::await(std::chrono::milliseconds timeout) {
    const auto received = [this] {
        const std::lock_guard lock(m_mutex);
        return m_slot.received;
    };
    if (!m_pump.pumpUntil(received, timeout)) return std::nullopt;
    const std::lock_guard lock(m_mutex);
    return m_slot.data;
}

ReplySlot ReplyInbox::slot() const {
    const std::lock_guard lock(m_mutex);
    return m_slot;
}

bool ReplyInbox::offer(const QByteArray& datagram) {
    bool taken;
    {
        const std::lock_guard lock(m_mutex);
        taken = AcceptControllerReply(
            m_slot, {reinterpret_cast<const std::uint8_t*>(datagram.constData()), static_cast<std::size_t>(datagram.size())});
    }
    if (taken) m_pump.wake();
    return taken;
}

ReplyRouter::ReplyRouter(quint16 listenPort, Runs runs, QObject* parent) : QObject(parent), m_runs(runs) {
    // Controllers sit on the local segment: a proxy set up for the rest of the
    // system would only stand between them and us.
    m_listener.setProxy(QNetworkProxy::NoProxy);
    // Exclusive bind: a second listener on the same port must fail, not share it.
    if (!m_listener.bind(QHostAddress::AnyIPv4, listenPort, QAbstractSocket::DontShareAddress))
        throw std::runtime_error(m_listener.errorString().toStdString());
    connect(&m_listener, &QUdpSocket::readyRead, this, &ReplyRouter::readPendingDatagrams);
}

long ReplyRouter::handledDatagrams() const {
    const std::lock_guard lock(m_mutex);
    return m_handledDatagrams;
}

void ReplyRouter::attach(ReplyInbox& inbox) {
    const std::lock_guard lock(m_mutex);
    // The window's one run hears any host until its first request says otherwise.
    if (m_runs == Runs::OneAtATime) inbox.m_listening = ReplyInbox::Listening::AnyHost;
    m_inboxes.push_back(&inbox);
}

void ReplyRouter::detach(ReplyInbox& inbox) {
    const std::lock_guard lock(m_mutex);
    stopListening(inbox);
    std::erase(m_inboxes, &inbox);
}

void ReplyRouter::stopListening(ReplyInbox& inbox) {
    if (m_runs == Runs::Several && inbox.m_listening == ReplyInbox::Listening::OneHost)
        m_heardNoMore.push_back(inbox.m_host);
    if (inbox.m_listening == ReplyInbox::Listening::AnyHost) m_anyHostFree.notify_all();
    inbox.m_listening = m_runs == Runs::OneAtATime ? ReplyInbox::Listening::AnyHost : ReplyInbox::Listening::Nobody;
    inbox.m_host.clear();
}

void ReplyRouter::beginRun(ReplyInbox& inbox) {
    if (m_runs == Runs::OneAtATime) {
        // The run's thread is the listener's: what waits in the socket came before the run.
        while (m_listener.hasPendingDatagrams()) m_listener.readDatagram(nullptr, 0);
        return;
    }
    const std::lock_guard lock(m_mutex);
    stopListening(inbox);
}

void ReplyRouter::listenTo(ReplyInbox& inbox, const QHostAddress& host) {
    const std::lock_guard lock(m_mutex);
    if (inbox.m_listening == ReplyInbox::Listening::AnyHost) m_anyHostFree.notify_all();
    inbox.m_listening = ReplyInbox::Listening::OneHost;
    inbox.m_host = host;
}

void ReplyRouter::listenToAnyHost(ReplyInbox& inbox) {
    std::unique_lock lock(m_mutex);
    if (m_runs == Runs::OneAtATime) {
        inbox.m_listening = ReplyInbox::Listening::AnyHost;
        inbox.m_host.clear();
        return;
    }
    if (inbox.m_listening != ReplyInbox::Listening::Nobody) return;  // waiting already, or its host is known
    m_anyHostFree.wait(lock, [this] {
        return std::none_of(m_inboxes.begin(), m_inboxes.end(),
                            [](const ReplyInbox* other) { return other->m_listening == ReplyInbox::Listening::AnyHost; });
    });
    inbox.m_listening = ReplyInbox::Listening::AnyHost;
}

void ReplyRouter::readPendingDatagrams() {
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
        route(datagram, sender);
    }
}

void ReplyRouter::route(const QByteArray& datagram, const QHostAddress& sender) {
    const std::lock_guard lock(m_mutex);
    ++m_handledDatagrams;
    ReplyInbox* anyHost = nullptr;
    for (ReplyInbox* inbox : m_inboxes) {
        if (inbox->m_listening == ReplyInbox::Listening::OneHost && SameHost(inbox->m_host, sender)) {
            inbox->offer(datagram);
            return;
        }
        if (inbox->m_listening == ReplyInbox::Listening::AnyHost) anyHost = inbox;
    }
    if (!anyHost) return;
    if (std::any_of(m_heardNoMore.begin(), m_heardNoMore.end(),
                    [&](const QHostAddress& host) { return SameHost(host, sender); }))
        return;
    if (anyHost->offer(datagram) && m_runs == Runs::Several) {
        anyHost->m_listening = ReplyInbox::Listening::OneHost;
        anyHost->m_host = sender;
        m_anyHostFree.notify_all();
    }
}

}  // namespace kestrix
