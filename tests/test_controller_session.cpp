// The controller session that the window and kestrix-collect share: requests
// by the route in force at each one, replies accepted and awaited, MAC-mode
// failures reported with the capture library's reason.

#include <gtest/gtest.h>

#include <QUdpSocket>
#include <thread>

#include "shell/ControllerSession.h"
#include "tests/support/FakeCapture.h"
#include "tests/support/ForgedReply.h"
#include "tests/support/FrameCheck.h"
#include "tests/support/FreeUdpPort.h"
#include "tests/support/SimulatorFixture.h"

using namespace kestrix;
using namespace kestrix::test;
using namespace std::chrono_literals;

namespace {

class ControllerSessionTest : public ::testing::Test {
protected:
    void SetUp() override {
        simulatorPort = FreeUdpPort();
        ASSERT_NE(simulatorPort, 0);
        replies.emplace(0, ReplyRouter::Runs::OneAtATime);
        session.emplace(*replies, simulatorPort, ResolveHostName, macSender, pump, [this] { return route; },
                        [this](MacSendResult result, const std::string& reason) { failures.push_back({result, reason}); });
        core.emplace(GeneratedMemory(300), sim::FaultOptions{});
        server.emplace(*core, "127.0.0.1", simulatorPort, replies->listenPort());
    }
    std::optional<HexText> exchange(const HexText& body, std::chrono::milliseconds wait = 2s) {
        session->expectReply();
        session->sendRequest(body);
        return session->awaitReply(wait);
    }

    // A wire from the capture layer to the simulator: the UDP part of each
    // well-formed frame goes to it from loopback, and it answers there.
    void connectTheWireToTheSimulator() {
        capture.wire = [this](const std::vector<std::uint8_t>& frame) {
            const FrameReport report = CheckFrame(frame);
            if (!report.wellFormed || !report.ipChecksumValid || !report.udpChecksumValid) {
                ADD_FAILURE() << "a bad frame on the wire: " << report.problem;
                return;
            }
            const QByteArray payload(reinterpret_cast<const char*>(report.payload.data()),
                                     static_cast<qsizetype>(report.payload.size()));
            wireEnd.writeDatagram(payload, QHostAddress::LocalHost, simulatorPort);
        };
    }

    ControllerRoute route{LinkMode::Ip, "0011223344AA", "127.0.0.1", "eth0", "10.0.0.5"};
    quint16 simulatorPort = 0;
    QUdpSocket wireEnd;
    FakeCapture capture;
    CaptureMacSender macSender{capture};
    QtEventPump pump;
    std::vector<std::pair<MacSendResult, std::string>> failures;
    std::optional<ReplyRouter> replies;
    std::optional<ControllerSession> session;
    std::optional<sim::SimulatorCore> core;
    std::optional<sim::SimulatorServer> server;
};

}  // namespace

TEST_F(ControllerSessionTest, EachRequestGoesByTheRouteInForceWhenItIsSent) {
    EXPECT_EQ(exchange("DA000002"), BytesToHex(core->memory().page(1)));
    EXPECT_EQ(session->replySlot().data, BytesToHex(core->memory().page(1)));

    route.mode = LinkMode::Mac;  // the next request leaves as a frame through the capture layer
    EXPECT_EQ(exchange("DA000004", 300ms), std::nullopt);  // nobody answers on a wire without a controller
    ASSERT_EQ(capture.log.frames.size(), 1u);
    const FrameReport frame = CheckFrame(capture.log.frames[0]);
    EXPECT_TRUE(frame.wellFormed) << frame.problem;
    EXPECT_EQ(BytesToHex(frame.payload), BuildControllerMessage("DA000004"));
    EXPECT_EQ(capture.log.openedDevices, std::vector<std::string>{"eth0"});

    route.mode = LinkMode::Ip;
    EXPECT_EQ(exchange("DA000006"), BytesToHex(core->memory().page(3)));
    EXPECT_EQ(core->receivedBodies(sim::RequestKind::PageRead), (std::vector<HexText>{"DA000002", "DA000006"}));
    EXPECT_TRUE(failures.empty());
}

TEST_F(ControllerSessionTest, BothRoutesReadTheSamePagesFromTheController) {
    connectTheWireToTheSimulator();
    for (const LinkMode mode : {LinkMode::Ip, LinkMode::Mac, LinkMode::Ip, LinkMode::Mac}) {
        route.mode = mode;
        for (const int page : {0, 17, 6143}) {
            const HexText body = PageReadBody(page * 2);
            EXPECT_EQ(exchange(body), BytesToHex(core->memory().page(page))) << body;
        }
    }
    EXPECT_EQ(capture.log.frames.size(), 6u);  // the MAC rounds went as frames, the IP rounds did not
    EXPECT_EQ(core->receivedBodies(sim::RequestKind::PageRead).size(), 12u);
    EXPECT_TRUE(failures.empty());
}

TEST_F(ControllerSessionTest, AReplyThatComesLateStillAnswersTheAwaitedRequest) {
    session->expectReply();
    session->sendRequest("DA000010");
    QTest::qWait(200);  // the reply is in before anybody waits for it
    EXPECT_EQ(session->awaitReply(10ms), BytesToHex(core->memory().page(8)));
    session->expectReply();
    EXPECT_EQ(session->awaitReply(50ms), std::nullopt);  // nothing new since
}

TEST_F(ControllerSessionTest, FailedMacSendsAreReportedWithTheLibrarysReason) {
    route.mode = LinkMode::Mac;
    capture.unopenable.insert("eth0");
    session->sendRequest("CC00");
    route.controllerMac = "00112233";  // not twelve digits: nothing is opened
    session->sendRequest("CC00");
    ASSERT_EQ(failures.size(), 2u);
    EXPECT_EQ(failures[0].first, MacSendResult::OpenFailed);
    EXPECT_NE(failures[0].second.find("permission"), std::string::npos) << failures[0].second;
    EXPECT_EQ(failures[1].first, MacSendResult::BadControllerMac);
    EXPECT_EQ(capture.log.opens, 0);
    EXPECT_TRUE(core->received().empty());
}

// In IP mode a datagram from any host but the addressed controller is no
// reply, whatever it holds and whenever it comes.
TEST_F(ControllerSessionTest, InIpModeOnlyTheAddressedHostAnswers) {
    QUdpSocket thirdHost;
    ASSERT_TRUE(thirdHost.bind(QHostAddress("127.0.0.5"), 0));
    core.emplace(GeneratedMemory(300), sim::FaultOptions{.latencyMs = 300});
    server.emplace(*core, "127.0.0.1", simulatorPort, replies->listenPort());
    session->beginRun();
    session->expectReply();
    session->sendRequest("DA000002");
    // The third host answers first, while the controller still takes its time.
    thirdHost.writeDatagram(ForgedReply('\x11'), QHostAddress::LocalHost, replies->listenPort());
    EXPECT_EQ(session->awaitReply(2s), BytesToHex(core->memory().page(1)));
    EXPECT_EQ(replies->handledDatagrams(), 2);  // it came, and was not taken
}

// Whatever reached the listener before a run began is no reply of that run:
// in MAC mode, where any host may answer, too.
TEST_F(ControllerSessionTest, DatagramsFromBeforeARunAreNoReplyOfIt) {
    QUdpSocket stale;
    stale.writeDatagram(ForgedReply('\x22'), QHostAddress::LocalHost, replies->listenPort());
    // It arrives while the owner is busy elsewhere and reads nothing.
    std::this_thread::sleep_for(100ms);
    route.mode = LinkMode::Mac;
    connectTheWireToTheSimulator();
    session->beginRun();
    EXPECT_EQ(exchange("DA000004"), BytesToHex(core->memory().page(2)));
}
