#include <gtest/gtest.h>

#include <random>

#include "link/ControllerMessage.h"

using namespace kestrix;

TEST(BuildControllerMessage, FramesBodies) {
    EXPECT_EQ(BuildControllerMessage("CC00"), "230006CC000B");
    const HexText read = BuildControllerMessage(PageReadBody(0));
    EXPECT_EQ(read, "230008DA000000FB");
    EXPECT_EQ(HexToBytes(read).size(), 8u);
    EXPECT_EQ(read.substr(2, 4), "0008");
    EXPECT_EQ(BuildControllerMessage(""), "230004D9");
    EXPECT_THROW(BuildControllerMessage("CC0"), std::invalid_argument);
}

TEST(PageReadBody, CoversThePageRange) {
    EXPECT_EQ(PageReadBody(0), "DA000000");
    EXPECT_EQ(PageReadBody(2), "DA000002");
    EXPECT_EQ(PageReadBody(12286), "DA002FFE");
}

TEST(BuildControllerMessage, ByteSumIsZero) {
    for (const char* body : {"CC00", "DA002FFE", "DA000A10", "FFFFFFFF"}) {
        unsigned sum = 0;
        for (auto b : HexToBytes(BuildControllerMessage(body))) sum += b;
        EXPECT_EQ(sum % 256, 0u) << body;
    }
}

namespace {
std::vector<std::uint8_t> Datagram(std::initializer_list<std::uint8_t> head, std::size_t size, std::uint8_t fill = 0x5A) {
    std::vector<std::uint8_t> bytes(head);
    bytes.resize(size, fill);
    return bytes;
}
}  // namespace

TEST(AcceptControllerReply, FollowsTheAcceptanceRule) {
    const struct {
        const char* name;
        std::vector<std::uint8_t> datagram;
        bool accepted;
        std::size_t storedDigits;
    } cases[] = {
        {"empty", {}, false, 0},
        {"six bytes", Datagram({0x23, 0, 6, 0xDA}, 6), false, 0},
        {"seven bytes", Datagram({0x23, 0, 7, 0xDA}, 7), true, 0},
        {"fourteen bytes", Datagram({0x23, 0, 14, 0xDA}, 14), true, 2},
        {"wrong start", Datagram({0x24, 0, 20, 0xDA}, 20), false, 0},
        {"test signal code", Datagram({0x23, 0, 20, 0xCC}, 20), false, 0},
        {"525 bytes", Datagram({0x23, 2, 13, 0xDA}, 525), true, 1024},
        {"526 bytes", Datagram({0x23, 2, 14, 0xDA}, 526), true, 1024},
        {"8192 bytes", Datagram({0x23, 0, 0, 0xDA}, 8192), true, 1024},
    };
    for (const auto& c : cases) {
        ReplySlot slot{"PREVIOUS", false};
        EXPECT_EQ(AcceptControllerReply(slot, c.datagram), c.accepted) << c.name;
        EXPECT_EQ(slot.received, c.accepted) << c.name;
        if (c.accepted)
            EXPECT_EQ(slot.data.size(), c.storedDigits) << c.name;
        else
            EXPECT_EQ(slot.data, "PREVIOUS") << c.name;  // untouched
    }
}

TEST(AcceptControllerReply, StoresDataFromByte13) {
    std::vector<std::uint8_t> reply = Datagram({0x23, 2, 14, 0xDA}, 525, 0x00);
    for (std::size_t i = 13; i < reply.size(); ++i) reply[i] = static_cast<std::uint8_t>(i);
    ReplySlot slot;
    ASSERT_TRUE(AcceptControllerReply(slot, reply));
    EXPECT_EQ(slot.data.substr(0, 6), "0D0E0F");
    // At 525 bytes the last two digits are the reply's own last byte (its checksum).
    EXPECT_EQ(slot.data.substr(1022), BytesToHex(std::vector<std::uint8_t>{reply.back()}));
}

// Every length the listener passes on, random bytes: the slot changes exactly
// when an independent reading of the rule says so.
TEST(AcceptControllerReply, RandomDatagramsOfEveryLength) {
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> byte(0, 255);
    for (std::size_t size = 0; size <= kMaxDatagram; ++size) {
        std::vector<std::uint8_t> datagram(size);
        for (auto& b : datagram) b = static_cast<std::uint8_t>(byte(rng));
        if (size > 0 && size % 3 != 0) datagram[0] = 0x23;
        if (size > 3 && size % 2 == 0) datagram[3] = 0xDA;
        const bool expected = size >= 7 && datagram[0] == 0x23 && datagram[3] == 0xDA;
        ReplySlot slot{"X", false};
        ASSERT_EQ(AcceptControllerReply(slot, datagram), expected) << size;
        if (expected) {
            std::string digits;
            for (std::size_t i = 13; i < size && digits.size() < 1024; ++i) {
                char pair[3];
                std::snprintf(pair, sizeof pair, "%02X", datagram[i]);
                digits += pair;
            }
            ASSERT_EQ(slot.data, digits) << size;
        } else {
            ASSERT_EQ(slot.data, "X") << size;
        }
    }
}
