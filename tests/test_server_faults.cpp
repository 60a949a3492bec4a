// The Firebird server stopped in the middle of a load. Runs alone: it stops the
// server that other tests use, and starts it again.

#include <QTcpSocket>
#include <atomic>
#include <thread>

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
    // Stops the server once a few hundred events are in.
    std::atomic<bool> stopped{false};
    std::thread stopper([&] {
        try {
            auto watcher = DatabaseConnection::Connect(kClientLibrary, "localhost:" + directory + "/CBASE.FDB", "SYSDBA", password);
            auto count = watcher->prepare("SELECT COUNT(*) AS n FROM fb_evn");
            for (int i = 0; i < 3000; ++i) {
                count->open();
                count->next();
                const int n = std::stoi(count->column("n"));
                count->close();
                watcher->commit();
                if (n >= 300) break;
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
        } catch (const DatabaseError&) {
        }
        std::system("/etc/init.d/firebird3.0 stop >/dev/null 2>&1");
        stopped = true;
    });
    downloadAndLoad();
    stopper.join();
    ASSERT_TRUE(stopped);
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_EQ(dialogs.boxes[0].kind, ShownBox::Unexpected) << dialogs.boxes[0].text.toStdString();
    for (const char* button : {"Button2", "Button5", "Button6"}) EXPECT_TRUE(control(button)->isEnabled()) << button;
    const int counted = control<QLabel>("Label11")->text().toInt();

    ASSERT_EQ(std::system("/etc/init.d/firebird3.0 start >/dev/null 2>&1"), 0);
    ASSERT_TRUE(QTest::qWaitFor(ServerListening, 10000));
    const int stored = rowCount();
    EXPECT_GE(stored, 300);
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
