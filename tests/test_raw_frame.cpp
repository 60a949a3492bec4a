#include <gtest/gtest.h>

#include "link/ControllerMessage.h"
#include "link/RawFrame.h"
#include "tests/support/FrameCheck.h"

using namespace kestrix;
using namespace kestrix::test;

namespace {
std::string FrameHex(const RawFrameBuffer& buffer, std::size_t length) {
    return BytesToHex(std::span<const std::uint8_t>(buffer).first(length));
}
std::vector<std::uint8_t> FrameBytes(const RawFrameBuffer& buffer, std::size_t length) {
    return {buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(length)};
}
}  // namespace

TEST(AddressToDigits, PadsEveryPartToThreeDigits) {
    EXPECT_EQ(AddressToDigits("192.168.0.5"), "192168000005");
    EXPECT_EQ(AddressToDigits("10.0.0.1"), "010000000001");
    EXPECT_EQ(AddressToDigits("255.255.255.255"), "255255255255");
}

TEST(BuildRawFrame, TheTwoExampleFrames) {
    RawFrameBuffer buffer{};
    const struct {
        const char* message;
        std::size_t length;
        const char* frame;
    } cases[] = {
        {"230006CC000B", 48,
         "00112233445500AABBCCDDEE080045000022EE1900008011877BC0A80005C03344551E201E23000ED481230006CC000B"},
        {"230008DA000000FB", 50,
         "00112233445500AABBCCDDEE080045000024EE1900008011" "8779" "C0A80005C03344551E201E230010" "D17F"
         "230008DA000000FB"},
    };
    for (const auto& c : cases) {
        const std::size_t length = BuildRawFrame(buffer, "001122334455", "00AABBCCDDEE", "192168000005", c.message);
        EXPECT_EQ(length, c.length);
        EXPECT_EQ(FrameHex(buffer, length), c.frame);
        const FrameReport report = CheckFrame(FrameBytes(buffer, length));
        EXPECT_TRUE(report.wellFormed) << report.problem;
        EXPECT_TRUE(report.ipChecksumValid);
        EXPECT_TRUE(report.udpChecksumValid);
    }
}

TEST(BuildRawFrame, AnOddMessageIsPaddedForTheChecksumOnly) {
    RawFrameBuffer buffer{};
    const std::size_t length = BuildRawFrame(buffer, "0011223344AA", "00AABBCCDDEE", "010000000001", "23000ACC0102030405");
    EXPECT_EQ(length, 42u + 9u);
    const FrameReport report = CheckFrame(FrameBytes(buffer, length));
    ASSERT_TRUE(report.wellFormed) << report.problem;
    EXPECT_TRUE(report.ipChecksumValid);
    EXPECT_TRUE(report.udpChecksumValid);
    EXPECT_EQ(buffer[17], 28 + 9);  // total length
    EXPECT_EQ(buffer[39], 8 + 9);   // UDP length
    EXPECT_EQ(BytesToHex(std::span<const std::uint8_t>(buffer).subspan(30, 4)), "C03344AA");  // 192.51.68.170
}

TEST(BuildRawFrame, ANewFrameLeavesTheOlderBytesBehindIt) {
    RawFrameBuffer buffer{};
    const std::size_t longer = BuildRawFrame(buffer, "001122334455", "00AABBCCDDEE", "192168000005", "230008DA000000FB");
    const std::size_t shorter = BuildRawFrame(buffer, "001122334455", "00AABBCCDDEE", "192168000005", "230006CC000B");
    EXPECT_EQ(longer - shorter, 2u);
    EXPECT_EQ(BytesToHex(std::span<const std::uint8_t>(buffer).subspan(shorter, 2)), "00FB");  // older bytes stay
}

TEST(BuildRawFrame, AZeroUdpChecksumIsWrittenAsFFFF) {
    // Find the two-byte message whose UDP checksum comes out as zero.
    RawFrameBuffer buffer{};
    BuildRawFrame(buffer, "001122334455", "00AABBCCDDEE", "192168000005", "0000");
    const unsigned withZeros = (buffer[40] << 8) | buffer[41];
    const std::string message = FixedHex(withZeros, 4);  // adding the old checksum brings the sum to FFFF
    BuildRawFrame(buffer, "001122334455", "00AABBCCDDEE", "192168000005", message);
    EXPECT_EQ(buffer[40], 0xFF);
    EXPECT_EQ(buffer[41], 0xFF);
}

TEST(BuildRawFrame, RefusesWhatCannotBeFramed) {
    RawFrameBuffer buffer{};
    buffer.fill(0x5A);
    const std::string tooLong(2 * (kMaxFramedMessage + 1), 'A');
    const struct {
        const char* name;
        std::string controller, adapter, source, message;
    } cases[] = {
        {"short controller MAC", "0011223344", "00AABBCCDDEE", "192168000005", "230006CC000B"},
        {"controller MAC not hex", "00112233445G", "00AABBCCDDEE", "192168000005", "230006CC000B"},
        {"short adapter MAC", "001122334455", "00AABB", "192168000005", "230006CC000B"},
        {"source not decimal", "001122334455", "00AABBCCDDEE", "19216800000A", "230006CC000B"},
        {"source octet above 255", "001122334455", "00AABBCCDDEE", "256168000005", "230006CC000B"},
        {"message too long", "001122334455", "00AABBCCDDEE", "192168000005", tooLong},
    };
    for (const auto& c : cases)
        EXPECT_THROW(BuildRawFrame(buffer, c.controller, c.adapter, c.source, c.message), std::invalid_argument) << c.name;
    EXPECT_TRUE(std::all_of(buffer.begin(), buffer.end(), [](std::uint8_t b) { return b == 0x5A; }));
    const std::string longest(2 * kMaxFramedMessage, 'A');
    EXPECT_EQ(BuildRawFrame(buffer, "001122334455", "00AABBCCDDEE", "192168000005", longest), kRawFrameBufferSize);
}
