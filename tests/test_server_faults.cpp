// The Firebird server stopped in the middle of a load. Runs alone: it stops the
// server that other tests use, and starts it again.

#include <QProgressBar>
#include <QTcpSocket>
#include <sys/wait.h>

#include <cstdio>
#include <optional>

#include "tests/support/SimulatorFixture.h"
#include "tests/support/TestDatabase.h"

using namespace kestrix;
using namespace kestrix::test;

namespace {

bool ServerListening() {
    QTcpSocket probe;
    probe.connectToHost(QHostAddress::LocalHost, 3050);
    return probe.waitForConnected(2000);
}

struct StopResult {
    int status;
    std::string output;
};

// Stops the server and returns once it is gone. The init script waits for its
// processes to end; should the server still answer after it, it is killed.
StopResult StopFirebirdServer() {
    StopResult result{-1, {}};
    FILE* script = popen("/etc/init.d/firebird3.0 stop 2>&1", "r");
    if (!script) return result;
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, script)) result.output += buffer;
    const int status = pclose(script);
    if (status != -1 && WIFEXITED(status)) result.status = WEXITSTATUS(status);
    if (ServerListening()) {
        result.output += "(still listening after the init script: killed)\n";
        std::system("pkill -KILL -x fbguard; pkill -KILL -x firebird");
        if (!QTest::qWaitFor([] { return !ServerListening(); }, 5000)) result.output += "(still listening)\n";
    }
    return result;
}

class ServerFaultTest : public SimulatorFixture {
protected:
    void SetUp() override {
        if (!ServerListening()) {
            if (qEnvironmentVariableIsSet("CI")) FAIL() << "the Firebird server is not running on 127.0.0.1:3050";
            GTEST_SKIP() << "no Firebird server on 127.0.0.1:3050 (scripts/test.sh starts one)";
        }
        password = FirebirdServerPassword();
        ASSERT_FALSE(password.empty());
        directory = app.path() + "server";
        CreateDatabase(directory, "INSERT INTO fb_dvs VALUES ('0011223344AA', '7F000001');\n");
        // The server runs as its own user.
        for (const std::string& path : {app.path(), directory, directory + "/CBASE.FDB"})
            std::filesystem::permissions(path, std::filesystem::perms::all);
        app.writeSettings("[main]\r\ninterface=eth0\r\nDB_path=localhost:" + directory + "\r\nDB_pass=" + password + "\r\n");
        SimulatorFixture::SetUp();
        startSimulator(GeneratedMemory(1500), {});
        ASSERT_TRUE(form->FormCreate());
    }
    void TearDown() override {
        if (!ServerListening()) std::system("/etc/init.d/firebird3.0 start >/dev/null 2>&1");
    }
    std::vector<std::string> rows(const char* select, std::vector<std::string> columns) {
        auto connection = DatabaseConnection::Connect(kClientLibrary, "localhost:" + directory + "/CBASE.FDB", "SYSDBA", password);
        auto query = connection->prepare(select);
        query->open();
        std::vector<std::string> result;
        while (query->next()) {
            std::string row;
            for (const auto& c : columns) row += query->column(c) + "|";
            result.push_back(row);
        }
        return result;
    }
    int rowCount() { return std::stoi(rows("SELECT COUNT(*) AS n FROM fb_evn", {"n"}).at(0)); }
    int doubledRows() {
        return static_cast<int>(rows("SELECT dt FROM fb_evn GROUP BY dt, uid, evn, evnh, dvs HAVING COUNT(*) > 1", {"dt"}).size());
    }
    void downloadAndLoad() {
        useIpMode();
        control<QPushButton>("Button2")->click();
        ASSERT_EQ(form->EventList().size(), 1500u);
        dialogs.boxes.clear();
        control<QPushButton>("Button5")->click();
    }

    std::string password, directory;
};

}  // namespace

TEST_F(ServerFaultTest, TheServerStoppedMidLoadLosesNothingAndDoublesNothing) {
    // The server is stopped from inside the load, once 300 records are done:
    // the load waits for the stop, so the next statement meets a dead server
    // however fast or slow this machine is.
    constexpr int kStopAfter = 300;
    std::optional<StopResult> stop;
    QObject::connect(control<QProgressBar>("ProgressBar3"), &QProgressBar::valueChanged, [&](int done) {
        if (done == kStopAfter && !stop) stop = StopFirebirdServer();
    });
    downloadAndLoad();
    ASSERT_TRUE(stop.has_value());
    ASSERT_EQ(stop->status, 0) << stop->output;
    ASSERT_FALSE(ServerListening()) << "the server still answers after: " << stop->output;
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_EQ(dialogs.boxes[0].kind, ShownBox::Unexpected) << dialogs.boxes[0].text.toStdString();
    for (const char* button : {"Button2", "Button5", "Button6"}) EXPECT_TRUE(control(button)->isEnabled()) << button;
    const int counted = control<QLabel>("Label11")->text().toInt();

    ASSERT_EQ(std::system("/etc/init.d/firebird3.0 start >/dev/null 2>&1"), 0);
    ASSERT_TRUE(QTest::qWaitFor(ServerListening, 10000));
    const int stored = rowCount();
    EXPECT_GE(stored, kStopAfter);
    EXPECT_LT(stored, 1500);
    EXPECT_EQ(stored, counted);  // every committed row was counted, nothing more
    EXPECT_EQ(doubledRows(), 0);

    // After recovery the program starts again and a second load completes the rest.
    reopenWindow();
    dialogs.boxes.clear();
    ASSERT_TRUE(form->FormCreate());
    downloadAndLoad();
    EXPECT_EQ(dialogs.boxes, (std::vector<ShownBox>{{ShownBox::Notice, "Выполнено"}}));
    const int distinct = static_cast<int>(std::set<HexText>(form->EventList().begin(), form->EventList().end()).size());
    EXPECT_EQ(rowCount(), distinct);
    EXPECT_EQ(control<QLabel>("Label11")->text().toInt(), distinct - stored);
    EXPECT_EQ(doubledRows(), 0);
}
