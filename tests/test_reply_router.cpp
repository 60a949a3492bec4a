// The reply listener shared by the runs of kestrix-collect: every reply goes
// to the run that awaits its sender, and to no other.

#include <gtest/gtest.h>

#include <QTest>
#include <QUdpSocket>
#include <atomic>
#include <thread>

#include "link/udp/ReplyRouter.h"
#include "tests/support/ForgedReply.h"

using namespace kestrix;
using namespace kestrix::test;
using namespace std::chrono_literals;

namespace {

class ReplyRouterTest : public ::testing::Test {
protected:
    // A controller on a loopback address of its own.
    struct Host {
        QHostAddress address;
        QUdpSocket socket;
    };
    std::unique_ptr<Host> host(const char* address) {
        auto h = std::make_unique<Host>();
        h->address = QHostAddress(QString::fromLatin1(address));
        EXPECT_TRUE(h->socket.bind(h->address, 0));
        return h;
    }
    void answer(Host& from, char fill) {
        from.socket.writeDatagram(ForgedReply(fill), QHostAddress::LocalHost, router.listenPort());
    }
    std::optional<HexText> take(ReplyInbox& inbox, std::chrono::milliseconds wait = 2s) {
        auto reply = inbox.await(wait);
        inbox.expectReply();
        return reply;
    }

    ReplyRouter router{0, ReplyRouter::Runs::Several};
    QtEventPump pump;
};

}  // namespace

TEST_F(ReplyRouterTest, EachRunHearsOnlyTheHostItAddressed) {
    auto a = host("127.0.0.2"), b = host("127.0.0.3");
    ReplyInbox first(router, pump), second(router, pump);
    router.listenTo(first, a->address);
    router.listenTo(second, b->address);
    answer(*b, 'b');
    answer(*a, 'a');
    EXPECT_EQ(take(first), ForgedReplyData('a'));
    EXPECT_EQ(take(second), ForgedReplyData('b'));
    answer(*a, 'c');
    EXPECT_EQ(take(second, 300ms), std::nullopt);
    EXPECT_EQ(take(first), ForgedReplyData('c'));
}

// MAC mode: the run learns its controller's address from the first reply, and
// one run at a time waits for such a first reply.
TEST_F(ReplyRouterTest, ARunThatDoesNotKnowItsHostKeepsTheFirstThatAnswers) {
    auto a = host("127.0.0.4"), b = host("127.0.0.5");
    ReplyInbox first(router, pump), second(router, pump);
    router.listenToAnyHost(first);

    std::atomic<bool> secondListening = false;
    std::thread secondRun([&] {
        router.listenToAnyHost(second);
        secondListening = true;
    });
    QTest::qWait(100);
    EXPECT_FALSE(secondListening) << "two runs wait for a first reply at once";
    answer(*a, 'a');
    EXPECT_EQ(take(first), ForgedReplyData('a'));
    EXPECT_TRUE(QTest::qWaitFor([&] { return secondListening.load(); }, 2000));
    secondRun.join();

    answer(*b, 'b');
    EXPECT_EQ(take(second), ForgedReplyData('b'));
    answer(*a, 'c');  // the first run's host, heard by it alone
    EXPECT_EQ(take(second, 300ms), std::nullopt);
    EXPECT_EQ(take(first), ForgedReplyData('c'));
}

TEST_F(ReplyRouterTest, AHostWhoseRunHasEndedIsHeardNoMore) {
    auto late = host("127.0.0.6"), next = host("127.0.0.7");
    ReplyInbox inbox(router, pump);
    router.listenTo(inbox, late->address);
    router.beginRun(inbox);  // its run gave up; the next controller's begins
    router.listenToAnyHost(inbox);
    answer(*late, 'l');
    EXPECT_EQ(take(inbox, 300ms), std::nullopt);
    answer(*next, 'n');
    EXPECT_EQ(take(inbox), ForgedReplyData('n'));
}
