#include <cerrno>
// MAC mode through the window with a capture layer of the test's own: the
// interface choice at start-up and exit, and every way a send can end.

#include <sys/wait.h>
#include <unistd.h>

#include "link/RawFrame.h"
#include "tests/support/FormFixture.h"
#include "tests/support/FrameCheck.h"

using namespace kestrix;
using namespace kestrix::test;

namespace {

CaptureAddress V4(std::uint8_t a, std::uint8_t b, std::uint8_t c, std::uint8_t d) {
    return {kAddressFamilyInet, {a, b, c, d}};
}

class MacModeTest : public FormFixture {
protected:
    // Runs the interface steps of start-up on a fresh window.
    void startInterfaces() {
        form = std::make_unique<TForm1>(services());
        ASSERT_TRUE(form->FillInterfaceTable());
        form->ChooseInterface();
    }
    QComboBox* interfaces() { return control<QComboBox>("ComboBox1"); }
    void testSignal(const QString& mac = "0011223344AA") {
        control<QComboBox>("edit1")->setEditText(mac);
        control<QPushButton>("Button4")->click();
    }
};

}  // namespace

TEST_F(MacModeTest, StartUpChoosesTheDefaultAndWritesItWhenNothingIsSaved) {
    capture->devices = std::vector<CaptureDevice>{{"dummy0", "", {V4(0, 0, 0, 0)}},
                                                  {"eth1", "Second", {V4(10, 0, 0, 5)}}};
    startInterfaces();
    EXPECT_EQ(interfaces()->count(), 2);
    EXPECT_EQ(interfaces()->itemText(0), "[0.0.0.0] ");
    EXPECT_EQ(interfaces()->currentIndex(), 1);
    EXPECT_EQ(form->selectedInterfaceIndex(), 1);
    EXPECT_EQ(app.readSettings(), "[main]\r\ninterface=eth1\r\n");  // this write creates the file
}

TEST_F(MacModeTest, TheSavedInterfaceIsRestoredLastMatchWinning) {
    capture->devices = std::vector<CaptureDevice>{{"eth0", "", {V4(10, 0, 0, 5), V4(10, 0, 0, 6)}},
                                                  {"eth1", "", {V4(10, 1, 0, 1)}}};
    app.writeSettings("[main]\r\ninterface=eth0\r\n");
    startInterfaces();
    EXPECT_EQ(form->selectedInterfaceIndex(), 1);

    // A saved name that no longer exists: the default is chosen and the file
    // keeps the old name until the window closes.
    app.writeSettings("[main]\r\ninterface=gone0\r\n");
    startInterfaces();
    EXPECT_EQ(form->selectedInterfaceIndex(), 0);
    EXPECT_EQ(app.readSettings(), "[main]\r\ninterface=gone0\r\n");
    interfaces()->setCurrentIndex(2);  // the operator picks another one
    EXPECT_EQ(form->selectedInterfaceIndex(), 2);
    EXPECT_EQ(app.readSettings(), "[main]\r\ninterface=gone0\r\n");  // nothing written yet
    form->close();
    EXPECT_EQ(app.readSettings(), "[main]\r\ninterface=eth1\r\n");
}

TEST_F(MacModeTest, NoInterfaceAtAllIsNoError) {
    capture->devices = std::vector<CaptureDevice>{{"any", "", {}}, {"lo6", "", {{10, {}}}}};
    startInterfaces();
    EXPECT_EQ(form->selectedInterfaceIndex(), -1);
    EXPECT_EQ(app.readSettings(), "[main]\r\ninterface=\r\n");
    EXPECT_TRUE(dialogs.boxes.empty());
    testSignal();
    EXPECT_EQ(dialogs.boxes, (std::vector<ShownBox>{{ShownBox::Error, "Ошибка открытия сетевого интерфейса!"}}));
    EXPECT_EQ(capture->log.opens, 0);
    form->close();
    EXPECT_EQ(app.readSettings(), "[main]\r\ninterface=\r\n");
}

TEST_F(MacModeTest, AFailedEnumerationEndsTheStartWithOnlyItsBox) {
    capture->devices.reset();
    form = std::make_unique<TForm1>(services());
    EXPECT_FALSE(form->FormCreate());
    EXPECT_EQ(dialogs.boxes, (std::vector<ShownBox>{{ShownBox::Error, "Сетевые интерфейсы не найдены. Приложение будет закрыто."}}));
    EXPECT_FALSE(std::filesystem::exists(app.settingsPath()));
    EXPECT_FALSE(form->installation().connected());
}

TEST_F(MacModeTest, TheTestSignalGoesOutAsAFrame) {
    startInterfaces();
    testSignal();
    EXPECT_TRUE(dialogs.boxes.empty());
    ASSERT_EQ(capture->log.frames.size(), 1u);
    RawFrameBuffer expected{};
    const std::size_t length = BuildRawFrame(expected, "0011223344AA", "00AABBCCDDEE", "010000000005", "230006CC000B");
    EXPECT_EQ(capture->log.frames[0], std::vector<std::uint8_t>(expected.begin(), expected.begin() + static_cast<long>(length)));
    EXPECT_EQ(capture->log.frames[0].size(), 48u);
    EXPECT_EQ(capture->log.openedDevices, std::vector<std::string>{"eth0"});
    EXPECT_EQ(capture->log.closes, 1);

    // Every message opens the device anew and asks for the adapter's address anew.
    testSignal();
    EXPECT_EQ(capture->log.opens, 2);
    EXPECT_EQ(capture->log.closes, 2);
    EXPECT_EQ(capture->log.queries, 2);
}

TEST_F(MacModeTest, EveryFailedSendShowsItsBoxAndLeavesNoDeviceOpen) {
    const struct {
        const char* name;
        std::function<void(FakeCapture&)> breakIt;
        QString box;
        int opens;
    } cases[] = {
        {"cannot open", [](FakeCapture& c) { c.unopenable.insert("eth0"); }, "Ошибка открытия сетевого интерфейса!", 0},
        {"no address", [](FakeCapture& c) { c.devices->at(0).addresses = {V4(0, 0, 0, 0)}; },
         "Ошибка отправки пакета! Номер ошибки: 7745", 1},
        {"no adapter address", [](FakeCapture& c) { c.adapterMacs.clear(); }, "Ошибка отправки пакета! Номер ошибки: 7752", 1},
        {"frame refused", [](FakeCapture& c) { c.refuseFrames = true; }, "Ошибка отправки пакета! Номер ошибки: 7734", 1},
    };
    for (const auto& c : cases) {
        *capture = FakeCapture();
        c.breakIt(*capture);
        dialogs.boxes.clear();
        startInterfaces();
        testSignal();
        EXPECT_EQ(dialogs.boxes, (std::vector<ShownBox>{{ShownBox::Error, c.box}})) << c.name;
        EXPECT_EQ(capture->log.opens, c.opens) << c.name;
        EXPECT_EQ(capture->log.closes, capture->log.opens) << c.name;
        EXPECT_TRUE(capture->log.frames.empty()) << c.name;
    }
}

TEST_F(MacModeTest, AShortMacIsRefusedBeforeAnythingIsOpened) {
    startInterfaces();
    control<QComboBox>("edit1")->setEditText("0011223344");
    control<QRadioButton>("RadioButton1")->click();
    runDownload();  // the download checks only that the field is not empty
    EXPECT_EQ(dialogs.boxes.front(), (ShownBox{ShownBox::Notice, "Неверный MAC-адрес"}));
    EXPECT_EQ(dialogs.boxes.back(), (ShownBox{ShownBox::Notice, "Контроллер не отвечает"}));
    EXPECT_EQ(capture->log.opens, 0);
}

TEST_F(MacModeTest, TheDownloadSendsItsRequestsAsFrames) {
    startInterfaces();
    control<QComboBox>("edit1")->setEditText("0011223344AA");
    control<QPushButton>("Button2")->click();  // nobody answers on this wire
    EXPECT_EQ(dialogs.boxes, (std::vector<ShownBox>{{ShownBox::Notice, "Контроллер не отвечает"}}));
    ASSERT_EQ(capture->log.frames.size(), 2u);  // the request and its repeat
    for (const auto& frame : capture->log.frames) {
        const FrameReport report = CheckFrame(frame);
        EXPECT_EQ(frame.size(), 50u);
        EXPECT_TRUE(report.ipChecksumValid && report.udpChecksumValid);
        EXPECT_EQ(BytesToHex(report.payload), BuildControllerMessage("DA000000"));
    }
}

// Without the right to capture, the real library still lists the devices and
// an open fails cleanly (the window then shows the open-error box).
TEST(LibpcapWithoutPrivileges, ListsDevicesButCannotOpen) {
    const auto check = [] {
        LibpcapCapture capture;
        const auto devices = capture.findAllDevices();
        if (!devices) return 1;
        if (capture.open("lo")) return 2;
        if (capture.open("")) return 3;
        return 0;
    };
    if (::geteuid() != 0) {
        EXPECT_EQ(check(), 0);
        return;
    }
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(10);  // nobody
        ::_exit(check());
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "1: no device list, 2/3: opened without the right to capture, 10: no user nobody";
}

// The reason travels with the failure, with the system's error number where it gave one.
TEST(QueryAdapterMac, EthernetDevicesOnlyAndTheReasonOtherwise) {
    const struct {
        const char* device;
        int systemError;
        const char* reason;
    } cases[] = {
        {"lo", 0, "lo has no Ethernet address"},  // loopback has none
        {"no-such-device0", ENODEV, "SIOCGIFHWADDR no-such-device0: No such device"},
        {"", ENODEV, "No such device"},
    };
    for (const auto& c : cases) {
        const auto address = QueryAdapterMac(c.device);
        ASSERT_FALSE(address) << c.device;
        EXPECT_EQ(address.failure().systemError, c.systemError) << c.device;
        EXPECT_NE(address.failure().reason.find(c.reason), std::string::npos) << address.failure().reason;
    }
    EXPECT_EQ(FriendlyAdapterDescription("no-such-device0"), "");
}
