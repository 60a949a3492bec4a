// The whole road of an event through the window: simulator -> download ->
// load -> fb_evn, on a real database (embedded engine).

#include <QDate>
#include <map>

#include "app/Lifecycle.h"
#include "db/EventLoader.h"
#include "events/EventRecords.h"
#include "tests/support/SimulatorFixture.h"
#include "tests/support/TestDatabase.h"

using namespace kestrix;
using namespace kestrix::test;

namespace {

class LoadWindowTest : public SimulatorFixture {
protected:
    void SetUp() override {
        app.writeSettings("");
        std::string keys;
        // Every generated card was given to holder 5000 + its index on 1 January.
        const auto cards = sim::GeneratedCardCodes(1, 150);
        for (std::size_t i = 0; i < cards.size(); ++i)
            keys += "INSERT INTO fb_key_h VALUES ('" + *KeyNumberText("000000" + cards[i]) +
                    "', '2024-01-01 00:00:00', " + std::to_string(5000 + i) + ");\n";
        CreateDatabase(app.path() + "DB", "INSERT INTO fb_dvs VALUES ('0011223344AA', '7F000001');\n" + keys);
        SimulatorFixture::SetUp();
        ASSERT_TRUE(form->FormCreate());
        ASSERT_TRUE(form->installation().connected());
        holders.clear();
        for (std::size_t i = 0; i < cards.size(); ++i) holders["000000" + cards[i]] = std::to_string(5000 + i);
    }

    std::vector<std::string> storedRows() const {
        return QueryRows(app.path() + "DB/CBASE.FDB", "SELECT * FROM fb_evn ORDER BY dt, uid, evn, evnh",
                         {"dt", "dvs", "uid", "evn", "evnh", "usr"});
    }
    // The rows a load of these events must store, computed from the records.
    std::vector<std::string> expectedRows(const std::vector<HexText>& events, const std::string& dvs) {
        std::vector<std::string> rows;
        for (const HexText& record : events) {
            const CivilDateTime t = RecordTime(record);
            char time[32];
            std::snprintf(time, sizeof time, "%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day, t.hour, t.minute,
                          t.second);
            const std::string card = "000000" + record.substr(18, 6);
            const std::string holder = holders.count(card) ? holders[card] : "0";
            rows.push_back(std::string(time) + "|" + dvs + "|" + card + "|" + std::to_string(HexToInt(record.substr(26, 2))) +
                           "|" + std::to_string(HexToInt(record.substr(24, 2))) + "|" + holder);
        }
        std::sort(rows.begin(), rows.end());
        rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
        return rows;
    }
    QString label(const char* name) { return control<QLabel>(name)->text(); }

    std::map<std::string, std::string> holders;
};

}  // namespace

TEST_F(LoadWindowTest, DownloadThenLoadStoresEveryValidEventOnce) {
    startSimulator(GeneratedMemory(800, 3), {});
    useIpMode();
    control<QComboBox>("edit1")->setCurrentIndex(0);
    control<QPushButton>("Button2")->click();
    ASSERT_EQ(form->EventList().size(), 800u);

    dialogs.boxes.clear();
    control<QPushButton>("Button5")->click();
    EXPECT_EQ(dialogs.boxes, (std::vector<ShownBox>{{ShownBox::Notice, "Выполнено"}}));
    // The proposed interval includes the whole last day: every event is loaded.
    std::vector<std::string> stored = storedRows();
    std::sort(stored.begin(), stored.end());
    const auto expected = expectedRows(core->memory().writtenEvents(), "0011223344AA");
    EXPECT_EQ(stored, expected);
    const int duplicatesInList = 800 - static_cast<int>(expected.size());
    EXPECT_EQ(label("Label11"), QString::number(expected.size()));
    EXPECT_EQ(label("Label12"), QString::number(duplicatesInList));
    EXPECT_EQ(control<QProgressBar>("ProgressBar3")->maximum(), 800);
    EXPECT_EQ(control<QProgressBar>("ProgressBar3")->value(), 800);
    for (const char* button : {"Button2", "Button5", "Button6"}) EXPECT_TRUE(control(button)->isEnabled()) << button;

    // The same list again: everything is a duplicate.
    control<QPushButton>("Button5")->click();
    EXPECT_EQ(label("Label11"), "0");
    EXPECT_EQ(label("Label12"), "800");
    EXPECT_EQ(storedRows().size(), expected.size());
}

TEST_F(LoadWindowTest, TheControllerIdIsTakenAtLoadTimeAndTheIntervalFromThePickers) {
    sim::ControllerMemory memory;
    memory.setSlotText(0, "18051E0F2D1E0000000A1B2C01220000");  // 30 May 2024
    memory.setSlotText(1, "18051F0F2D1E0000000A1B2C01220000");  // 31 May 2024
    startSimulator(memory, {});
    useIpMode();
    control<QPushButton>("Button2")->click();
    ASSERT_EQ(form->EventList().size(), 2u);

    control<QComboBox>("edit1")->setEditText("AABBCCDDEEFF");
    control<DateField>("PlannerDatePicker2")->setText(QDate(2024, 5, 31).toString(ShortDateFormat()));
    control<QPushButton>("Button5")->click();
    EXPECT_EQ(storedRows(), std::vector<std::string>{"2024-05-31 15:45:30|AABBCCDDEEFF|0000000A1B2C|34|1|0"});

    // An empty end date loads nothing, and still says so.
    dialogs.boxes.clear();
    control<DateField>("PlannerDatePicker3")->setText("");
    control<QPushButton>("Button5")->click();
    EXPECT_EQ(dialogs.boxes, (std::vector<ShownBox>{{ShownBox::Notice, "Выполнено"}}));
    EXPECT_EQ(label("Label11"), "0");
    EXPECT_EQ(label("Label12"), "0");
}

TEST_F(LoadWindowTest, AnErrorEndsTheLoadAndGivesTheButtonsBack) {
    sim::ControllerMemory memory;
    memory.setSlotText(0, "18051E0F2D1E0000000A1B2C01220000");
    memory.setSlotText(1, "18051E0F2D1F000000FFFFFF01220000");
    startSimulator(memory, {});
    useIpMode();
    control<QPushButton>("Button2")->click();
    ASSERT_EQ(form->EventList().size(), 2u);
    // A controller id longer than the column takes (as a list entry may be)
    // makes the database refuse the first row.
    control<QComboBox>("edit1")->setEditText("0011223344AA-TOO-LONG");
    dialogs.boxes.clear();
    control<QPushButton>("Button5")->click();
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_EQ(dialogs.boxes[0].kind, ShownBox::Unexpected);
    EXPECT_EQ(label("Label11"), "0");
    for (const char* button : {"Button2", "Button5", "Button6"}) EXPECT_TRUE(control(button)->isEnabled()) << button;
    EXPECT_TRUE(storedRows().empty());
}
