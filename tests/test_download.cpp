#include <QDate>
#include <QTemporaryDir>

#include "events/EventRecords.h"

#include "tests/support/SimulatorFixture.h"

using namespace kestrix;
using namespace kestrix::test;

namespace {

std::vector<HexText> AllPageReads() {
    std::vector<HexText> bodies;
    for (int p = 0; p <= 12286; p += 2) bodies.push_back(PageReadBody(p));
    return bodies;
}

// The slots a download must keep, read straight off the simulator's memory.
std::vector<HexText> PlausibleSlotsOf(const sim::ControllerMemory& memory) {
    std::vector<HexText> kept;
    for (int s = 0; s < sim::kSlotCount; ++s) {
        const HexText text = memory.slotText(s);
        const bool fill = text == std::string(32, '0') || text == std::string(32, 'F') || text == std::string(32, 'A');
        const auto year = HexToInt(text.substr(0, 2));
        if (!fill && year >= 11 && year <= 29) kept.push_back(text);
    }
    return kept;
}

QString DateText(int y, int m, int d) {
    return QDate(y, m, d).toString(ShortDateFormat());
}

}  // namespace

class DownloadTest : public SimulatorFixture {
protected:
    QString text(const char* label) { return control<QLabel>(label)->text(); }
    bool enabled(const char* name) { return control(name)->isEnabled(); }
    QString picker(const char* name) { return control<DateField>(name)->text(); }
    void clickStart() { control<QPushButton>("Button2")->click(); }
    std::vector<ShownBox> notices() {
        std::vector<ShownBox> shown;
        for (const auto& b : dialogs.boxes)
            if (b.kind == ShownBox::Notice) shown.push_back(b);
        return shown;
    }
};

TEST_F(DownloadTest, ReadsTheWholeMemoryAndValidatesIt) {
    startSimulator(GeneratedMemory(3000, 4), {});
    useIpMode();
    clickStart();

    EXPECT_TRUE(dialogs.boxes.empty());
    EXPECT_EQ(core->receivedBodies(sim::RequestKind::PageRead), AllPageReads());
    EXPECT_EQ(form->RawRecordList(), PlausibleSlotsOf(core->memory()));
    EXPECT_EQ(form->EventList(), core->memory().writtenEvents());  // junk with month 13 is dropped
    EXPECT_EQ(text("Label7"), QString::number(3000));
    EXPECT_EQ(control<QProgressBar>("ProgressBar1")->value(), 12286);
    EXPECT_EQ(control<QProgressBar>("ProgressBar2")->maximum(), static_cast<int>(form->RawRecordList().size()) - 1);
    EXPECT_EQ(control<QProgressBar>("ProgressBar2")->value(), control<QProgressBar>("ProgressBar2")->maximum());
    const CivilDateTime first = RecordTime(core->memory().writtenEvents().front());
    EXPECT_EQ(picker("PlannerDatePicker2"), DateText(first.year, first.month, first.day));
    EXPECT_EQ(picker("PlannerDatePicker3"), DateText(2024, 6, 2));
    EXPECT_TRUE(enabled("Button5"));
    EXPECT_TRUE(enabled("Button6"));
    EXPECT_FALSE(enabled("Button2"));  // only a load brings it back
    for (auto timeout : pump.requestedTimeouts) EXPECT_EQ(timeout, std::chrono::milliseconds(5000));
}

TEST_F(DownloadTest, FillPatternsOnlyGiveNoEventsAndTheStartButtonBack) {
    sim::ControllerMemory memory;  // all FF
    for (int s = 0; s < sim::kSlotCount; s += 3) memory.fillSlot(s, s % 2 ? 0x00 : 0xAA);
    startSimulator(memory, {});
    useIpMode();
    clickStart();
    EXPECT_TRUE(form->RawRecordList().empty());
    EXPECT_TRUE(form->EventList().empty());
    EXPECT_EQ(text("Label7"), "0");
    EXPECT_EQ(picker("PlannerDatePicker2"), DateText(2030, 12, 31));
    EXPECT_EQ(picker("PlannerDatePicker3"), DateText(2000, 1, 1));
    EXPECT_FALSE(enabled("Button5"));
    EXPECT_FALSE(enabled("Button6"));
    EXPECT_TRUE(enabled("Button2"));
}

TEST_F(DownloadTest, ShortAndEmptyRepliesAreCutIntoShorterSlots) {
    sim::ControllerMemory memory;
    const HexText record = "18051E0F2D1E0000000A1B2C01220000";
    memory.setSlotText(0, record);
    memory.setSlotText(2, record);  // beyond a 40-byte reply: only its first 8 bytes arrive
    startSimulator(memory, {.shortReplyBytes = 40});
    useIpMode();
    clickStart();
    EXPECT_EQ(form->RawRecordList(), (std::vector<HexText>{record, record.substr(0, 16)}));
    EXPECT_EQ(form->EventList(), form->RawRecordList());  // the short one is still a valid date-time

    startSimulator(memory, {.shortReplyBytes = 0});  // replies without a data part
    runDownload();
    EXPECT_TRUE(form->RawRecordList().empty());
    EXPECT_EQ(core->receivedBodies(sim::RequestKind::PageRead).size(), 6144u);
}

TEST_F(DownloadTest, ADroppedReplyIsRecoveredByTheRepeat) {
    startSimulator(GeneratedMemory(500), {.dropEvery = 1500});
    useIpMode();
    clickStart();
    const auto requests = core->receivedBodies(sim::RequestKind::PageRead);
    // Page reads 1500, 3000, 4500 and 6000 go unanswered; each is asked again.
    std::vector<HexText> expected;
    int count = 0;
    for (const HexText& body : AllPageReads()) {
        expected.push_back(body);
        if (++count % 1500 == 0) expected.push_back(body), ++count;
    }
    EXPECT_EQ(requests, expected);
    EXPECT_EQ(form->EventList(), core->memory().writtenEvents());
    EXPECT_TRUE(notices().empty());
}

TEST_F(DownloadTest, ASilentControllerEndsTheRunAndKeepsTheEarlierEvents) {
    startSimulator(GeneratedMemory(100), {});
    useIpMode();
    clickStart();
    const std::vector<HexText> earlier = form->EventList();
    ASSERT_EQ(earlier.size(), 100u);

    startSimulator(sim::ControllerMemory(), {.stopAfterPage = 2});
    pump.requestedTimeouts.clear();
    runDownload();
    EXPECT_EQ(notices(), (std::vector<ShownBox>{{ShownBox::Notice, "Контроллер не отвечает"}}));
    const auto requests = core->receivedBodies(sim::RequestKind::PageRead);
    EXPECT_EQ(requests, (std::vector<HexText>{"DA000000", "DA000002", "DA000004", "DA000006", "DA000006"}));
    EXPECT_EQ(pump.requestedTimeouts.size(), 5u);
    EXPECT_EQ(control<QProgressBar>("ProgressBar1")->value(), 4);
    EXPECT_EQ(form->EventList(), earlier);
    EXPECT_EQ(text("Label7"), "0");
    EXPECT_TRUE(enabled("Button5"));  // the earlier events can still be loaded
    EXPECT_TRUE(enabled("Button6"));
    EXPECT_FALSE(enabled("Button2"));
}

TEST_F(DownloadTest, ASilentControllerWithoutEarlierEventsGivesTheStartButtonBack) {
    server->stop();
    useIpMode();
    clickStart();
    EXPECT_EQ(notices(), (std::vector<ShownBox>{{ShownBox::Notice, "Контроллер не отвечает"}}));
    EXPECT_EQ(control<QProgressBar>("ProgressBar1")->value(), 0);
    EXPECT_FALSE(enabled("Button5"));
    EXPECT_TRUE(enabled("Button2"));
}

TEST_F(DownloadTest, InputChecksComeFirst) {
    const struct {
        bool ipMode;
        QString mac, ip;
        QString notice;
    } cases[] = {
        {true, "", "127.0.0.1", "Укажите MAC контроллера"},
        {false, "", "127.0.0.1", "Укажите MAC контроллера"},
        {true, "0011223344AA", "", "Укажите IP контроллера"},
    };
    for (const auto& c : cases) {
        dialogs.boxes.clear();
        control<QLabel>("Label7")->setText("5");
        enterLink(c.ipMode, c.mac, c.ip);
        clickStart();
        EXPECT_EQ(dialogs.boxes, (std::vector<ShownBox>{{ShownBox::Notice, c.notice}}));
        EXPECT_EQ(text("Label7"), "0");  // the displays were reset before the check
        EXPECT_EQ(picker("PlannerDatePicker2"), QDate::currentDate().toString(ShortDateFormat()));
        EXPECT_TRUE(enabled("Button2"));
    }
    EXPECT_TRUE(core->received().empty());
}

TEST_F(DownloadTest, ASendErrorEndsTheRunAtOnce) {
    useIpMode();
    control<QLineEdit>("Edit4")->setText("controller.unknown");
    clickStart();
    EXPECT_EQ(dialogs.boxes, (std::vector<ShownBox>{{ShownBox::Unexpected, "Host controller.unknown not found."}}));
    EXPECT_TRUE(pump.requestedTimeouts.empty());
    EXPECT_FALSE(enabled("Button5"));
    EXPECT_TRUE(enabled("Button2"));
    EXPECT_FALSE(form->downloadRunning());
}

TEST_F(DownloadTest, AModeSwitchDuringTheRunTakesEffectWithTheNextRequest) {
    useIpMode();
    int waits = 0;
    pump.beforeWait = [&] {
        if (++waits == 3) control<QRadioButton>("RadioButton1")->click();
    };
    clickStart();
    // Three pages went out by IP; the next request and its repeat went the MAC way.
    EXPECT_EQ(core->receivedBodies(sim::RequestKind::PageRead),
              (std::vector<HexText>{"DA000000", "DA000002", "DA000004"}));
    EXPECT_EQ(dialogs.boxes, (std::vector<ShownBox>{{ShownBox::Error, "Ошибка открытия сетевого интерфейса!"},
                                                    {ShownBox::Error, "Ошибка открытия сетевого интерфейса!"},
                                                    {ShownBox::Notice, "Контроллер не отвечает"}}));
}

TEST_F(DownloadTest, ClosingTheWindowLetsTheRunFinishFirst) {
    startSimulator(GeneratedMemory(50), {});
    useIpMode();
    form->show();
    int waits = 0;
    bool shownAfterClose = false;
    pump.beforeWait = [&] {
        if (++waits == 10) form->close();
        if (waits == 11) shownAfterClose = form->isVisible();
    };
    clickStart();
    EXPECT_TRUE(shownAfterClose) << "the window must stay in view until the run has returned";
    EXPECT_EQ(core->receivedBodies(sim::RequestKind::PageRead).size(), 6144u);
    EXPECT_EQ(form->EventList().size(), 50u);
    EXPECT_FALSE(form->isVisible());
}

TEST_F(DownloadTest, ExportWritesTheEventsThroughTheSaveDialog) {
    startSimulator(GeneratedMemory(25), {});
    useIpMode();
    clickStart();
    QTemporaryDir dir;
    const QString file = dir.filePath("export.txt");

    dialogs.boxes.clear();
    control<QPushButton>("Button6")->click();  // cancelled: nothing written, nothing shown
    EXPECT_TRUE(dialogs.boxes.empty());
    EXPECT_FALSE(QFile::exists(file));
    EXPECT_EQ(dialogs.lastFilter, "text file *.txt (*.txt)");
    EXPECT_EQ(dialogs.lastSuffix, "txt");

    dialogs.saveAnswers.push_back(file);
    control<QPushButton>("Button6")->click();
    EXPECT_EQ(dialogs.boxes, (std::vector<ShownBox>{{ShownBox::Notice, "Выполнено"}}));
    QFile written(file);
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    QByteArray expected;
    for (const HexText& record : form->EventList()) expected += QByteArray::fromStdString(record) + "\r\n";
    EXPECT_EQ(written.readAll(), expected);
    EXPECT_EQ(expected.size(), 34 * 25);

    dialogs.boxes.clear();
    dialogs.saveAnswers.push_back(dir.filePath("missing-dir/export.txt"));
    control<QPushButton>("Button6")->click();
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_EQ(dialogs.boxes[0].kind, ShownBox::Unexpected);
    EXPECT_TRUE(dialogs.boxes[0].text.contains(dir.filePath("missing-dir/export.txt")));
    EXPECT_TRUE(dialogs.boxes[0].text.endsWith("No such file or directory."));
}
