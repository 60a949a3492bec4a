// MAC mode on a real wire: a network namespace of this test holds the
// controller (kestrix-sim behind a veth end with the MAC 00:11:22:33:44:AA and
// the address 192.51.68.170); the window sends through the host end with the
// real capture library. Every frame on the host end is captured and checked,
// and kestrix-collect is held to the window's requests on the same wire.
// Needs root (namespaces, raw frames); elsewhere the test says so and skips.

#include <pcap/pcap.h>
#include <unistd.h>

#include <QProcess>
#include <QRegularExpression>
#include <QUdpSocket>
#include <atomic>
#include <mutex>
#include <thread>

#include "tests/support/FormFixture.h"
#include "tests/support/FrameCheck.h"
#include "tests/support/FreeUdpPort.h"
#include "tests/support/SimProcess.h"

using namespace kestrix;
using namespace kestrix::test;

namespace {

const std::string kControllerMac = "0011223344AA";
const std::string kControllerIp = "192.51.68.170";  // 192 and the MAC's last three bytes

// Exit code and output (standard error too, unless only standard output is wanted).
std::pair<int, std::string> RunCommand(const QString& program, const QStringList& arguments, bool withErrors = true) {
    QProcess process;
    process.setProcessChannelMode(withErrors ? QProcess::MergedChannels : QProcess::SeparateChannels);
    process.start(program, arguments);
    if (!process.waitForFinished(20000)) return {-1, "timed out"};
    return {process.exitCode(), process.readAll().toStdString()};
}

// A namespace with one veth pair; removed with everything in it whatever happens.
class TestNetwork {
public:
    TestNetwork() {
        const QString id = QString::number(::getpid() % 100000);
        ns = "kxns" + id;
        hostEnd = "kxh" + id;
        controllerEnd = "kxc" + id;
        hostIp = "10.213." + QString::number(::getpid() % 250) + ".1";
        const std::vector<QStringList> steps = {
            {"netns", "add", ns},
            {"link", "add", hostEnd, "type", "veth", "peer", "name", controllerEnd},
            {"link", "set", controllerEnd, "netns", ns},
            {"addr", "add", hostIp + "/30", "dev", hostEnd},
            {"link", "set", hostEnd, "up"},
            {"-n", ns, "link", "set", controllerEnd, "address", "00:11:22:33:44:aa"},
            {"-n", ns, "addr", "add", QString::fromStdString(kControllerIp) + "/32", "dev", controllerEnd},
            {"-n", ns, "link", "set", controllerEnd, "up"},
            {"-n", ns, "link", "set", "lo", "up"},
            {"-n", ns, "route", "add", hostIp + "/32", "dev", controllerEnd},
            // A host route on the test veth: nothing for the controller's address leaves elsewhere.
            {"route", "add", QString::fromStdString(kControllerIp) + "/32", "dev", hostEnd},
        };
        for (const QStringList& step : steps) {
            const auto [code, output] = RunCommand("ip", step);
            if (code != 0) {
                failure = "ip " + step.join(' ').toStdString() + ": " + output;
                return;
            }
        }
        ready = true;
    }
    ~TestNetwork() {
        RunCommand("ip", {"link", "del", hostEnd});  // takes its peer and the host route with it
        RunCommand("ip", {"netns", "del", ns});
    }
    bool routeToControllerIsOurs() const {
        const auto [code, output] = RunCommand("ip", {"route", "get", QString::fromStdString(kControllerIp)});
        return code == 0 && output.find("dev " + hostEnd.toStdString() + " ") != std::string::npos;
    }

    QString ns, hostEnd, controllerEnd, hostIp;
    bool ready = false;
    std::string failure;
};

// Closing a packet socket waits for an RCU grace period: about 30 ms on a stock
// kernel, 1 ms with expedited grace periods. MAC mode opens and closes the
// device for every frame, so a download of 6,144 pages takes minutes without
// them; the wire tests ask for them while they run and put the old value back.
class ExpeditedGracePeriods {
public:
    ExpeditedGracePeriods() {
        QFile knob(kKnob);
        if (!knob.open(QIODevice::ReadOnly)) return;
        m_old = knob.readAll().trimmed();
        knob.close();
        if (m_old != "1" && knob.open(QIODevice::WriteOnly)) knob.write("1");
    }
    ~ExpeditedGracePeriods() {
        QFile knob(kKnob);
        if (!m_old.isEmpty() && m_old != "1" && knob.open(QIODevice::WriteOnly)) knob.write(m_old);
    }

private:
    static constexpr const char* kKnob = "/sys/kernel/rcu_expedited";
    QByteArray m_old;
};

// Every frame seen on an interface, in and out, written to a capture file too.
class FrameRecorder {
public:
    FrameRecorder(const std::string& device, const std::string& file) {
        char error[PCAP_ERRBUF_SIZE] = {};
        m_pcap = pcap_open_live(device.c_str(), 2048, 0, 10, error);
        if (!m_pcap) return;
        m_dump = pcap_dump_open(m_pcap, file.c_str());
        m_thread = std::thread([this] {
            while (!m_stop) {
                pcap_pkthdr* header = nullptr;
                const u_char* data = nullptr;
                if (pcap_next_ex(m_pcap, &header, &data) != 1) continue;
                std::lock_guard lock(m_mutex);
                m_frames.emplace_back(data, data + header->caplen);
                if (m_dump) pcap_dump(reinterpret_cast<u_char*>(m_dump), header, data);
            }
        });
    }
    ~FrameRecorder() { stop(); }
    bool running() const { return m_pcap != nullptr; }
    void stop() {
        m_stop = true;
        if (m_thread.joinable()) m_thread.join();
        if (m_dump) pcap_dump_close(m_dump), m_dump = nullptr;
        if (m_pcap) pcap_close(m_pcap), m_pcap = nullptr;
    }
    std::vector<std::vector<std::uint8_t>> frames() {
        std::lock_guard lock(m_mutex);
        return m_frames;
    }

private:
    pcap_t* m_pcap = nullptr;
    pcap_dumper_t* m_dump = nullptr;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
    std::mutex m_mutex;
    std::vector<std::vector<std::uint8_t>> m_frames;
};

// Lines of a text file written by the simulator or the collector, trimmed.
std::vector<std::string> ReadLines(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) ADD_FAILURE() << "cannot read " << path.toStdString();
    std::vector<std::string> lines;
    for (const QByteArray& line : file.readAll().split('\n'))
        if (!line.trimmed().isEmpty()) lines.push_back(line.trimmed().toStdString());
    return lines;
}

// The network is made before the window, so that the window lists its device.
class MacWireTest : public FormFixture {
protected:
    FormServices services() override {
        FormServices s = FormFixture::services();
        s.capture = std::make_shared<LibpcapCapture>();
        return s;
    }
    void SetUp() override {
        if (::geteuid() != 0) GTEST_SKIP() << "needs root for network namespaces and raw frames; not run";
        network.emplace();
        if (!network->ready) GTEST_SKIP() << "network namespaces cannot be created here: " << network->failure;
        ASSERT_TRUE(network->routeToControllerIsOurs())
            << "the route to " << kControllerIp << " does not go through " << network->hostEnd.toStdString()
            << "; nothing is sent";
        FormFixture::SetUp();
    }
    void TearDown() override {
        stopController();
        form.reset();
        network.reset();
    }

    // The controller, inside the namespace: it answers to replyPort and logs
    // every request it receives to requestLog.
    void startController(quint16 replyPort, const QString& requestLog, const QString& eventDump) {
        sim = std::make_unique<SimProcess>(KESTRIX_SIM_PATH, replyPort,
                                           QStringList{"--event-count", "700", "--dump-events", eventDump, "--log", requestLog},
                                           QString::fromStdString(kControllerIp), kControllerPort,
                                           QStringList{"ip", "netns", "exec", network->ns});
    }
    void stopController() {
        if (!sim) return;
        EXPECT_TRUE(sim->stop());
        sim.reset();
    }

    // The operator picks the host end of the veth in MAC mode and the controller's MAC.
    void chooseTheWireInMacMode() {
        ASSERT_TRUE(form->FillInterfaceTable());
        form->ChooseInterface();
        const auto& names = form->interfaces().deviceNames;
        const auto entry = std::find(names.begin(), names.end(), network->hostEnd.toStdString());
        ASSERT_NE(entry, names.end()) << "the capture library does not list " << network->hostEnd.toStdString();
        control<QComboBox>("ComboBox1")->setCurrentIndex(static_cast<int>(entry - names.begin()));
        ASSERT_EQ(form->interfaces().addressText(form->selectedInterfaceIndex()), network->hostIp.toStdString());
        ASSERT_TRUE(form->isMacMode());
        control<QComboBox>("edit1")->setEditText(QString::fromStdString(kControllerMac));
        ASSERT_TRUE(network->routeToControllerIsOurs());
    }

    ExpeditedGracePeriods gracePeriods;
    std::optional<TestNetwork> network;
    QTemporaryDir work;
    std::unique_ptr<SimProcess> sim;
};

}  // namespace

TEST_F(MacWireTest, TestSignalAndFullDownloadThroughAVethPair) {
    const QString dump = work.filePath("events.txt");
    ASSERT_NO_FATAL_FAILURE(startController(form->replies().listenPort(), work.filePath("requests.txt"), dump));

    const std::string captureFile = work.filePath("wire.pcap").toStdString();
    FrameRecorder recorder(network->hostEnd.toStdString(), captureFile);
    ASSERT_TRUE(recorder.running());
    ASSERT_NO_FATAL_FAILURE(chooseTheWireInMacMode());

    control<QPushButton>("Button4")->click();
    EXPECT_TRUE(WaitFor([&] { return sim->readOutput().contains("test signal received"); }, std::chrono::seconds(5)));
    control<QPushButton>("Button2")->click();
    EXPECT_TRUE(dialogs.boxes.empty()) << dialogs.boxes.front().text.toStdString();

    const std::vector<HexText> written = ReadLines(dump);
    EXPECT_EQ(written.size(), 700u);
    EXPECT_EQ(form->EventList(), written);  // every reply came back to the reply port

    QTest::qWait(200);
    recorder.stop();
    stopController();

    // Our frames on the wire: the test signal and one read per page (and a
    // repeat for any page that went unanswered).
    int testSignals = 0, reads = 0;
    for (const auto& frame : recorder.frames()) {
        const FrameReport report = CheckFrame(frame);
        if (!report.wellFormed || report.destinationPort != 7715) continue;
        ASSERT_TRUE(frame.size() == 48 || frame.size() == 50) << frame.size();
        ASSERT_TRUE(report.ipChecksumValid);
        ASSERT_TRUE(report.udpChecksumValid);
        ASSERT_EQ(report.sourcePort, 7712);
        ASSERT_EQ(BytesToHex(std::span<const std::uint8_t>(frame).first(6)), kControllerMac);
        (frame.size() == 48 ? testSignals : reads) += 1;
    }
    EXPECT_EQ(testSignals, 1);
    EXPECT_GE(reads, 6144);

    // The same capture through tshark's own checksum validation, where it is installed.
    if (RunCommand("tshark", {"--version"}).first != 0) {
        std::cout << "[   NOTE   ] tshark is not installed: frames checked by the test's own parser only\n";
        return;
    }
    const auto [code, output] = RunCommand("tshark", {"-r", QString::fromStdString(captureFile), "-o", "ip.check_checksum:TRUE",
                                               "-o", "udp.check_checksum:TRUE", "-Y", "udp.dstport == 7715", "-T", "fields",
                                               "-e", "frame.len", "-e", "ip.checksum.status", "-e", "udp.checksum.status"},
                                                      false);
    ASSERT_EQ(code, 0) << output;
    int checked = 0;
    for (const QString& line : QString::fromStdString(output).split('\n', Qt::SkipEmptyParts)) {
        const QStringList fields = line.split('\t');
        ASSERT_EQ(fields.size(), 3) << line.toStdString();
        EXPECT_TRUE(fields[0] == "48" || fields[0] == "50") << line.toStdString();
        EXPECT_EQ(fields[1], "1") << line.toStdString();  // good
        EXPECT_EQ(fields[2], "1") << line.toStdString();
        ++checked;
    }
    EXPECT_EQ(checked, testSignals + reads);
}

// One session serves both: over the wire in MAC mode, kestrix-collect (run as
// cron would run it) sends the controller the window's requests, in the
// window's order, and reads the window's events from it.
TEST_F(MacWireTest, TheCollectorSendsTheWindowsRequestsAndReadsTheSameEvents) {
    const QString windowRequests = work.filePath("window-requests.txt");
    ASSERT_NO_FATAL_FAILURE(startController(form->replies().listenPort(), windowRequests, work.filePath("events.txt")));
    ASSERT_NO_FATAL_FAILURE(chooseTheWireInMacMode());
    control<QPushButton>("Button2")->click();
    EXPECT_TRUE(dialogs.boxes.empty()) << dialogs.boxes.front().text.toStdString();
    const std::vector<HexText> windowEvents = form->EventList();
    ASSERT_EQ(windowEvents.size(), 700u);
    stopController();

    // The collector's own directory: a database that knows the controller, a
    // settings file that names no interface (the option names it).
    AppDirectory collectorApp;
    CreateDatabase(collectorApp.path() + "DB", "INSERT INTO fb_dvs VALUES ('" + kControllerMac + "', 'C03344AA');\n");
    collectorApp.writeSettings("[main]\r\n");
    const quint16 collectorReplyPort = FreeUdpPort(QHostAddress::AnyIPv4);
    ASSERT_NE(collectorReplyPort, 0);
    const QString collectorRequests = work.filePath("collector-requests.txt"), exported = work.filePath("export.txt");
    ASSERT_NO_FATAL_FAILURE(startController(collectorReplyPort, collectorRequests, work.filePath("events-again.txt")));

    QProcess collector;
    collector.start(KESTRIX_COLLECT_PATH,
                    {"--app-dir", QString::fromStdString(collectorApp.path()), "--controller",
                     QString::fromStdString(kControllerMac), "--mode", "mac", "--interface", network->hostEnd,
                     "--reply-port", QString::number(collectorReplyPort), "--export", exported});
    ASSERT_TRUE(collector.waitForFinished(300000));
    const std::string out = collector.readAllStandardOutput().toStdString();
    EXPECT_EQ(collector.exitCode(), 0) << out << collector.readAllStandardError().toStdString();
    EXPECT_NE(out.find(kControllerMac + ": read 700 events"), std::string::npos) << out;
    stopController();

    const std::vector<std::string> sentByWindow = ReadLines(windowRequests);
    ASSERT_EQ(sentByWindow.size(), 6144u);  // one read a page, none repeated on this wire
    EXPECT_EQ(sentByWindow.front(), "DA000000");
    EXPECT_EQ(ReadLines(collectorRequests), sentByWindow);
    EXPECT_EQ(ReadLines(exported), windowEvents);
}

// MAC mode for an operator without any capability of its own: the collector
// hands each frame to the frame-sending helper, the one program that holds
// CAP_NET_RAW, and reads the controller's whole memory over the wire. The
// built programs are laid out as an installation holds them and run as user
// nobody; with KESTRIX_INSTALLED_COLLECT and KESTRIX_OPERATOR (the package
// test) the installed collector runs as that operator on the installation's
// database.
TEST_F(MacWireTest, AnOperatorWithoutCapabilitiesCollectsThroughTheHelper) {
    const QString installed = qEnvironmentVariable("KESTRIX_INSTALLED_COLLECT");
    const QString operatorName = qEnvironmentVariable("KESTRIX_OPERATOR");
    QTemporaryDir installation;
    QString program = installed;
    QStringList runAs{"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", "--"};
    if (installed.isEmpty()) {
        const QString built = QFileInfo(KESTRIX_COLLECT_PATH).path();
        QFile::setPermissions(installation.path(), QFileDevice::Permissions(0x7755));
        QDir().mkpath(installation.filePath("firebird/intl"));
        for (const QString& file : {QStringLiteral("kestrix-collect"), QStringLiteral("kestrix-send"),
                                    QStringLiteral("firebird/firebird.conf"), QStringLiteral("firebird/intl/libfbintl.so")})
            ASSERT_TRUE(QFile::copy(built + "/" + file, installation.filePath(file))) << file.toStdString();
        ASSERT_EQ(RunCommand("setcap", {"cap_net_raw=ep", installation.filePath("kestrix-send")}).first, 0);
        program = installation.filePath("kestrix-collect");
        // The operator's database, and the administrator's settings it may read but not change.
        const std::string database = installation.filePath("DB").toStdString();
        CreateDatabase(database);
        ASSERT_EQ(RunCommand("chown", {"-R", "65534:65534", QString::fromStdString(database)}).first, 0);
        WriteSettings(installation.filePath("settings.ini").toStdString(), "[main]\r\n");
    } else {
        ASSERT_FALSE(operatorName.isEmpty()) << "KESTRIX_OPERATOR names the operator who runs it";
        runAs = {"setpriv", "--reuid=" + operatorName, "--regid=" + operatorName, "--init-groups", "--"};
    }
    // Nothing of the collector's own may send raw frames.
    EXPECT_EQ(RunCommand("getcap", {program}).second, "");

    QTemporaryDir exports;
    QFile::setPermissions(exports.path(), QFileDevice::Permissions(0x7777));
    const quint16 replyPort = FreeUdpPort(QHostAddress::AnyIPv4);
    ASSERT_NE(replyPort, 0);
    const QString requests = work.filePath("requests.txt"), dump = work.filePath("events.txt");
    ASSERT_NO_FATAL_FAILURE(startController(replyPort, requests, dump));
    QProcess collector;
    collector.start(runAs.front(), runAs.mid(1) << program << "--controller" << QString::fromStdString(kControllerMac)
                                                << "--mode" << "mac" << "--interface" << network->hostEnd << "--reply-port"
                                                << QString::number(replyPort) << "--export" << exports.filePath("events.txt"));
    ASSERT_TRUE(collector.waitForFinished(300000));
    const std::string out = collector.readAllStandardOutput().toStdString();
    EXPECT_EQ(collector.exitCode(), 0) << out << collector.readAllStandardError().toStdString();
    EXPECT_NE(out.find(kControllerMac + ": read 700 events"), std::string::npos) << out;
    stopController();
    EXPECT_EQ(ReadLines(requests).size(), 6144u);
    EXPECT_EQ(ReadLines(exports.filePath("events.txt")), ReadLines(dump));
}
