// The program as an operator meets it: the built kestrix started as a process
// on a private X server with no window manager, driven by real X input, beside
// kestrix-sim on loopback and a Firebird database made for the test. What is
// checked is what the operator and the data see: the windows and boxes, the
// texts as drawn, the process's end, the rows of fb_evn, the export's bytes
// and settings.ini.

#include <gtest/gtest.h>
#include <unistd.h>

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>
#include <set>

#include "link/ControllerMessage.h"
#include "tests/acceptance/OperatorRun.h"
#include "tests/support/DeafServer.h"
#include "tests/support/FreeUdpPort.h"
#include "tests/support/SimProcess.h"
#include "tests/support/TestDatabase.h"

using namespace kestrix;
using namespace kestrix::test;
using namespace std::chrono_literals;

namespace {

const std::string kController = "0011223344AA";
const char* kControllerAddress = "127.0.0.77";  // where kestrix-sim plays it
const std::string kControllerRow = "INSERT INTO fb_dvs VALUES ('" + kController + "', '7F00004D');\n";

// The operator picks IP mode, sees the controller's IP and starts the
// download; waits for its event counter.
void DownloadInIpMode(const OperatorRun& run, Window window, const QString& ip, int events) {
    run.clickControl(window, "RadioButton2");
    EXPECT_EQ(run.waitForDrawn("Edit4", ip), ip);
    run.clickControl(window, "Button2");
    EXPECT_EQ(run.waitForDrawn("Label7", QString::number(events), 60s), QString::number(events));
}

// Then loads the events of the proposed interval into an empty fb_evn and
// acknowledges the report; waits for the loaded counter.
void LoadIntoTheDatabase(const OperatorRun& run, Window window, int events) {
    run.clickControl(window, "Button5");
    ASSERT_TRUE(run.answerBox(kBoxTitle, "Выполнено", 120s));
    EXPECT_EQ(run.waitForDrawn("Label11", QString::number(events)), QString::number(events));
    EXPECT_EQ(run.waitForDrawn("Label12", "0"), "0");
}

class OperatorTest : public ::testing::Test {
protected:
    void SetUp() override {
        QString why;
        x = XSession::Start(&why);
        if (!x) GTEST_SKIP() << "no X server for the acceptance tests: " << why.toStdString();
        run.emplace(*x);
    }
    void TearDown() override {
        if (simulator) simulator->stop();
        // Every text the window drew must have been drawn whole; one failure a control.
        QStringList reported;
        for (const DrawnLine& line : run ? run->clipped() : std::vector<DrawnLine>{}) {
            if (reported.contains(line.control)) continue;
            reported << line.control;
            ADD_FAILURE() << line.control.toStdString() << " drawn clipped: \"" << line.text.toStdString() << "\"";
        }
    }

    std::string databaseDirectory() const { return run->appPath() + "DB"; }
    std::string databaseFile() const { return databaseDirectory() + "/CBASE.FDB"; }
    // The rows of fb_evn under the controller, once the program has ended.
    std::string storedEvents() const {
        return QueryRows(databaseFile(), "SELECT COUNT(*) AS n FROM fb_evn WHERE dvs = '" + kController + "'", {"n"}).at(0);
    }
    void writeSettings(const std::string& extra = "") const {
        WriteSettings(run->path("settings.ini").toStdString(), "[main]\r\nDB_path=" + databaseDirectory() + "\r\n" + extra);
    }

    // kestrix-sim playing the controller at kControllerAddress; its memory is dumped to events.txt.
    void startSimulator(int events, const QStringList& faults = {}) {
        simulator = std::make_unique<SimProcess>(
            QStringLiteral(KESTRIX_SIM_PATH), kReplyListenPort,
            QStringList{"--event-count", QString::number(events), "--seed", "5", "--dump-events", run->path("events.txt"),
                        "--log", run->path("requests.log")}
                << faults,
            QString::fromLatin1(kControllerAddress), kControllerPort);
        ASSERT_TRUE(WaitFor([&] { return QFile::exists(run->path("events.txt")); }, 5s));
    }

    Window startProgram(const QStringList& environment = {}) {
        run->start(environment);
        const auto window = x->waitForWindow(kWindowTitle, 20s);
        if (!window) throw std::runtime_error("the window did not open: " + run->errorOutput().toStdString());
        // Everything is drawn once before the operator acts.
        if (run->waitForDrawn("Label11", "0") != "0") throw std::runtime_error("the window was not drawn");
        return *window;
    }

    int closeAndWait(Window window) {
        x->requestClose(window);
        const auto status = run->waitForExit(20s);
        return status.value_or(-2);
    }

    std::unique_ptr<XSession> x;
    std::optional<OperatorRun> run;
    std::unique_ptr<SimProcess> simulator;
};

}  // namespace

TEST_F(OperatorTest, TheFirstStartWritesItsSettingsAndAClosedWindowEndsTheProgram) {
    CreateDatabase(databaseDirectory(), kControllerRow);  // the default place, DB beside the program
    const Window window = startProgram();
    EXPECT_EQ(run->waitForDrawn("edit1", QString::fromStdString(kController)), QString::fromStdString(kController));
    const QByteArray settings = run->readFile("settings.ini");
    EXPECT_TRUE(settings.startsWith("[main]\r\ninterface=")) << settings.toStdString();
    EXPECT_TRUE(settings.endsWith("\r\nDB_path=" + QByteArray::fromStdString(databaseDirectory()) + "\r\n"))
        << settings.toStdString();
    EXPECT_EQ(closeAndWait(window), 0);
    EXPECT_TRUE(x->windowsTitled(kWindowTitle).empty());
}

TEST_F(OperatorTest, ADownloadAndALoadInIpModeShowEveryCounterWhole) {
    CreateDatabase(databaseDirectory(), kControllerRow);
    writeSettings();
    startSimulator(3000);
    const Window window = startProgram();
    DownloadInIpMode(*run, window, kControllerAddress, 3000);
    LoadIntoTheDatabase(*run, window, 3000);
    if (const QString picture = qEnvironmentVariable("KESTRIX_ACCEPTANCE_SCREENSHOT"); !picture.isEmpty()) {
        EXPECT_TRUE(x->grab(window).save(picture));
    }
    EXPECT_EQ(closeAndWait(window), 0);
    EXPECT_EQ(storedEvents(), "3000");
}

// A window left open on the embedded database (its connection lasts as long as
// the window) while the nightly collector loads the same controller: the
// collector gets the file too, and the window's own load then finds every
// event of its interval already there.
TEST_F(OperatorTest, TheCollectorLoadsBesideAnOpenWindowWhoseLoadThenFindsOnlyDuplicates) {
    CreateDatabase(databaseDirectory(), kControllerRow);
    writeSettings();
    startSimulator(3000);
    const Window window = startProgram();

    // The collector's own link to the controller: the same memory behind another port.
    const quint16 port = FreeUdpPort(QHostAddress(kControllerAddress)), replyPort = FreeUdpPort(QHostAddress::AnyIPv4);
    SimProcess secondLink(QStringLiteral(KESTRIX_SIM_PATH), replyPort, {"--events", run->path("events.txt")},
                          QString::fromLatin1(kControllerAddress), port);
    QProcess collector;
    collector.start(QStringLiteral(KESTRIX_COLLECT_PATH),
                    {"--controller", QString::fromStdString(kController), "--mode", "ip", "--app-dir", run->directory(),
                     "--controller-port", QString::number(port), "--reply-port", QString::number(replyPort),
                     "--db-wait-seconds", "0"});
    ASSERT_TRUE(collector.waitForFinished(120000));
    secondLink.stop();
    const QString out = QString::fromUtf8(collector.readAllStandardOutput());
    ASSERT_EQ(collector.exitCode(), 0) << collector.readAllStandardError().toStdString();
    EXPECT_TRUE(out.contains(QString::fromStdString(kController) + ": read 3000 events, loaded 3000, duplicates 0"))
        << out.toStdString();

    DownloadInIpMode(*run, window, kControllerAddress, 3000);
    run->clickControl(window, "Button5");
    ASSERT_TRUE(run->answerBox(kBoxTitle, "Выполнено", 120s));
    EXPECT_EQ(run->waitForDrawn("Label11", "0"), "0");
    // The proposed interval ends at the last day's 00:00; every event in it is a duplicate.
    const QString duplicates = run->lastDrawn("Label12")->text;
    EXPECT_GT(duplicates.toInt(), 2000) << duplicates.toStdString();
    EXPECT_EQ(closeAndWait(window), 0);
    EXPECT_EQ(storedEvents(), "3000");
}

// Under ru_RU the operator types the interval as people write dates, without
// the leading zeros; the load takes exactly the events of those days.
TEST_F(OperatorTest, DatesTypedWithoutLeadingZerosBoundTheLoad) {
    CreateDatabase(databaseDirectory(), kControllerRow);
    writeSettings();
    startSimulator(3000, {"--last-day", "2024-05-31", "--days", "7"});
    const Window window = startProgram({"LANG=ru_RU.UTF-8", "LC_ALL=ru_RU.UTF-8"});
    DownloadInIpMode(*run, window, kControllerAddress, 3000);
    for (const auto& [field, typed] : {std::pair{"PlannerDatePicker2", "28.5.2024"}, {"PlannerDatePicker3", "30.5.2024"}}) {
        run->clickControl(window, field);
        x->key("ctrl+a BackSpace");
        x->type(typed);
        EXPECT_EQ(run->waitForDrawn(field, typed), typed);
    }
    // Every event of 28, 29 and 30 May, once.
    std::set<QByteArray> due;
    for (const QByteArray& record : run->readFile("events.txt").split('\n'))
        if (record.startsWith("18051C") || record.startsWith("18051D") || record.startsWith("18051E")) due.insert(record.trimmed());
    ASSERT_GT(due.size(), 300u);
    run->clickControl(window, "Button5");
    ASSERT_TRUE(run->answerBox(kBoxTitle, "Выполнено", 120s));
    EXPECT_EQ(run->waitForDrawn("Label11", QString::number(due.size())), QString::number(due.size()));
    EXPECT_EQ(closeAndWait(window), 0);
    EXPECT_EQ(QueryRows(databaseFile(), "SELECT COUNT(*) AS n FROM fb_evn WHERE dt >= '2024-05-28' AND dt < '2024-05-31'", {"n"}),
              std::vector<std::string>{std::to_string(due.size())});
    EXPECT_EQ(QueryRows(databaseFile(), "SELECT COUNT(*) AS n FROM fb_evn", {"n"}),
              std::vector<std::string>{std::to_string(due.size())});
}

TEST_F(OperatorTest, AnExportReplacesAnExistingFileWithoutAQuestionInRussianDialogs) {
    CreateDatabase(databaseDirectory(), kControllerRow);
    writeSettings();
    startSimulator(400);
    const Window window = startProgram({"LANG=ru_RU.UTF-8", "LC_ALL=ru_RU.UTF-8"});
    DownloadInIpMode(*run, window, kControllerAddress, 400);
    run->writeFile("export.txt", "an older file that the operator chose to replace\r\n");

    run->clickControl(window, "Button6");
    const QString dialogTitle = QStringLiteral("Сохранить как");
    const auto dialog = x->waitForWindow(dialogTitle, 10s);
    ASSERT_TRUE(dialog) << "no save dialog titled in Russian";
    EXPECT_EQ(run->waitForDrawn("fileNameLabel", "&Имя файла:", 5s, dialogTitle), "&Имя файла:");
    run->clickControl(*dialog, "fileNameEdit", 1, dialogTitle);
    x->type(run->path("export.txt"));
    x->key("Return");
    ASSERT_TRUE(run->answerBox(kBoxTitle, "Выполнено", 10s)) << "the export asked something or failed";
    EXPECT_TRUE(x->windowsTitled(dialogTitle).empty());
    EXPECT_EQ(run->readFile("export.txt"), run->readFile("events.txt"));
    EXPECT_EQ(run->readFile("export.txt").size(), 34 * 400);
    EXPECT_EQ(closeAndWait(window), 0);
}

TEST_F(OperatorTest, ClosingDuringADownloadKeepsTheWindowUntilTheRunEndsThenTheProgramEnds) {
    CreateDatabase(databaseDirectory(), kControllerRow);
    writeSettings();
    startSimulator(200, {"--latency", "1"});  // a run of some seconds
    const Window window = startProgram();
    run->clickControl(window, "RadioButton2");
    run->clickControl(window, "Button2");
    ASSERT_TRUE(WaitFor([&] { return run->readFile("requests.log").count('\n') >= 50; }, 10s));
    x->requestClose(window);
    QThread::msleep(500);
    EXPECT_TRUE(x->onScreen(window)) << "the window went away before the run ended";
    EXPECT_LT(run->readFile("requests.log").count('\n'), 6144) << "the run ended too soon to tell";
    const auto status = run->waitForExit(90s);
    ASSERT_TRUE(status.has_value()) << "the program did not end after the run";
    EXPECT_EQ(*status, 0);
    // The run went on to its end (the simulator may still be writing its log).
    EXPECT_TRUE(WaitFor([&] { return run->readFile("requests.log").count("DA00") == 6144; }, 5s))
        << run->readFile("requests.log").count("DA00") << " page requests";
    EXPECT_TRUE(run->readFile("settings.ini").contains("\r\ninterface="));
}

TEST_F(OperatorTest, TheMacFieldTakesOnlyUpperCaseHexDigitsWhateverWayTheyCome) {
    CreateDatabase(databaseDirectory(), kControllerRow);
    writeSettings();
    const Window window = startProgram();
    const struct {
        const char* way;
        std::function<void()> enter;
        QString shown;
    } cases[] = {
        {"typed", [&] { x->type("a1:b2-c3 d4e5f6"); }, "A1B2C3D4E5F6"},
        {"a thirteenth typed", [&] { x->type("0011223344aab"); }, "0011223344AA"},
        {"pasted", [&] { x->setSelection("clipboard", "00:1a:2b:3c:4d:5e"); x->key("ctrl+v"); }, "001A2B3C4D5E"},
        {"pasted too long", [&] { x->setSelection("clipboard", "00:1a:2b:3c:4d:5e:6f"); x->key("shift+Insert"); }, ""},
        {"middle-click", [&] {
             x->setSelection("primary", "de:ad:be:ef:00:01");
             run->clickControl(window, "edit1", 2);
         }, "DEADBEEF0001"},
        {"middle-click too long", [&] {
             x->setSelection("primary", "de:ad:be:ef:00:01:02");
             run->clickControl(window, "edit1", 2);
         }, ""},
        {"with Alt", [&] { x->key("alt+a alt+b alt+colon alt+1"); }, ""},
        {"with Meta", [&] { x->key("super+c super+2"); }, ""},
    };
    for (const auto& c : cases) {
        run->clickControl(window, "edit1");
        x->key("ctrl+a BackSpace");
        ASSERT_EQ(run->waitForDrawn("edit1", ""), "") << c.way;
        c.enter();
        QThread::msleep(300);  // anything more that arrives is drawn by then
        EXPECT_EQ(run->waitForDrawn("edit1", c.shown, 3s), c.shown) << c.way;
    }
    EXPECT_EQ(closeAndWait(window), 0);
}


TEST_F(OperatorTest, AStartThatCannotReachItsDatabaseSaysSoAndKeepsDbPath) {
    DeafServer silent(false), down(true);
    const struct {
        const char* what;
        std::string dbPath;
    } cases[] = {
        {"a directory without a database", run->appPath() + "nowhere"},
        {"a server that does not answer", "127.0.0.1/" + std::to_string(silent.port()) + ":/srv/db"},
        {"a host that is down", "127.0.0.1/" + std::to_string(down.port()) + ":/srv/db"},
    };
    for (const auto& c : cases) {
        const QByteArray settings = QByteArray::fromStdString("[main]\r\ninterface=lo\r\nDB_path=" + c.dbPath + "\r\n");
        WriteSettings(run->path("settings.ini").toStdString(), settings.toStdString());
        run->start();
        EXPECT_TRUE(run->answerBox(kErrorTitle, "Невозможно соединиться с базой данных. Приложение будет закрыто.", 25s))
            << c.what;
        EXPECT_EQ(run->waitForExit(10s), std::optional<int>(1)) << c.what;
        EXPECT_TRUE(x->windowsTitled(kWindowTitle).empty()) << c.what;
        EXPECT_EQ(run->readFile("settings.ini"), settings) << c.what;
    }
}

TEST_F(OperatorTest, AControllerListThatFailsHalfwayChoosesNoController) {
    CreateDatabase(databaseDirectory(),
                   "DROP TABLE fb_dvs;\n"
                   "CREATE TABLE dvs_rows (id VARCHAR(12) NOT NULL PRIMARY KEY, ip VARCHAR(8), broken INTEGER);\n"
                   "CREATE VIEW fb_dvs (id, ip) AS SELECT id, CASE WHEN broken = 1 THEN CAST(1 / 0 AS VARCHAR(8)) "
                   "ELSE ip END FROM dvs_rows;\n"
                   "INSERT INTO dvs_rows VALUES ('0011223344AA', '7F00004D', 0);\n"
                   "INSERT INTO dvs_rows VALUES ('0011223344BB', '7F00004E', 1);\n");
    writeSettings();
    run->start();
    const auto box = x->waitForWindow(kBoxTitle, 20s);
    ASSERT_TRUE(box);
    const QString text = run->waitForDrawn("qt_msgbox_label", "", 5s, kBoxTitle);
    EXPECT_TRUE(text.contains("Integer divide by zero")) << text.toStdString();
    ASSERT_TRUE(run->answerBox(kBoxTitle, text));
    const auto window = x->waitForWindow(kWindowTitle, 10s);
    ASSERT_TRUE(window);
    EXPECT_EQ(run->waitForDrawn("edit1", ""), "");
    run->clickControl(*window, "Button2");  // no controller chosen: nothing is sent
    EXPECT_TRUE(run->answerBox(kBoxTitle, "Укажите MAC контроллера", 10s));
    EXPECT_EQ(closeAndWait(*window), 0);
}

TEST_F(OperatorTest, ASettingsFileTheOperatorCannotReadIsNeverReplaced) {
    // Root reads every file: the program runs as nobody here.
    QStringList runAs;
    if (::geteuid() == 0) {
        if (QStandardPaths::findExecutable("setpriv").isEmpty()) GTEST_SKIP() << "setpriv is missing";
        runAs = {"setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups", "--"};
    }
    const QByteArray settings = "[main]\r\ninterface=lo\r\nDB_path=/srv/kestrix/DB\r\nDB_pass=secret\r\n";
    WriteSettings(run->path("settings.ini").toStdString(), settings.toStdString());
    QFile::setPermissions(run->path("settings.ini"), QFile::WriteOwner);
    if (::geteuid() == 0) {
        ASSERT_EQ(::chown(run->path("settings.ini").toLocal8Bit().constData(), 65534, 65534), 0);
        ASSERT_EQ(::chmod(run->directory().toLocal8Bit().constData(), 0777), 0);
    }
    run->start({}, runAs);
    const QString failure = "Unable to write to " + run->path("settings.ini") + ".";
    EXPECT_TRUE(run->answerBox(kBoxTitle, failure, 20s));
    const auto window = x->waitForWindow(kWindowTitle, 10s);
    ASSERT_TRUE(window);
    x->requestClose(*window);
    EXPECT_TRUE(run->answerBox(kBoxTitle, failure, 10s));
    EXPECT_EQ(run->waitForExit(10s), std::optional<int>(0));
    QFile::setPermissions(run->path("settings.ini"), QFile::ReadOwner | QFile::WriteOwner);
    EXPECT_EQ(run->readFile("settings.ini"), settings);
}

// The package as installed (scripts/test-package.sh installs it and names the
// operator, a user of group kestrix who is not root): the menu's program on a
// demo database made by the installed command, reading and loading the demo
// controller that the installed kestrix-sim plays on 127.0.0.1.
TEST(InstalledProgramTest, AnOperatorOfGroupKestrixReadsAndLoadsTheDemoController) {
    const QString program = qEnvironmentVariable("KESTRIX_INSTALLED_PROGRAM");
    const QString operatorName = qEnvironmentVariable("KESTRIX_OPERATOR");
    if (program.isEmpty() || operatorName.isEmpty())
        GTEST_SKIP() << "run by scripts/test-package.sh, which installs the package";
    QString why;
    const auto x = XSession::Start(&why);
    if (!x) GTEST_SKIP() << "no X server: " << why.toStdString();
    OperatorRun run(*x, program);
    SimProcess simulator(QFileInfo(program).path() + "/kestrix-sim", kReplyListenPort, {}, QStringLiteral("127.0.0.1"),
                         kControllerPort);
    const QStringList asOperator{"setpriv", "--reuid=" + operatorName, "--regid=" + operatorName, "--init-groups", "--"};
    // A plugin of the operator's choosing, through Qt's environment.
    run.start({"LANG=ru_RU.UTF-8", "HOME=" + run.directory(), "QT_PLUGIN_PATH=" KESTRIX_PROBE_PLUGINS,
               "QT_STYLE_OVERRIDE=kxprobe", "KESTRIX_PROBE_FILE=" + run.path("capabilities.txt")},
              asOperator);
    const auto window = x->waitForWindow(kWindowTitle, 20s);
    ASSERT_TRUE(window) << run.errorOutput().toStdString();
    EXPECT_EQ(run.waitForDrawn("edit1", "0011223344AA"), "0011223344AA");
    DownloadInIpMode(run, *window, "127.0.0.1", 3000);
    LoadIntoTheDatabase(run, *window, 3000);
    x->requestClose(*window);
    EXPECT_EQ(run.waitForExit(20s), std::optional<int>(0));
    simulator.stop();
    EXPECT_EQ(QueryRows(run.appPath() + "DB/CBASE.FDB", "SELECT COUNT(*) AS n FROM fb_evn", {"n"}),
              std::vector<std::string>{"3000"});
    EXPECT_TRUE(run.clipped().empty());
    // The plugin ran, and with no capability at all.
    const QByteArray capabilities = run.readFile("capabilities.txt");
    EXPECT_TRUE(capabilities.contains("CapEff:\t0000000000000000\n")) << capabilities.toStdString();
    EXPECT_TRUE(capabilities.contains("CapPrm:\t0000000000000000\n")) << capabilities.toStdString();
    // The interface the operator leaves chosen is the operator's own.
    EXPECT_TRUE(run.readFile(".config/kestrix/settings.ini").startsWith("[main]\r\ninterface="))
        << run.readFile(".config/kestrix/settings.ini").toStdString();
}
