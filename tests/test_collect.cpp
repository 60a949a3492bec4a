// kestrix-collect against simulated controllers on loopback and a real
// database (embedded engine): the program itself, run as cron would run it.

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QProcess>
#include <QUdpSocket>

#include "db/EventLoader.h"
#include "tests/support/FreeUdpPort.h"
#include "tests/support/SimulatorFixture.h"
#include "tests/support/TestDatabase.h"
#include "tools/sim/SimulatorServer.h"

using namespace kestrix;
using namespace kestrix::test;

namespace {

const std::string kAnswering = "AABBCC000001";  // 127.0.0.2, a simulator
const std::string kSilent = "AABBCC000002";     // 127.0.0.3, nobody there

struct Outcome {
    int status = -1;
    std::string out, err;
};

class CollectTest : public ::testing::Test {
protected:
    void SetUp() override {
        CreateDatabase(app.path() + "DB", "INSERT INTO fb_dvs VALUES ('" + kAnswering + "', '7F000002');\n"
                                          "INSERT INTO fb_dvs VALUES ('" + kSilent + "', '7F000003');\n");
        app.writeSettings("[main]\r\ninterface=eth0\r\n");
        controllerPort = FreeUdpPort(QHostAddress("127.0.0.2"));
        ASSERT_NE(controllerPort, 0);
        replyPort = FreeUdpPort(QHostAddress::AnyIPv4);
        ASSERT_NE(replyPort, 0);
        startSimulator(GeneratedMemory(400), {});
    }
    void startSimulator(sim::ControllerMemory memory, sim::FaultOptions faults) {
        server.reset();
        core.emplace(std::move(memory), faults);
        server.emplace(*core, "127.0.0.2", controllerPort, replyPort);
    }

    QProcess* start(QStringList arguments) {
        arguments << "--app-dir" << QString::fromStdString(app.path()) << "--reply-port" << QString::number(replyPort)
                  << "--controller-port" << QString::number(controllerPort) << "--reply-timeout-ms" << "500";
        auto* process = new QProcess;
        process->start(KESTRIX_COLLECT_PATH, arguments);
        process->waitForStarted();
        return process;
    }
    static Outcome finish(QProcess* process) {
        process->waitForFinished(120000);
        Outcome run{process->exitStatus() == QProcess::NormalExit ? process->exitCode() : -1,
                process->readAllStandardOutput().toStdString(), process->readAllStandardError().toStdString()};
        delete process;
        return run;
    }
    Outcome collect(const QStringList& arguments) { return finish(start(arguments)); }
    int storedRows(const std::string& dvs) {
        return static_cast<int>(QueryRows(app.path() + "DB/CBASE.FDB",
                                          "SELECT dt FROM fb_evn WHERE dvs = '" + dvs + "'", {"dt"}).size());
    }

    AppDirectory app;
    quint16 controllerPort = 0, replyPort = 0;
    std::optional<sim::SimulatorCore> core;
    std::optional<sim::SimulatorServer> server;
};

}  // namespace

TEST_F(CollectTest, ListsTheControllersWithTheirAddresses) {
    // Listed only: the address derived from its MAC is never sent to from a test.
    {
        auto connection = DatabaseConnection::Connect(kClientLibrary, app.path() + "DB/CBASE.FDB", "SYSDBA", "fbdefault");
        connection->prepare("INSERT INTO fb_dvs VALUES ('AABBCC000003', NULL)")->execute();
        connection->commit();
    }
    const Outcome run = collect({"--list"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, kAnswering + "  127.0.0.2\n" + kSilent + "  127.0.0.3\nAABBCC000003  192.0.0.3\n");
}

TEST_F(CollectTest, CollectsEveryControllerAndReportsTheSilentOne) {
    const Outcome run = collect({"--all", "--mode", "ip"});
    EXPECT_EQ(run.status, 1);
    // The proposed interval, last day whole: every distinct event is stored.
    std::set<std::string> distinct(core->memory().writtenEvents().begin(), core->memory().writtenEvents().end());
    EXPECT_EQ(storedRows(kAnswering), static_cast<int>(distinct.size()));
    EXPECT_NE(run.out.find(kAnswering + ": read 400 events, loaded " + std::to_string(distinct.size())), std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find(kSilent + ": read 0 events, loaded 0, duplicates 0"), std::string::npos) << run.out;
    EXPECT_NE(run.err.find(kSilent + ": Контроллер не отвечает"), std::string::npos) << run.err;
    EXPECT_EQ(run.out.find('\r'), std::string::npos);  // no progress line into a file
    // The same requests as the window: every page in order.
    const auto requests = core->receivedBodies(sim::RequestKind::PageRead);
    ASSERT_EQ(requests.size(), 6144u);
    EXPECT_EQ(requests.front(), "DA000000");
    EXPECT_EQ(requests.back(), "DA002FFE");

    // Again: everything is a duplicate now.
    const Outcome again = collect({"--controller", QString::fromStdString(kAnswering), "--mode", "ip"});
    EXPECT_EQ(again.status, 0) << again.err;
    EXPECT_NE(again.out.find("loaded 0, duplicates 400"), std::string::npos) << again.out;
    EXPECT_EQ(storedRows(kAnswering), static_cast<int>(distinct.size()));
}

TEST_F(CollectTest, DatesAndExportFollowTheOptions) {
    QTemporaryDir dir;
    const QString exportFile = dir.filePath("events-{mac}.txt");
    const Outcome run = collect({"--controller", QString::fromStdString(kAnswering).toLower(), "--mode", "ip", "--from",
                             "2024-06-02", "--to", "2024-06-02", "--export", exportFile});
    EXPECT_EQ(run.status, 0) << run.err;
    QFile file(dir.filePath(QString::fromStdString("events-" + kAnswering + ".txt")));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    QByteArray expected;
    int lastDay = 0;
    std::set<std::string> lastDayEvents;
    for (const HexText& record : core->memory().writtenEvents()) {
        expected += QByteArray::fromStdString(record) + "\r\n";
        if (record.substr(0, 6) == "180602") lastDayEvents.insert(record), ++lastDay;
    }
    EXPECT_EQ(file.readAll(), expected);
    ASSERT_GT(lastDay, 0);
    EXPECT_EQ(storedRows(kAnswering), static_cast<int>(lastDayEvents.size()));
}

TEST_F(CollectTest, BadArgumentsAndConfigurationExitWithTwo) {
    const struct {
        QStringList arguments;
        const char* message;
    } cases[] = {
        {{}, "choose controllers with --controller or --all"},
        {{"--all", "--controller", "AABBCC000001"}, "either --all or --controller"},
        {{"--controller", "AABBCC00001"}, "not a controller MAC"},
        {{"--controller", "AABBCC000001", "--mode", "radio"}, "--mode takes ip or mac"},
        {{"--controller", "AABBCC000001", "--from", "2024-02-30"}, "--from wants a date"},
        {{"--controller", "AABBCC000001", "--from", "2024-06-02", "--to", "2024-06-01"}, "--from is later than --to"},
        {{"--controller", "AABBCC000001", "--bogus", "1"}, "unknown option --bogus"},
        {{"--controller"}, "missing value for --controller"},
        {{"--all", "--export", "/tmp/one-file.txt"}, "needs {mac}"},
        {{"--all", "--mode", "mac", "--interface", "no-such-device0"}, "no capture device no-such-device0"},
    };
    for (const auto& c : cases) {
        const Outcome run = collect(c.arguments);
        EXPECT_EQ(run.status, 2) << c.arguments.join(' ').toStdString();
        EXPECT_NE(run.err.find(c.message), std::string::npos) << c.message << " / " << run.err;
    }
    std::filesystem::remove(app.settingsPath());
    const Outcome noSettings = collect({"--all"});
    EXPECT_EQ(noSettings.status, 2);
    EXPECT_NE(noSettings.err.find("no settings file"), std::string::npos) << noSettings.err;
    EXPECT_EQ(storedRows(kAnswering), 0);
}

TEST_F(CollectTest, HelpIsEnglishAndExitsWithZero) {
    const Outcome run = collect({"--help"});
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.out.find("Usage: kestrix-collect"), std::string::npos);
    EXPECT_NE(run.out.find("Exit status"), std::string::npos);
}

TEST_F(CollectTest, TwoRunsOnOneDatabaseDoNotInterleave) {
    // A slow controller keeps the first run busy for a few seconds.
    startSimulator(core->memory(), {.latencyMs = 1});
    QProcess* first = start({"--controller", QString::fromStdString(kAnswering), "--mode", "ip"});
    // The second run starts once the first holds the lock (it has begun to ask for pages).
    ASSERT_TRUE(QTest::qWaitFor([&] { return core->receivedBodies(sim::RequestKind::PageRead).size() > 100; }, 20000));
    QProcess* second = start({"--controller", QString::fromStdString(kAnswering), "--mode", "ip"});
    const Outcome a = finish(first);
    const Outcome b = finish(second);
    EXPECT_EQ(a.status, 0) << a.err;
    EXPECT_EQ(b.status, 0) << b.err;
    EXPECT_NE(b.err.find("another run is collecting"), std::string::npos) << b.err;
    // Not interleaved: the first loaded everything, the second found only duplicates.
    EXPECT_NE(a.out.find("duplicates " + std::to_string(400 - storedRows(kAnswering))), std::string::npos) << a.out;
    EXPECT_NE(b.out.find("loaded 0, duplicates 400"), std::string::npos) << b.out;
    EXPECT_EQ(core->receivedBodies(sim::RequestKind::PageRead).size(), 2u * 6144u);
}

TEST_F(CollectTest, ShowsAProgressLineOnATerminal) {
    // script(1) gives the program a terminal as its standard output.
    const QString command = QStringLiteral("%1 --controller %2 --mode ip --app-dir %3 --reply-port %4 --controller-port %5")
                                .arg(KESTRIX_COLLECT_PATH, QString::fromStdString(kAnswering), QString::fromStdString(app.path()))
                                .arg(replyPort)
                                .arg(controllerPort);
    QProcess script;
    script.start("script", {"-qec", command, "/dev/null"});
    ASSERT_TRUE(script.waitForStarted()) << "script(1) is not available";
    ASSERT_TRUE(script.waitForFinished(60000));
    const std::string out = script.readAllStandardOutput().toStdString();
    EXPECT_EQ(script.exitCode(), 0) << out;
    EXPECT_NE(out.find("\r\033[K" + kAnswering + ": page "), std::string::npos) << out;
    EXPECT_NE(out.find(kAnswering + ": read 400 events"), std::string::npos) << out;
}

// One session serves both: the same controller gets the same requests from the
// window and from the collector, and both read the same events from it.
TEST_F(CollectTest, TheWindowAndTheCollectorSendTheSameRequestsAndReadTheSameEvents) {
    std::vector<HexText> windowEvents, windowRequests;
    {
        RecordingDialogs dialogs;
        QtEventPump pump;
        FormServices services{dialogs, pump, replyPort, controllerPort};
        services.appDirectory = app.path();
        services.capture = std::make_shared<FakeCapture>();
        TForm1 form(services);
        form.findChild<QRadioButton*>("RadioButton2")->click();
        form.findChild<QComboBox*>("edit1")->setEditText(QString::fromStdString(kAnswering));
        form.findChild<QLineEdit*>("Edit4")->setText("127.0.0.2");
        form.runGuarded([&] { form.Button2Click(); });
        EXPECT_TRUE(dialogs.boxes.empty());
        windowEvents = form.EventList();
        windowRequests = core->receivedBodies(sim::RequestKind::PageRead);
    }
    ASSERT_EQ(windowRequests.size(), 6144u);
    startSimulator(core->memory(), {});  // a fresh record of requests

    QTemporaryDir dir;
    const Outcome run =
        collect({"--controller", QString::fromStdString(kAnswering), "--mode", "ip", "--export", dir.filePath("events.txt")});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(core->receivedBodies(sim::RequestKind::PageRead), windowRequests);
    QFile exported(dir.filePath("events.txt"));
    ASSERT_TRUE(exported.open(QIODevice::ReadOnly));
    std::vector<HexText> collectorEvents;
    for (const QByteArray& line : exported.readAll().split('\n'))
        if (!line.trimmed().isEmpty()) collectorEvents.push_back(line.trimmed().toStdString());
    EXPECT_EQ(collectorEvents, windowEvents);
    EXPECT_EQ(collectorEvents.size(), 400u);
}
