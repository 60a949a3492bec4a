// kestrix-collect against simulated controllers on loopback and a real
// database (embedded engine): the program itself, run as cron would run it.

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QProcess>
#include <QUdpSocket>
#include <cstdio>
#include <set>

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

namespace {

struct Summary {
    int events = -1, loaded = -1, duplicates = -1;
};

// The summary line of a controller: "<id>: read N events, loaded L, duplicates D, ...".
Summary SummaryOf(const std::string& out, const std::string& id) {
    Summary summary;
    const std::size_t at = out.find(id + ": read ");
    if (at != std::string::npos)
        std::sscanf(out.c_str() + at + id.size(), ": read %d events, loaded %d, duplicates %d", &summary.events,
                    &summary.loaded, &summary.duplicates);
    return summary;
}

// Two workstations collect the same controller into one database at the same
// moment: each with its own link to the controller, both loading at once.
class ConcurrentCollectTest : public CollectTest, public ::testing::WithParamInterface<bool> {
protected:
    bool onServer() const { return GetParam(); }
    std::string database() const { return (onServer() ? "localhost:" : "") + app.path() + "DB/CBASE.FDB"; }
    std::string password;
};

}  // namespace

TEST_P(ConcurrentCollectTest, TwoCollectorsOfOneControllerStoreEachEventOnce) {
    if (onServer()) {
        password = FirebirdServerPassword();
        if (password.empty()) GTEST_SKIP() << "no Firebird server installed";
        // The server runs as its own user.
        for (const std::string& path : {app.path(), app.path() + "DB", app.path() + "DB/CBASE.FDB"})
            std::filesystem::permissions(path, std::filesystem::perms::all);
        app.writeSettings("[main]\r\ninterface=eth0\r\nDB_path=localhost:" + app.path() + "DB\r\nDB_pass=" + password +
                          "\r\n");
    }
    startSimulator(GeneratedMemory(1500), {});
    // The second workstation's link: the same controller memory behind another port.
    const quint16 secondControllerPort = FreeUdpPort(QHostAddress("127.0.0.2"));
    const quint16 secondReplyPort = FreeUdpPort(QHostAddress::AnyIPv4);
    ASSERT_NE(secondControllerPort, 0);
    ASSERT_NE(secondReplyPort, 0);
    sim::SimulatorCore secondCore(core->memory(), {});
    sim::SimulatorServer secondServer(secondCore, "127.0.0.2", secondControllerPort, secondReplyPort);

    const QStringList arguments{"--controller", QString::fromStdString(kAnswering), "--mode", "ip"};
    QProcess* first = start(arguments);
    auto* second = new QProcess;
    second->start(KESTRIX_COLLECT_PATH, QStringList(arguments)
                                            << "--app-dir" << QString::fromStdString(app.path()) << "--reply-port"
                                            << QString::number(secondReplyPort) << "--controller-port"
                                            << QString::number(secondControllerPort) << "--reply-timeout-ms" << "500");
    const Outcome a = finish(first);
    const Outcome b = finish(second);
    ASSERT_EQ(a.status, 0) << a.err;
    ASSERT_EQ(b.status, 0) << b.err;

    const std::set<std::string> distinct(core->memory().writtenEvents().begin(), core->memory().writtenEvents().end());
    const auto stored = QueryRows(database(), "SELECT dt, uid, evn, evnh FROM fb_evn WHERE dvs = '" + kAnswering + "'",
                                  {"dt", "uid", "evn", "evnh"}, password.empty() ? "fbdefault" : password);
    EXPECT_EQ(stored.size(), distinct.size());
    EXPECT_EQ(std::set<std::string>(stored.begin(), stored.end()).size(), stored.size()) << "an event stored twice";
    // The counters stay true for each program, and together they count the table.
    const Summary one = SummaryOf(a.out, kAnswering), two = SummaryOf(b.out, kAnswering);
    EXPECT_EQ(one.loaded + one.duplicates, one.events) << a.out;
    EXPECT_EQ(two.loaded + two.duplicates, two.events) << b.out;
    EXPECT_EQ(one.loaded + two.loaded, static_cast<int>(stored.size())) << a.out << b.out;
}

INSTANTIATE_TEST_SUITE_P(EmbeddedAndServer, ConcurrentCollectTest, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "OnTheServer" : "Embedded"; });

// A program whose engine opens the file for itself alone (this test, with the
// engine's own single-process configuration) holds the database: the run
// waits the bound it was given, then ends with 2 and says why.
TEST_F(CollectTest, ADatabaseHeldWithoutSharingEndsTheRunWithTwoAfterTheWait) {
    auto holder = DatabaseConnection::Connect(kClientLibrary, app.path() + "DB/CBASE.FDB", "SYSDBA", "fbdefault");
    QElapsedTimer clock;
    clock.start();
    const Outcome run = collect({"--all", "--mode", "ip", "--db-wait-seconds", "2"});
    EXPECT_EQ(run.status, 2) << run.err;
    EXPECT_GE(clock.elapsed(), 2000);
    EXPECT_NE(run.err.find("is held by a program that does not share it; waiting"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("gave up after 2 s"), std::string::npos) << run.err;
    EXPECT_TRUE(core->received().empty());  // nothing was asked of the controllers
}

// Run by root, the programs open no database in a folder that another user
// can change: a link put there could turn the engine's lock files into any
// file of the system.
TEST_F(CollectTest, AsRootItOpensNoDatabaseInAFolderAnotherUserCanChange) {
    if (::geteuid() != 0) GTEST_SKIP() << "only root is refused";
    const std::string database = app.path() + "DB", lock = database + "/firebird-lock";
    const struct {
        const char* what;
        std::string changeable;
        std::function<void()> allow, undo;
    } cases[] = {
        {"a database folder of another user", database, [&] { ASSERT_EQ(::chown(database.c_str(), 65534, 0), 0); },
         [&] { ASSERT_EQ(::chown(database.c_str(), 0, 0), 0); }},
        {"a database folder another group may write", database,
         [&] { ASSERT_EQ(::chown(database.c_str(), 0, 65534), 0); ::chmod(database.c_str(), 02770); },
         [&] { ASSERT_EQ(::chown(database.c_str(), 0, 0), 0); ::chmod(database.c_str(), 0755); }},
        {"a database folder everybody may write", database, [&] { ::chmod(database.c_str(), 0777); },
         [&] { ::chmod(database.c_str(), 0755); }},
        {"a lock folder of another user", lock,
         [&] { std::filesystem::create_directory(lock); ASSERT_EQ(::chown(lock.c_str(), 65534, 65534), 0); },
         [&] { std::filesystem::remove(lock); }},
    };
    for (const auto& c : cases) {
        c.allow();
        const Outcome run = collect({"--list"});
        EXPECT_EQ(run.status, 2) << c.what;
        EXPECT_NE(run.err.find("Not as root: other users can change " + c.changeable), std::string::npos)
            << c.what << ": " << run.err;
        c.undo();
    }
    EXPECT_EQ(collect({"--list"}).status, 0);
}

// fb_dvs is any operator's to write: an id that is no controller's 12 hex
// digits is reported and skipped, and never becomes part of a file name.
TEST_F(CollectTest, AnIdThatIsNoControllerIsSkippedAndNamesNoFile) {
    {
        auto connection = DatabaseConnection::Connect(kClientLibrary, app.path() + "DB/CBASE.FDB", "SYSDBA", "fbdefault");
        connection->prepare("INSERT INTO fb_dvs VALUES ('../../x', '7F000002')")->execute();
        connection->prepare("INSERT INTO fb_dvs VALUES ('AB' || ASCII_CHAR(27) || '[2J', '7F000002')")->execute();
        connection->commit();
    }
    std::filesystem::create_directories(app.path() + "exports/deeper");
    const Outcome run = collect({"--all", "--mode", "ip", "--export", QString::fromStdString(app.path() + "exports/deeper/{mac}.txt")});
    EXPECT_EQ(run.status, 1) << run.err;
    EXPECT_NE(run.err.find("../../x: not a controller id (12 hex digits); skipped"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("AB?[2J: not a controller id"), std::string::npos) << run.err;
    EXPECT_EQ(run.out.find('\033'), std::string::npos);  // nothing from the table reaches the terminal as a control
    EXPECT_FALSE(std::filesystem::exists(app.path() + "x.txt"));
    EXPECT_FALSE(std::filesystem::exists(app.path() + "exports/x.txt"));
    // The real controllers still run: the answering one is read and loaded.
    EXPECT_TRUE(std::filesystem::exists(app.path() + "exports/deeper/" + kAnswering + ".txt"));
    EXPECT_GT(storedRows(kAnswering), 0);
    EXPECT_EQ(core->receivedBodies(sim::RequestKind::PageRead).size(), 6144u);  // asked once: for its own id only
}

// A controller that answers only after its run has given up, followed in the
// same run by a prompt one: the late replies are not the second one's pages.
TEST_F(CollectTest, ALateControllersRepliesNeverReachTheNextControllersRun) {
    const std::string late = "AABBCC000004";  // 127.0.0.4
    {
        auto connection = DatabaseConnection::Connect(kClientLibrary, app.path() + "DB/CBASE.FDB", "SYSDBA", "fbdefault");
        connection->prepare("INSERT INTO fb_dvs VALUES ('" + late + "', '7F000004')")->execute();
        connection->commit();
    }
    // The late controller's memory holds other events than the prompt one's.
    // It answers after both waits of a page have run out.
    sim::SimulatorCore lateCore(GeneratedMemory(300, 7, 99), {.latencyMs = 1200});
    sim::SimulatorServer lateServer(lateCore, "127.0.0.4", controllerPort, replyPort);

    const Outcome run = collect({"--jobs", "1", "--controller", QString::fromStdString(late), "--controller",
                                 QString::fromStdString(kAnswering), "--mode", "ip", "--export",
                                 QString::fromStdString(app.path() + "events-{mac}.txt")});
    EXPECT_EQ(run.status, 1) << run.err;  // the late one counts as silent
    EXPECT_NE(run.err.find(late + ": Контроллер не отвечает"), std::string::npos) << run.err;
    EXPECT_GE(lateCore.receivedBodies(sim::RequestKind::PageRead).size(), 2u);
    EXPECT_EQ(storedRows(late), 0);
    // The prompt controller's pages are its own: its events exactly, in order.
    QByteArray expected;
    for (const HexText& record : core->memory().writtenEvents()) expected += QByteArray::fromStdString(record) + "\r\n";
    EXPECT_EQ(FileText(app.path() + "events-" + kAnswering + ".txt"), expected.toStdString());
    const std::set<std::string> distinct(core->memory().writtenEvents().begin(), core->memory().writtenEvents().end());
    EXPECT_EQ(storedRows(kAnswering), static_cast<int>(distinct.size()));
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

// A site collected several controllers at once: each controller's pages are
// matched to it by the address they come from. Among them one that never
// answers, and one that answers only after its run has given up, while the
// others are still being read.
TEST_F(CollectTest, ControllersCollectedAtOnceStoreEachOnlyItsOwnEvents) {
    const std::string late = "AABBCC000004", second = "AABBCC000006", third = "AABBCC000007";
    {
        auto connection = DatabaseConnection::Connect(kClientLibrary, app.path() + "DB/CBASE.FDB", "SYSDBA", "fbdefault");
        for (const auto& [id, ip] : {std::pair{late, "7F000004"}, {second, "7F000006"}, {third, "7F000007"}})
            connection->prepare("INSERT INTO fb_dvs VALUES ('" + id + "', '" + ip + "')")->execute();
        connection->commit();
    }
    sim::SimulatorCore lateCore(GeneratedMemory(300, 7, 99), {.latencyMs = 1200});
    sim::SimulatorServer lateServer(lateCore, "127.0.0.4", controllerPort, replyPort);
    sim::SimulatorCore secondCore(GeneratedMemory(500, 7, 5), {.latencyMs = 1});
    sim::SimulatorServer secondServer(secondCore, "127.0.0.6", controllerPort, replyPort);
    sim::SimulatorCore thirdCore(GeneratedMemory(700, 7, 6), {});
    sim::SimulatorServer thirdServer(thirdCore, "127.0.0.7", controllerPort, replyPort);

    const Outcome run = collect({"--all", "--jobs", "5", "--mode", "ip", "--export",
                                 QString::fromStdString(app.path() + "events-{mac}.txt")});
    EXPECT_EQ(run.status, 1) << run.err;
    for (const std::string& quiet : {late, kSilent}) {
        EXPECT_NE(run.err.find(quiet + ": Контроллер не отвечает"), std::string::npos) << run.err;
        EXPECT_EQ(storedRows(quiet), 0) << quiet;
    }
    EXPECT_GE(lateCore.receivedBodies(sim::RequestKind::PageRead).size(), 2u);
    const struct {
        std::string id;
        const sim::SimulatorCore& controller;
    } answering[] = {{kAnswering, *core}, {second, secondCore}, {third, thirdCore}};
    for (const auto& c : answering) {
        const auto& events = c.controller.memory().writtenEvents();
        std::string expected;
        for (const HexText& record : events) expected += record + "\r\n";
        EXPECT_EQ(FileText(app.path() + "events-" + c.id + ".txt"), expected) << c.id;
        EXPECT_EQ(storedRows(c.id), static_cast<int>(std::set<std::string>(events.begin(), events.end()).size())) << c.id;
        EXPECT_NE(run.out.find(c.id + ": read " + std::to_string(events.size()) + " events"), std::string::npos) << run.out;
    }
}
