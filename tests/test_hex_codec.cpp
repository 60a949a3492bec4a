#include <gtest/gtest.h>

#include "link/HexCodec.h"

using namespace kestrix;

TEST(HexToInt, ReadsDigitsAsDocumented) {
    const struct {
        const char* text;
        std::int64_t value;
    } cases[] = {
        {"", 0},
        {"ff", 255},
        {"00FF", 255},
        {"0A", 10},
        {"7FFFFFFFFFFFFFFF", INT64_MAX},
        {"FFFFFFFFFFFFFFFF", -1},          // wraps to -1
        {"00000000000000012", 1},          // 17 characters: the last one is not read
        {"1G", 15},                        // a foreign character counts as digit -1
        {"G", -1},
        {"abcdef", 0xABCDEF},
    };
    for (const auto& c : cases) EXPECT_EQ(HexToInt(c.text), c.value) << c.text;
}

TEST(HexPairToByte, ReadsTheFirstTwoCharacters) {
    const struct {
        const char* text;
        int value;
    } cases[] = {{"0A", 10}, {"ff", 255}, {"FF00", 255}, {"1G", -1}, {"00", 0}, {"G1", -15}, {"1", -1}};
    for (const auto& c : cases) EXPECT_EQ(HexPairToByte(c.text), c.value) << c.text;
}

TEST(BytesAndHex, ConvertBothWays) {
    const std::vector<std::uint8_t> bytes = {0x00, 0x0A, 0xAB, 0xFF};
    EXPECT_EQ(BytesToHex(bytes), "000AABFF");
    EXPECT_EQ(HexToBytes("000aabff"), bytes);
    EXPECT_EQ(HexToBytes("000AABFF7"), bytes);  // the unpaired digit is dropped
    EXPECT_TRUE(HexToBytes("").empty());
    EXPECT_TRUE(HexToBytes("A").empty());
    EXPECT_EQ(BytesToHex({}), "");
}

TEST(FixedHex, PadsButNeverCuts) {
    EXPECT_EQ(FixedHex(0, 2), "00");
    EXPECT_EQ(FixedHex(0xB, 2), "0B");
    EXPECT_EQ(FixedHex(0x2FFE, 4), "2FFE");
    EXPECT_EQ(FixedHex(0x12345, 4), "12345");
}

TEST(MessageChecksum, BringsTheByteSumToZero) {
    const struct {
        const char* text;
        const char* checksum;
    } cases[] = {
        {"230006CC00", "0B"},   // sums to F5
        {"", "00"},
        {"FF01", "00"},         // a multiple of 256
        {"230006CC007", "0B"},  // the odd last digit is not added
        {"01", "FF"},
        {"230008DA000000", "FB"},
    };
    for (const auto& c : cases) EXPECT_EQ(MessageChecksum(c.text), c.checksum) << c.text;
}

TEST(InternetChecksum, FollowsRfc1071) {
    const struct {
        const char* text;
        const char* checksum;
    } cases[] = {
        {"0000", "FFFF"},
        {"", "FFFF"},
        {"FFFF", "0000"},
        {"FFFF0001", "FFFE"},  // end-around carry: FFFF + 0001 = 0001
        // The IPv4 header of the test-signal frame (checksum field zero).
        {"45000022EE1900008011" "0000" "C0A80005C0334455", "877B"},
    };
    for (const auto& c : cases) EXPECT_EQ(InternetChecksum(c.text), c.checksum) << c.text;
}

TEST(InternetChecksum, IgnoresZeroWordsAndWordOrder) {
    EXPECT_EQ(InternetChecksum("12345678"), InternetChecksum("567812340000"));
    EXPECT_EQ(InternetChecksum("ABC"), InternetChecksum("ABC0"));  // partial word filled with 0
}
