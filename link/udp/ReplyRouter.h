#pragma once
// The reply listener and the runs it serves. Controllers answer on one fixed
// port, so every run of a process shares the listener: a datagram goes to the
// run that awaits its sender, and is no reply of any other run.

#include <QHostAddress>
#include <QObject>
#include <QUdpSocket>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <set>
#include <vector>

#include "link/ControllerMessage.h"
#include "link/EventPump.h"

namespace kestrix {

class ReplyRouter;

// The replies of one controller run: delivered on the router's thread, taken
// on the run's own, which waits through its pump.
class ReplyInbox {
public:
    ReplyInbox(ReplyRouter& router, EventPump& pump);
    ~ReplyInbox();
    ReplyInbox(const ReplyInbox&) = delete;
    ReplyInbox& operator=(const ReplyInbox&) = delete;

    // Forgets the reply taken so far: the next accepted reply is the awaited one.
    void expectReply();
    // The data of the reply accepted since expectReply(), waiting at most
    // timeout for it; nothing when none came.
    std::optional<HexText> await(std::chrono::milliseconds timeout);
    ReplySlot slot() const;

private:
    friend class ReplyRouter;
    enum class Listening { Nobody, AnyHost, OneHost };

    // On the router's thread: the acceptance rule, and a wake-up when taken.
    bool offer(const QByteArray& datagram);

    ReplyRouter& m_router;
    EventPump& m_pump;
    mutable std::mutex m_mutex;
    ReplySlot m_slot;
    // Guarded by the router's mutex.
    Listening m_listening = Listening::Nobody;
    QHostAddress m_host;
};

class ReplyRouter : public QObject {
    Q_OBJECT
public:
    // One run at a time (the window): a run may listen to any host, as it
    // did from the start, and whatever waits in the socket when a run begins
    // is dropped. Several runs at once (the collector): a run that does not
    // know its controller's address takes the first reply of an unknown host
    // and then only that host's; one run at a time may wait for such a first
    // reply; a host whose run has ended is heard no more.
    enum class Runs { OneAtATime, Several };

    // Binds the listener to listenPort of all local IPv4 addresses (0 picks a
    // free port). Throws std::runtime_error with the socket layer's text.
    ReplyRouter(quint16 listenPort, Runs runs, QObject* parent = nullptr);

    quint16 listenPort() const { return m_listener.localPort(); }
    // Datagrams the listener handed over, taken or not.
    long handledDatagrams() const;

    // A run begins: nothing that came before is its reply.
    void beginRun(ReplyInbox& inbox);
    // Replies of host go to inbox from now on.
    void listenTo(ReplyInbox& inbox, const QHostAddress& host);
    // The run does not know its controller's address (MAC mode). With several
    // runs, waits while another run waits for such a first reply, and keeps a
    // host once one answered.
    void listenToAnyHost(ReplyInbox& inbox);

signals:
    // Every datagram as it came, before routing (the listener's own tests).
    void datagramReceived(const QByteArray& datagram, const QHostAddress& sender);

private:
    friend class ReplyInbox;
    void attach(ReplyInbox& inbox);
    void detach(ReplyInbox& inbox);
    void stopListening(ReplyInbox& inbox);  // under m_mutex
    void readPendingDatagrams();
    void route(const QByteArray& datagram, const QHostAddress& sender);

    const Runs m_runs;
    QUdpSocket m_listener;
    mutable std::mutex m_mutex;
    std::condition_variable m_anyHostFree;
    std::vector<ReplyInbox*> m_inboxes;
    std::vector<QHostAddress> m_heardNoMore;
    long m_handledDatagrams = 0;
};

}  // namespace kestrix
