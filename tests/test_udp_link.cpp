#include <QNetworkDatagram>
#include <QNetworkProxy>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QUdpSocket>
#include <random>

#include "tests/support/SimProcess.h"
#include "tests/support/SimulatorFixture.h"

using namespace kestrix;
using namespace kestrix::test;

class UdpLinkTest : public SimulatorFixture {
protected:
    std::vector<sim::ReceivedRequest> waitForRequests(std::size_t count) {
        WaitFor([&] { return core->received().size() >= count; });
        return core->received();
    }
};

TEST_F(UdpLinkTest, TestSignalInIpModeReachesTheController) {
    useIpMode();
    QTest::mouseClick(control("Button4"), Qt::LeftButton);
    const auto received = waitForRequests(1);
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0].message, "230006CC000B");
    EXPECT_EQ(received[0].kind, sim::RequestKind::TestSignal);
    EXPECT_TRUE(dialogs.boxes.empty());
}

TEST_F(UdpLinkTest, TestSignalChecksItsInputsFirst) {
    const struct {
        bool ipMode;
        QString mac, ip;
        ShownBox box;
    } cases[] = {
        {true, "0011223344A", "127.0.0.1", {ShownBox::Notice, "Неверный MAC-адрес"}},
        {false, "0011223344A", "127.0.0.1", {ShownBox::Notice, "Неверный MAC-адрес"}},
        {true, "", "127.0.0.1", {ShownBox::Notice, "Неверный MAC-адрес"}},
        {true, "0011223344AA", "", {ShownBox::Notice, "Укажите IP контроллера"}},
    };
    for (const auto& c : cases) {
        dialogs.boxes.clear();
        enterLink(c.ipMode, c.mac, c.ip);
        control<QPushButton>("Button4")->click();
        ASSERT_EQ(dialogs.boxes.size(), 1u) << c.mac.toStdString();
        EXPECT_EQ(dialogs.boxes[0], c.box);
    }
    QTest::qWait(50);
    EXPECT_TRUE(core->received().empty());
}

TEST_F(UdpLinkTest, MacModeDoesNotPretendToSend) {
    control<QComboBox>("edit1")->setEditText("0011223344AA");
    control<QPushButton>("Button4")->click();
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_EQ(dialogs.boxes[0], (ShownBox{ShownBox::Error, "Ошибка открытия сетевого интерфейса!"}));
    QTest::qWait(50);
    EXPECT_TRUE(core->received().empty());
}

TEST_F(UdpLinkTest, AnUnresolvableAddressReachesTheOperator) {
    useIpMode();
    control<QLineEdit>("Edit4")->setText("controller.unknown");
    control<QPushButton>("Button4")->click();
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_EQ(dialogs.boxes[0], (ShownBox{ShownBox::Unexpected, "Host controller.unknown not found."}));
}

TEST_F(UdpLinkTest, ASendTheSocketRefusesReachesTheOperator) {
    useIpMode();
    control<QLineEdit>("Edit4")->setText("::1");  // the sender speaks IPv4 only
    control<QPushButton>("Button4")->click();
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_EQ(dialogs.boxes[0].kind, ShownBox::Unexpected);
    EXPECT_FALSE(dialogs.boxes[0].text.isEmpty());
}

TEST_F(UdpLinkTest, APageReplyOfTheSimulatorIsAcceptedIntoTheSlot) {
    sim::ControllerMemory memory;
    memory.setSlotText(32 * 5, "18051E0F2D1E0000000A1B2C01220000");
    startSimulator(memory, {});
    QUdpSocket requester;  // asks on the window's behalf; the reply goes to the window
    ASSERT_TRUE(requester.bind(QHostAddress::LocalHost, 0));
    const auto request = HexToBytes(BuildControllerMessage(PageReadBody(10)));
    requester.writeDatagram(reinterpret_cast<const char*>(request.data()), static_cast<qint64>(request.size()),
                            QHostAddress::LocalHost, server->port());
    ASSERT_TRUE(WaitFor([&] { return form->ReplyReceived(); }));
    EXPECT_EQ(form->LastReplyData(), BytesToHex(core->memory().page(5)));
    EXPECT_EQ(form->LastReplyData().substr(0, 32), "18051E0F2D1E0000000A1B2C01220000");
}

// Controllers sit on the local segment: a proxy configured for the rest of the
// system (here a SOCKS5 proxy on a loopback port where nothing listens) must
// neither carry the requests nor the replies.
TEST_F(UdpLinkTest, AConfiguredProxyNeverCarriesTheControllerLink) {
    QTcpServer closedPort;
    ASSERT_TRUE(closedPort.listen(QHostAddress::LocalHost, 0));
    const quint16 deadProxyPort = closedPort.serverPort();
    closedPort.close();
    QNetworkProxy::setApplicationProxy(QNetworkProxy(QNetworkProxy::Socks5Proxy, "127.0.0.1", deadProxyPort));
    struct RestoreNoProxy {
        ~RestoreNoProxy() { QNetworkProxy::setApplicationProxy(QNetworkProxy::NoProxy); }
    } restore;

    UdpSender sender(server->port());
    ReplyRouter replies(0, ReplyRouter::Runs::OneAtATime);
    std::vector<QByteArray> delivered;
    QObject::connect(&replies, &ReplyRouter::datagramReceived, [&](const QByteArray& d) { delivered.push_back(d); });
    sender.send(sender.hostOf("127.0.0.1"), kTestSignalBody);
    const auto received = waitForRequests(1);
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0].message, "230006CC000B");

    QUdpSocket controller;
    controller.setProxy(QNetworkProxy::NoProxy);
    ASSERT_TRUE(controller.bind(QHostAddress::LocalHost, 0));
    ASSERT_EQ(controller.writeDatagram(QByteArray("\x23\x00\x04\xDA", 4), QHostAddress::LocalHost, replies.listenPort()), 4);
    ASSERT_TRUE(WaitFor([&] { return !delivered.empty(); }));
    EXPECT_EQ(delivered[0], QByteArray("\x23\x00\x04\xDA", 4));
}

// Datagrams of every length up to the listener's limit, random bytes, sent to
// the real reply port: each is handled exactly by the acceptance rule.
TEST_F(UdpLinkTest, EveryDatagramLengthIsHandledByTheRule) {
    QUdpSocket sender;
    ASSERT_TRUE(sender.bind(QHostAddress::LocalHost, 0));
    std::mt19937 rng(11);
    std::uniform_int_distribution<int> byte(0, 255);
    for (std::size_t size = 0; size <= kMaxDatagram; ++size) {
        QByteArray datagram(static_cast<qsizetype>(size), '\0');
        for (auto& b : datagram) b = static_cast<char>(byte(rng));
        if (size > 0 && size % 3 != 0) datagram[0] = 0x23;
        if (size > 3 && size % 2 == 0) datagram[3] = static_cast<char>(0xDA);
        ReplySlot expected{form->LastReplyData(), form->ReplyReceived()};
        AcceptControllerReply(expected, {reinterpret_cast<const std::uint8_t*>(datagram.constData()), size});
        const long handled = form->replies().handledDatagrams();
        ASSERT_EQ(sender.writeDatagram(datagram, QHostAddress::LocalHost, form->replies().listenPort()), qint64(size));
        ASSERT_TRUE(WaitFor([&] { return form->replies().handledDatagrams() == handled + 1; })) << size;
        ASSERT_EQ(form->LastReplyData(), expected.data) << size;
        ASSERT_EQ(form->ReplyReceived(), expected.received) << size;
    }
}

TEST_F(UdpLinkTest, OversizedDatagramsAreDropped) {
    QUdpSocket sender;
    ASSERT_TRUE(sender.bind(QHostAddress::LocalHost, 0));
    QByteArray big(9000, '\x11');
    big[0] = 0x23;
    big[3] = static_cast<char>(0xDA);
    QByteArray marker = QByteArray::fromHex("230008DA0000000000000000000042");
    sender.writeDatagram(big, QHostAddress::LocalHost, form->replies().listenPort());
    sender.writeDatagram(marker, QHostAddress::LocalHost, form->replies().listenPort());
    ASSERT_TRUE(WaitFor([&] { return form->ReplyReceived(); }));
    EXPECT_EQ(form->replies().handledDatagrams(), 1);
    EXPECT_EQ(form->LastReplyData(), "0042");
}

// The kestrix-sim program itself: starts, answers a page read on loopback and
// dumps the events it holds.
TEST(SimulatorProgram, AnswersAPageReadOnLoopback) {
    QTemporaryDir dir;
    QUdpSocket client;
    ASSERT_TRUE(client.bind(QHostAddress::LocalHost, 0));
    const QString dump = dir.filePath("events.txt");
    test::SimProcess sim(KESTRIX_SIM_PATH, client.localPort(),
                         {"--event-count", "40", "--last-day", "2024-05-30", "--dump-events", dump});

    const auto request = HexToBytes(BuildControllerMessage(PageReadBody(0)));
    client.writeDatagram(reinterpret_cast<const char*>(request.data()), static_cast<qint64>(request.size()),
                         QHostAddress::LocalHost, sim.port());
    ASSERT_TRUE(client.waitForReadyRead(5000));
    const QByteArray reply = client.receiveDatagram().data();
    ReplySlot slot;
    ASSERT_TRUE(AcceptControllerReply(slot, {reinterpret_cast<const std::uint8_t*>(reply.constData()),
                                             static_cast<std::size_t>(reply.size())}));

    QFile file(dump);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = file.readAll().split('\n');
    ASSERT_GE(lines.size(), 40);
    // Every dumped event is in the memory the simulator answered from.
    const QString firstEvent = QString::fromLatin1(lines[0]).trimmed();
    EXPECT_TRUE(QString::fromStdString(slot.data).contains(firstEvent)) << firstEvent.toStdString();
    EXPECT_TRUE(sim.stop());
}
