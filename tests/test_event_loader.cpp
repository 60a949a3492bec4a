// Loading events into fb_evn on real databases (embedded engine).

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "db/EventLoader.h"
#include "tests/support/TestDatabase.h"

using namespace kestrix;
using namespace kestrix::test;

TEST(KeyNumberText, ByteNineThenBytesTenAndEleven) {
    const struct {
        std::string card;
        std::optional<std::string> key;
    } cases[] = {
        {"0000000A1B2C", "010-06956"},
        {"000000000001", "000-00001"},
        {"000000FFFFFF", "255-65535"},
        {"000000000000", "000-00000"},
        {"0000000A1B2", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(KeyNumberText(c.card), c.key) << c.card;
}

TEST(ReadEventFields, TakesTimeCardAndCodes) {
    const EventFields example = ReadEventFields("18051E0F2D1E0000000A1B2C01220000");
    EXPECT_EQ(example.time, (CivilDateTime{2024, 5, 30, 15, 45, 30}));
    EXPECT_EQ(example.cardCode, "0000000A1B2C");
    EXPECT_EQ(example.evnh, 1);
    EXPECT_EQ(example.evn, 34);
    const EventFields shortRecord = ReadEventFields("18051E0F2D1E0000000A1B");
    EXPECT_EQ(shortRecord.cardCode, "0000000A1B");  // as many characters as there are
    EXPECT_EQ(shortRecord.evnh, 0);
    EXPECT_EQ(shortRecord.evn, 0);
    EXPECT_EQ(ReadEventFields("18051E").cardCode, "000000");
}

TEST(HolderNumber, ReadsSigned64BitIntegers) {
    EXPECT_EQ(HolderNumber(""), 0);
    EXPECT_EQ(HolderNumber("0"), 0);
    EXPECT_EQ(HolderNumber("1001"), 1001);
    EXPECT_EQ(HolderNumber("-5"), -5);
    EXPECT_EQ(HolderNumber("9223372036854775807"), INT64_MAX);
    for (const char* bad : {"abc", "12x", "9223372036854775808", " 1", "1.5", "+-1"}) {
        try {
            HolderNumber(bad);
            FAIL() << bad;
        } catch (const std::runtime_error& e) {
            EXPECT_EQ(std::string(e.what()), std::string("'") + bad + "' is not a valid integer value");
        }
    }
}

TEST(InsideInterval, TheWholeEndDayCounts) {
    const DateTimeValue may30 = EncodeDateTime({2024, 5, 30, 0, 0, 0});
    const DateTimeValue may31 = EncodeDateTime({2024, 5, 31, 0, 0, 0});
    const struct {
        const char* name;
        CivilDateTime event;
        DateTimeValue start, end;
        bool inside;
    } cases[] = {
        {"start day at midnight", {2024, 5, 30, 0, 0, 0}, may30, may31, true},
        {"the second before the start", {2024, 5, 29, 23, 59, 59}, may30, may31, false},
        {"end day at midnight", {2024, 5, 31, 0, 0, 0}, may30, may31, true},
        {"end day evening", {2024, 5, 31, 23, 59, 59}, may30, may31, true},
        {"the day after the end", {2024, 6, 1, 0, 0, 0}, may30, may31, false},
        {"one-day interval", {2024, 5, 30, 12, 0, 0}, may30, may30, true},
        {"empty end date", {2024, 5, 30, 12, 0, 0}, may30, kZeroDateTime, false},
        {"empty start date", {2011, 1, 1, 0, 0, 0}, kZeroDateTime, may31, true},
        {"start after end", {2024, 5, 31, 12, 0, 0}, may31 + 1, may31, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(InsideInterval(EncodeDateTime(c.event), c.start, c.end), c.inside) << c.name;
}

namespace {

class EventLoaderTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        CreateDatabase(dir.path().toStdString(),
                       extraSql() +
                       "INSERT INTO fb_key_h VALUES ('010-06956', '2024-01-01 08:00:00', 1001);\n"
                       "INSERT INTO fb_key_h VALUES ('010-06956', '2024-05-30 15:45:30', 1002);\n"  // at the event time
                       "INSERT INTO fb_key_h VALUES ('010-06956', '2024-06-01 00:00:00', 1003);\n"
                       "INSERT INTO fb_key_h VALUES ('020-00001', '2024-01-01 00:00:00', NULL);\n"
                       "INSERT INTO fb_key_h VALUES ('030-00002', '2024-07-01 00:00:00', 3001);\n");
        connection = DatabaseConnection::Connect(kClientLibrary, database(), "SYSDBA", "fbdefault");
        store = std::make_unique<EventStore>(*connection);
    }
    virtual std::string extraSql() const { return {}; }
    std::string database() const { return dir.path().toStdString() + "/CBASE.FDB"; }
    std::vector<std::string> rows() const {
        return QueryRows(database(), "SELECT * FROM fb_evn ORDER BY dt, uid, evn",
                         {"dt", "dvs", "uid", "evn", "evnh", "idh", "usr"});
    }
    LoadCounts load(const std::vector<HexText>& events, const std::string& dvs = "0011223344AA",
                    DateTimeValue start = EncodeDateTime({2024, 1, 1, 0, 0, 0}),
                    DateTimeValue end = EncodeDateTime({2024, 12, 31, 0, 0, 0})) {
        reported = {};
        return LoadEvents(*store, events, dvs, start, end,
                          {[&](int n) { reported.loaded.push_back(n); }, [&](int n) { reported.duplicates.push_back(n); },
                           [&](std::size_t n) { reported.progress.push_back(n); }});
    }

    struct Reported {
        std::vector<int> loaded, duplicates;
        std::vector<std::size_t> progress;
    } reported;
    QTemporaryDir dir;
    std::unique_ptr<DatabaseConnection> connection;
    std::unique_ptr<EventStore> store;
};

// 2024-05-30 15:45:30, card 0000000A1B2C (key 010-06956), evnh 1, evn 0x22.
const HexText kEvent = "18051E0F2D1E0000000A1B2C01220000";

}  // namespace

TEST_F(EventLoaderTest, InsertsTheEventWithTheHolderOfItsTime) {
    const LoadCounts counts = load({kEvent});
    EXPECT_EQ(counts.loaded, 1);
    EXPECT_EQ(counts.duplicates, 0);
    // 1002 was assigned at exactly the event time: only an earlier one counts.
    EXPECT_EQ(rows(), std::vector<std::string>{"2024-05-30 15:45:30|0011223344AA|0000000A1B2C|34|1|0|1001"});
}

TEST_F(EventLoaderTest, HolderLookup) {
    const struct {
        const char* name;
        HexText record;
        std::string holder;
    } cases[] = {
        {"latest assignment before", "18060F0C0000000000" "0A1B2C" "0101" "0000", "1003"},
        {"NULL holder", "18060F0C0000000000" "140001" "0101" "0000", "0"},
        {"no earlier assignment", "18060F0C0000000000" "1E0002" "0101" "0000", "0"},
        {"no card", "18060F0C0000000000" "000000" "0101" "0000", "0"},
        {"unknown key", "18060F0C0000000000" "FFFFFF" "0101" "0000", "0"},
    };
    for (const auto& c : cases) {
        const EventFields f = ReadEventFields(c.record);
        EXPECT_EQ(HolderNumber(store->KeyHolderAt(f.cardCode, f.time)), std::stoll(c.holder)) << c.name;
    }
    EXPECT_EQ(store->KeyHolderAt("000000000000", {2024, 6, 15, 12, 0, 0}), "0");
    EXPECT_EQ(store->KeyHolderAt("0000001400", {2024, 6, 15, 12, 0, 0}), "0");  // short card: no key number
}

TEST_F(EventLoaderTest, DuplicatesAreCountedNotInserted) {
    const HexText otherUnusedDigits = "18051E0F2D1E" "ABCDEF" "0A1B2C" "0122" "FFFF";  // differs in digits 13-18, 29-32
    const LoadCounts counts = load({kEvent, kEvent, otherUnusedDigits});
    EXPECT_EQ(counts.loaded, 1);
    EXPECT_EQ(counts.duplicates, 2);
    EXPECT_EQ(reported.duplicates, (std::vector<int>{1, 2}));
    EXPECT_EQ(reported.loaded, (std::vector<int>{1, 1, 1}));
    EXPECT_EQ(reported.progress, (std::vector<std::size_t>{1, 2, 3}));
    EXPECT_EQ(rows().size(), 1u);
}

TEST_F(EventLoaderTest, AStoredRowWithAnotherHolderIsADuplicate) {
    connection->prepare("INSERT INTO fb_evn (dt,dvs,uid,evn,evnh,idh,usr) VALUES "
                        "('2024-05-30 15:45:30','0011223344AA','0000000A1B2C',34,1,0,777)")->execute();
    connection->commit();
    EXPECT_EQ(load({kEvent}).duplicates, 1);
    // Another controller is no duplicate.
    EXPECT_EQ(load({kEvent}, "00112233FFFF").loaded, 1);
    EXPECT_EQ(rows().size(), 2u);
}

TEST_F(EventLoaderTest, LoadingTheSameListTwiceInsertsNothingTheSecondTime) {
    std::vector<HexText> events;
    for (int minute = 0; minute < 30; ++minute)
        events.push_back("180601" "0C" + FixedHex(static_cast<unsigned>(minute), 2) + "00" "000000" "0A1B2C" "0110" "0000");
    EXPECT_EQ(load(events).loaded, 30);
    const auto before = rows();
    const LoadCounts second = load(events);
    EXPECT_EQ(second.loaded, 0);
    EXPECT_EQ(second.duplicates, 30);
    EXPECT_EQ(rows(), before);
}

TEST_F(EventLoaderTest, OnlyTheIntervalIsLoaded) {
    const std::vector<HexText> events = {
        "18051D173B3B" "000000" "0A1B2C" "0101" "0000",  // 29 May 23:59:59: before
        "18051E000000" "000000" "0A1B2C" "0101" "0000",  // 30 May 00:00:00
        "18051F173B3B" "000000" "0A1B2C" "0101" "0000",  // 31 May 23:59:59: the end day counts whole
        "180601000000" "000000" "0A1B2C" "0101" "0000",  // 1 June 00:00:00: after
    };
    const LoadCounts counts =
        load(events, "0011223344AA", EncodeDateTime({2024, 5, 30, 0, 0, 0}), EncodeDateTime({2024, 5, 31, 0, 0, 0}));
    EXPECT_EQ(counts.loaded, 2);
    EXPECT_EQ(counts.duplicates, 0);
    EXPECT_EQ(reported.progress.back(), 4u);  // outside events only advance the progress
    EXPECT_EQ(load(events, "0011223344AA", EncodeDateTime({2024, 5, 30, 0, 0, 0}), kZeroDateTime).loaded, 0);
}

TEST_F(EventLoaderTest, AShortRecordGetsZeroForMissingFields) {
    EXPECT_EQ(load({"18051E0F2D1E0000000A1B"}).loaded, 1);
    EXPECT_EQ(rows(), std::vector<std::string>{"2024-05-30 15:45:30|0011223344AA|0000000A1B|0|0|0|0"});
}

namespace {
class RefusingLoaderTest : public EventLoaderTest {
protected:
    std::string extraSql() const override {
        return "CREATE EXCEPTION refused 'row refused';\n"
               "SET TERM ^;\n"
               "CREATE TRIGGER fb_evn_refuse FOR fb_evn BEFORE INSERT AS BEGIN\n"
               "  IF (NEW.evn = 99) THEN EXCEPTION refused;\n"
               "END^\n"
               "SET TERM ;^\n";
    }
};
}  // namespace

TEST_F(RefusingLoaderTest, AnErrorEndsTheLoadAndKeepsWhatWasCommitted) {
    const std::vector<HexText> events = {
        "180601000000" "000000" "0A1B2C" "0101" "0000",
        "180601000100" "000000" "0A1B2C" "0101" "0000",
        "180601000200" "000000" "0A1B2C" "0163" "0000",  // evn 99: refused
        "180601000300" "000000" "0A1B2C" "0101" "0000",
    };
    try {
        load(events);
        FAIL() << "no error";
    } catch (const DatabaseError& e) {
        EXPECT_NE(std::string(e.what()).find("row refused"), std::string::npos) << e.what();
    }
    EXPECT_EQ(reported.loaded, (std::vector<int>{1, 2}));  // the failing record is not counted
    EXPECT_EQ(rows().size(), 2u);

    // Once the cause is gone, a second load stores the rest and counts the rest as duplicates.
    connection->prepare("DROP TRIGGER fb_evn_refuse")->execute();
    connection->commit();
    store = std::make_unique<EventStore>(*connection);
    const LoadCounts second = load(events);
    EXPECT_EQ(second.loaded, 2);
    EXPECT_EQ(second.duplicates, 2);
    EXPECT_EQ(rows().size(), 4u);
}

namespace {
class TextHolderLoaderTest : public EventLoaderTest {
protected:
    std::string extraSql() const override {
        return "DROP TABLE fb_key_h;\n"
               "CREATE TABLE fb_key_h (uid VARCHAR(9), att TIMESTAMP, usr VARCHAR(10));\n"
               "INSERT INTO fb_key_h VALUES ('010-06956', '2024-06-01 00:00:30', 'abc');\n";
    }
};
}  // namespace

TEST_F(TextHolderLoaderTest, AHolderThatIsNoIntegerEndsTheLoad) {
    const std::vector<HexText> events = {"180601000000" "000000" "000000" "0101" "0000",
                                         "180601000100" "000000" "0A1B2C" "0101" "0000"};
    try {
        load(events);
        FAIL() << "no error";
    } catch (const std::runtime_error& e) {
        EXPECT_EQ(std::string(e.what()), "'abc' is not a valid integer value");
    }
    EXPECT_EQ(rows().size(), 1u);
}

namespace {

// A second loader of the same database in the same process, as another
// workstation would be.
class TakingTurnsTest : public EventLoaderTest {
protected:
    std::string extraSql() const override {
        return "INSERT INTO fb_dvs VALUES ('0011223344AA', NULL);\nINSERT INTO fb_dvs VALUES ('AABBCC000001', NULL);\n";
    }
};

}  // namespace

// While one loader holds a controller's turn, another loader of that
// controller waits, and then finds what the first committed; a controller
// that fb_dvs does not list takes its turns on the first row. A loader of
// another controller does not wait.
TEST_F(TakingTurnsTest, ASecondLoaderOfTheControllerWaitsForTheTurnThenFindsTheCommittedEvents) {
    const struct {
        const char* holding;
        const char* loading;
        bool waits;
    } cases[] = {
        {"0011223344AA", "0011223344AA", true},
        {"FFEEDDCCBBAA", "0011223344AA", true},  // unlisted: the first row, which is 0011223344AA's
        {"AABBCC000001", "0011223344AA", false},
    };
    for (const auto& c : cases) {
        connection->prepare("DELETE FROM fb_evn")->execute();
        connection->commit();
        auto otherConnection = DatabaseConnection::Connect(kClientLibrary, database(), "SYSDBA", "fbdefault");
        EventStore other(*otherConnection);
        store->TakeTurn(c.holding);
        std::atomic<bool> done{false};
        LoadCounts counts;
        std::thread second([&] {
            counts = LoadEvents(other, {kEvent}, c.loading, EncodeDateTime({2024, 1, 1, 0, 0, 0}),
                                EncodeDateTime({2024, 12, 31, 0, 0, 0}), {});
            done = true;
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        EXPECT_EQ(done.load(), !c.waits) << c.holding;
        // The first loader stores the event under the loading controller's id while its turn lasts.
        if (c.waits) store->InsertEvent(ReadEventFields(kEvent).time, c.loading, 0x22, 1, "0000000A1B2C", 0);
        store->EndTurn();
        second.join();
        EXPECT_EQ(counts.loaded, c.waits ? 0 : 1) << c.holding;
        EXPECT_EQ(counts.duplicates, c.waits ? 1 : 0) << c.holding;
    }
}
