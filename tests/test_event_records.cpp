#include <gtest/gtest.h>

#include "events/EventRecords.h"

using namespace kestrix;

namespace {
const HexText kRecord = "18051E0F2D1E0000000A1B2C01220000";  // 2024-05-30 15:45:30

HexText WithTime(int yearOffset, int month, int day, int hour = 12, int minute = 0, int second = 0) {
    return FixedHex(static_cast<unsigned>(yearOffset), 2) + FixedHex(static_cast<unsigned>(month), 2) +
           FixedHex(static_cast<unsigned>(day), 2) + FixedHex(static_cast<unsigned>(hour), 2) +
           FixedHex(static_cast<unsigned>(minute), 2) + FixedHex(static_cast<unsigned>(second), 2) +
           "0000000A1B2C01220000";
}
}  // namespace

TEST(CollectPlausibleSlots, KeepsRecordsOfTheEventYears) {
    const struct {
        const char* name;
        HexText slot;
        bool kept;
    } cases[] = {
        {"record", kRecord, true},
        {"zeros", std::string(32, '0'), false},
        {"FF fill", std::string(32, 'F'), false},
        {"AA fill", std::string(32, 'A'), false},
        {"year offset 10", "0A" + kRecord.substr(2), false},
        {"year offset 11", "0B" + kRecord.substr(2), true},
        {"year offset 29", "1D" + kRecord.substr(2), true},
        {"year offset 30", "1E" + kRecord.substr(2), false},
        {"year 29 with month 0 (dropped later)", "1D00" + kRecord.substr(4), true},
        {"almost a fill pattern", std::string(31, 'F') + "E", false},  // year offset FF
    };
    for (const auto& c : cases) {
        std::vector<HexText> raw;
        // The slot in the middle of a page of FF fill.
        HexText page = std::string(32 * 5, 'F') + c.slot + std::string(32 * 26, 'F');
        CollectPlausibleSlots(page, raw);
        EXPECT_EQ(raw, c.kept ? std::vector<HexText>{c.slot} : std::vector<HexText>{}) << c.name;
    }
}

TEST(CollectPlausibleSlots, CutsShortRepliesIntoShorterSlots) {
    std::vector<HexText> raw;
    CollectPlausibleSlots(kRecord + kRecord + "1805", raw);  // 2 slots and the start of a third
    EXPECT_EQ(raw, (std::vector<HexText>{kRecord, kRecord, "1805"}));
    raw.clear();
    CollectPlausibleSlots("", raw);
    CollectPlausibleSlots("1", raw);  // one digit: year offset 1
    EXPECT_TRUE(raw.empty());
}

TEST(CollectPlausibleSlots, KeepsOrderAndDuplicates) {
    const HexText other = WithTime(0x19, 1, 2);
    std::vector<HexText> raw{"earlier"};
    CollectPlausibleSlots(kRecord + other + kRecord, raw);
    EXPECT_EQ(raw, (std::vector<HexText>{"earlier", kRecord, other, kRecord}));
}

TEST(IsValidRecord, NeedsARealDateAndTime) {
    const struct {
        const char* name;
        HexText record;
        bool valid;
    } cases[] = {
        {"example", kRecord, true},
        {"month 0", WithTime(24, 0, 1), false},
        {"month 13", WithTime(24, 13, 1), false},
        {"day 0", WithTime(24, 1, 0), false},
        {"day 32", WithTime(24, 1, 32), false},
        {"31 April", WithTime(24, 4, 31), false},
        {"30 April", WithTime(24, 4, 30), true},
        {"30 February", WithTime(24, 2, 30), false},
        {"hour 24", WithTime(24, 1, 1, 24), false},
        {"minute 60", WithTime(24, 1, 1, 23, 60), false},
        {"second 60", WithTime(24, 1, 1, 23, 59, 60), false},
        {"last second of a year", WithTime(24, 12, 31, 23, 59, 59), true},
        {"date only, six digits", "18051E", true},
        {"year and month only", "1805", false},  // day reads as 0
    };
    for (const auto& c : cases) EXPECT_EQ(IsValidRecord(c.record), c.valid) << c.name;
}

TEST(IsValidRecord, TwentyNinthOfFebruaryOnlyInLeapYears) {
    for (int year = 2011; year <= 2029; ++year) {
        const bool leap = year % 4 == 0;
        EXPECT_EQ(IsValidRecord(WithTime(year - 2000, 2, 29)), leap) << year;
    }
}

TEST(RecordTime, ReadsTheFieldsAndZeroForMissingOnes) {
    EXPECT_EQ(RecordTime(kRecord), (CivilDateTime{2024, 5, 30, 15, 45, 30}));
    EXPECT_EQ(RecordTime("18051E"), (CivilDateTime{2024, 5, 30, 0, 0, 0}));
    EXPECT_EQ(RecordTime(""), (CivilDateTime{2000, 0, 0, 0, 0, 0}));
}

TEST(ValidateRecords, KeepsValidRecordsAndBoundsTheirTimes) {
    const HexText first = WithTime(24, 5, 30, 8, 0, 1);
    const HexText last = WithTime(24, 6, 2, 17, 30, 0);
    const HexText middle = WithTime(24, 6, 1, 12, 0, 0);
    const std::vector<HexText> raw{middle, WithTime(24, 13, 1), last, first, middle, "180231"};
    std::vector<std::size_t> progress;
    const ValidationResult result = ValidateRecords(raw, [&](std::size_t i) { progress.push_back(i); });
    EXPECT_EQ(result.events, (std::vector<HexText>{middle, last, first, middle}));  // list order, duplicates stay
    EXPECT_EQ(result.earliest, EncodeDateTime({2024, 5, 30, 8, 0, 1}));
    EXPECT_EQ(result.latest, EncodeDateTime({2024, 6, 2, 17, 30, 0}));
    EXPECT_EQ(progress, (std::vector<std::size_t>{0, 1, 2, 3, 4, 5}));
}

TEST(ValidateRecords, OneRecordSetsBothBounds) {
    const ValidationResult result = ValidateRecords({kRecord});
    EXPECT_EQ(result.earliest, result.latest);
    EXPECT_EQ(DecodeDateTime(result.earliest), (CivilDateTime{2024, 5, 30, 15, 45, 30}));
}

TEST(ValidateRecords, NothingValidLeavesTheStartingBounds) {
    for (const auto& raw : {std::vector<HexText>{}, std::vector<HexText>{WithTime(24, 0, 1)}}) {
        const ValidationResult result = ValidateRecords(raw);
        EXPECT_TRUE(result.events.empty());
        EXPECT_EQ(DecodeDateTime(result.earliest), (CivilDateTime{2030, 12, 31, 23, 59, 59}));
        EXPECT_EQ(DecodeDateTime(result.latest), (CivilDateTime{2000, 1, 1, 0, 0, 1}));
    }
}

TEST(DateTimeValue, CountsDaysFrom1899) {
    EXPECT_EQ(EncodeDateTime({1899, 12, 30, 0, 0, 0}), 0.0);
    EXPECT_EQ(EncodeDateTime({1900, 1, 1, 0, 0, 0}), 2.0);
    EXPECT_EQ(EncodeDateTime({2024, 5, 30, 0, 0, 0}), 45442.0);
    EXPECT_DOUBLE_EQ(EncodeDateTime({2024, 5, 30, 12, 0, 0}), 45442.5);
    EXPECT_EQ(DateOnly(EncodeDateTime({2024, 5, 30, 23, 59, 59})), 45442.0);
    for (const CivilDateTime t : {CivilDateTime{2011, 1, 1, 0, 0, 0}, CivilDateTime{2029, 12, 31, 23, 59, 59},
                                  CivilDateTime{2024, 2, 29, 13, 14, 15}})
        EXPECT_EQ(DecodeDateTime(EncodeDateTime(t)), t);
}
