// The database step of start-up, on real databases (embedded engine) and, for a
// refused login, on the Firebird server.

#include <gtest/gtest.h>

#include <QFile>
#include <QTest>
#include <QTcpSocket>

#include "app/Lifecycle.h"
#include "tests/support/FakeCapture.h"
#include "tests/support/FakeOperatorUi.h"
#include "tests/support/TestDatabase.h"

using namespace kestrix;
using namespace kestrix::test;

namespace {

const char* kConnectFailed = "Невозможно соединиться с базой данных. Приложение будет закрыто.";

class ConnectDatabaseTest : public ::testing::Test {
protected:
    FormServices services() {
        FormServices s{dialogs, pump, 0};
        s.appDirectory = app.path();
        s.capture = capture;
        if (noLibrary) s.clientLibraryPlaces = [](const std::string& exeDir) { return ClientLibraryPlaces{exeDir, {}, {}}; };
        return s;
    }
    std::unique_ptr<TForm1> start() { return StartUp(services()); }
    QComboBox* edit1(TForm1& form) { return form.findChild<QComboBox*>("edit1"); }
    QLineEdit* edit4(TForm1& form) { return form.findChild<QLineEdit*>("Edit4"); }
    std::string defaultDirectory() const { return app.path() + "DB"; }

    AppDirectory app;
    std::shared_ptr<FakeCapture> capture = std::make_shared<FakeCapture>();
    RecordingDialogs dialogs;
    ScaledEventPump pump;
    bool noLibrary = false;
};

}  // namespace

TEST_F(ConnectDatabaseTest, ConnectsToTheDefaultDirectoryAndListsTheControllers) {
    CreateDatabase(defaultDirectory(),
                   "INSERT INTO fb_dvs VALUES ('0011223344BB', NULL);\n"
                   "INSERT INTO fb_dvs VALUES ('0011223344AA', 'C0A80010');\n"
                   "INSERT INTO fb_dvs VALUES ('0011223344CC', 'C0A8');\n");
    app.writeSettings("");
    auto form = start();
    ASSERT_NE(form, nullptr);
    EXPECT_TRUE(dialogs.boxes.empty());
    ASSERT_TRUE(form->installation().connected());
    EXPECT_EQ(form->installation().location().directory, defaultDirectory());
    // The interface step writes first; DB_pass is not written.
    EXPECT_EQ(app.readSettings(), "[main]\r\ninterface=eth0\r\nDB_path=" + defaultDirectory() + "\r\n");
    QComboBox* list = edit1(*form);
    ASSERT_EQ(list->count(), 3);
    EXPECT_EQ(list->itemText(0), "0011223344AA");  // in id order
    EXPECT_EQ(list->itemText(1), "0011223344BB");
    EXPECT_EQ(list->currentText(), "0011223344AA");
    EXPECT_EQ(edit4(*form)->text(), "192.168.0.16");

    // Picking an entry sets the IP box from that entry's ip, even after an edit.
    edit4(*form)->setText("10.1.1.1");
    list->setCurrentIndex(1);
    emit list->activated(1);
    EXPECT_EQ(edit4(*form)->text(), "192.51.68.187");  // NULL ip: from the MAC
    list->setCurrentIndex(2);
    emit list->activated(2);
    EXPECT_EQ(edit4(*form)->text(), "192.168.0.0");  // short ip

    // A typed MAC that is not in the list gets the MAC-based address; a short one changes nothing.
    list->lineEdit()->clear();
    QTest::keyClicks(list->lineEdit(), "aabbccddee");
    EXPECT_EQ(edit4(*form)->text(), "192.168.0.0");
    QTest::keyClicks(list->lineEdit(), "ff");
    EXPECT_EQ(edit4(*form)->text(), "192.221.238.255");
}

TEST_F(ConnectDatabaseTest, FatalStepsEndTheProgramWithTheirBox) {
    // No device list: nothing is written, the database is never reached.
    capture->devices.reset();
    EXPECT_EQ(start(), nullptr);
    EXPECT_EQ(dialogs.boxes, (std::vector<ShownBox>{{ShownBox::Error, "Сетевые интерфейсы не найдены. Приложение будет закрыто."}}));
    EXPECT_FALSE(QFile::exists(QString::fromStdString(app.settingsPath())));

    // The database step on its own, without a settings file.
    TForm1 form(services());
    EXPECT_FALSE(form.ConnectDatabase());
    EXPECT_EQ(dialogs.boxes.back(), (ShownBox{ShownBox::Error, "Файл настроек не найден. Приложение будет закрыто."}));
    EXPECT_FALSE(form.installation().connected());

    // No client library anywhere.
    dialogs.boxes.clear();
    *capture = FakeCapture();
    app.writeSettings("[main]\r\ninterface=eth0\r\nDB_path=/somewhere\r\n");
    noLibrary = true;
    EXPECT_EQ(start(), nullptr);
    EXPECT_EQ(dialogs.boxes, (std::vector<ShownBox>{{ShownBox::Error, "Библиотека fbclient.dll не найдена. Приложение будет закрыто."}}));
    EXPECT_EQ(app.readSettings(), "[main]\r\ninterface=eth0\r\nDB_path=/somewhere\r\n");
}

TEST_F(ConnectDatabaseTest, WithoutASettingsFileTheInterfaceStepCreatesIt) {
    CreateDatabase(defaultDirectory());
    ASSERT_NE(start(), nullptr);
    EXPECT_TRUE(dialogs.boxes.empty());
    EXPECT_EQ(app.readSettings(), "[main]\r\ninterface=eth0\r\nDB_path=" + defaultDirectory() + "\r\n");
}

TEST_F(ConnectDatabaseTest, AFailedConnectionKeepsTheConfiguredDirectory) {
    const std::string settings = "[main]\r\ninterface=eth0\r\nDB_path=\"" + app.path() + "missing\"\r\n";
    app.writeSettings(settings);
    EXPECT_EQ(start(), nullptr);
    EXPECT_EQ(dialogs.boxes, (std::vector<ShownBox>{{ShownBox::Error, kConnectFailed}}));
    EXPECT_EQ(app.readSettings(), settings);
}

TEST_F(ConnectDatabaseTest, AnEmptyDbPathMeansTheDefaultAndIsWrittenBack) {
    CreateDatabase(defaultDirectory());
    app.writeSettings("[main]\r\ninterface=eth0\r\nDB_path=\r\nDB_pass=\r\n");
    auto form = start();
    ASSERT_NE(form, nullptr);
    EXPECT_EQ(app.readSettings(), "[main]\r\ninterface=eth0\r\nDB_path=" + defaultDirectory() + "\r\nDB_pass=\r\n");
    EXPECT_EQ(edit1(*form)->count(), 0);  // an empty fb_dvs: no error, empty boxes
    EXPECT_EQ(edit4(*form)->text(), "");
    EXPECT_TRUE(dialogs.boxes.empty());
}

TEST_F(ConnectDatabaseTest, AQuotedDbPathIsReadWithoutItsMarks) {
    const std::string elsewhere = app.path() + "elsewhere";
    CreateDatabase(elsewhere, "INSERT INTO fb_dvs VALUES ('AABBCCDDEEFF', '7F000001');\n");
    app.writeSettings("[MAIN]\r\nInterface=eth0\r\nDb_Path=\"" + elsewhere + "\"\r\n");
    auto form = start();
    ASSERT_NE(form, nullptr);
    EXPECT_EQ(form->installation().location().directory, elsewhere);
    EXPECT_EQ(edit4(*form)->text(), "127.0.0.1");
}

TEST_F(ConnectDatabaseTest, AnErrorAfterTheConnectionOpensTheWindowInTheStateReached) {
    CreateDatabase(defaultDirectory(), "DROP TABLE fb_dvs;\n");
    app.writeSettings("");
    auto form = start();
    ASSERT_NE(form, nullptr);  // the window opens
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_EQ(dialogs.boxes[0].kind, ShownBox::Unexpected);
    EXPECT_TRUE(dialogs.boxes[0].text.contains("Table unknown")) << dialogs.boxes[0].text.toStdString();
    EXPECT_EQ(edit1(*form)->count(), 0);
}

TEST_F(ConnectDatabaseTest, ALibraryNextToTheExecutableWins) {
    CreateDatabase(defaultDirectory());
    app.writeSettings("");
    // A file of that name that is no client library: the connection fails,
    // which shows it was taken before the installed one.
    { std::ofstream(app.path() + "libfbclient.so") << "not a library"; }
    EXPECT_EQ(start(), nullptr);
    EXPECT_EQ(dialogs.boxes, (std::vector<ShownBox>{{ShownBox::Error, kConnectFailed}}));
    // The real library placed there works.
    dialogs.boxes.clear();
    std::filesystem::remove(app.path() + "libfbclient.so");
    std::filesystem::create_symlink(kClientLibrary, app.path() + "libfbclient.so");
    EXPECT_NE(start(), nullptr);
    EXPECT_TRUE(dialogs.boxes.empty());
}

TEST(ClientLibraryLookup, TakesTheFirstPlaceThatHasIt) {
    AppDirectory exe, install, system;
    const auto touch = [](const std::string& path) {
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        std::ofstream(path) << "";
    };
    const ClientLibraryPlaces places{exe.path(), install.path(), {system.path() + "libfbclient.so.2"}};
    EXPECT_EQ(LocateClientLibrary(places), std::nullopt);
    touch(system.path() + "libfbclient.so.2");
    EXPECT_EQ(LocateClientLibrary(places), system.path() + "libfbclient.so.2");
    touch(install.path() + "lib/libfbclient.so");
    EXPECT_EQ(LocateClientLibrary(places), install.path() + "lib/libfbclient.so");
    touch(exe.path() + "libfbclient.so");
    EXPECT_EQ(LocateClientLibrary(places), exe.path() + "libfbclient.so");
    EXPECT_EQ(LocateClientLibrary({exe.path(), "", {}}), exe.path() + "libfbclient.so");
}

// The Firebird server on 127.0.0.1:3050 (started by the test command).
TEST(ConnectDatabaseServer, ARefusedLoginEndsTheProgramAndKeepsDbPath) {
    QTcpSocket probe;
    probe.connectToHost(QHostAddress::LocalHost, 3050);
    if (!probe.waitForConnected(2000)) {
        if (qEnvironmentVariableIsSet("CI")) FAIL() << "the Firebird server is not running on 127.0.0.1:3050";
        GTEST_SKIP() << "no Firebird server on 127.0.0.1:3050 (scripts/test.sh starts one)";
    }
    AppDirectory app;
    const std::string dir = app.path() + "server";
    CreateDatabase(dir, "INSERT INTO fb_dvs VALUES ('0011223344AA', '7F000001');\n");
    // The server runs as its own user: let it open the file.
    std::filesystem::permissions(app.path(), std::filesystem::perms::all);
    std::filesystem::permissions(dir, std::filesystem::perms::all);
    std::filesystem::permissions(dir + "/CBASE.FDB", std::filesystem::perms::all);

    RecordingDialogs dialogs;
    ScaledEventPump pump;
    FormServices services{dialogs, pump, 0};
    services.appDirectory = app.path();
    services.capture = std::make_shared<FakeCapture>();
    const std::string settings = "[main]\r\ninterface=eth0\r\nDB_path=localhost:" + dir + "\r\nDB_pass=wrong-password\r\n";
    app.writeSettings(settings);
    EXPECT_EQ(StartUp(services), nullptr);
    EXPECT_EQ(dialogs.boxes, (std::vector<ShownBox>{{ShownBox::Error, kConnectFailed}}));
    EXPECT_EQ(app.readSettings(), settings);

    // With the server's own password the same directory works.
    const std::string password = FirebirdServerPassword();
    ASSERT_FALSE(password.empty());
    dialogs.boxes.clear();
    app.writeSettings("[main]\r\ninterface=eth0\r\nDB_path=localhost:" + dir + "\r\nDB_pass=" + password + "\r\n");
    auto form = StartUp(services);
    ASSERT_NE(form, nullptr);
    EXPECT_TRUE(dialogs.boxes.empty());
    EXPECT_EQ(form->findChild<QComboBox*>("edit1")->currentText(), "0011223344AA");
}

TEST_F(ConnectDatabaseTest, AControllerListThatFailsAfterSomeRowsKeepsThemButChoosesNone) {
    // The third row's ip cannot be computed: the fetch fails after two rows.
    CreateDatabase(defaultDirectory(),
                   "DROP TABLE fb_dvs;\n"
                   "CREATE TABLE dvs_rows (id VARCHAR(12) NOT NULL PRIMARY KEY, ip VARCHAR(8), broken INTEGER);\n"
                   "CREATE VIEW fb_dvs (id, ip) AS SELECT id, CASE WHEN broken = 1 THEN CAST(1 / 0 AS VARCHAR(8)) "
                   "ELSE ip END FROM dvs_rows;\n"
                   "INSERT INTO dvs_rows VALUES ('0011223344AA', '7F000001', 0);\n"
                   "INSERT INTO dvs_rows VALUES ('0011223344BB', '7F000002', 0);\n"
                   "INSERT INTO dvs_rows VALUES ('0011223344CC', '7F000003', 1);\n");
    app.writeSettings("");
    auto form = start();
    ASSERT_NE(form, nullptr);
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_EQ(dialogs.boxes[0].kind, ShownBox::Unexpected);
    EXPECT_TRUE(dialogs.boxes[0].text.contains("divide by zero")) << dialogs.boxes[0].text.toStdString();
    QComboBox* list = edit1(*form);
    EXPECT_EQ(list->count(), 2);
    EXPECT_EQ(list->currentIndex(), -1);
    EXPECT_EQ(list->currentText(), "");
    EXPECT_EQ(edit4(*form)->text(), "");
}
