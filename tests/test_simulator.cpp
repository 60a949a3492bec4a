#include <gtest/gtest.h>

#include "link/ControllerMessage.h"
#include "tools/sim/SimulatorCore.h"

using namespace kestrix;
using namespace kestrix::sim;

namespace {
std::vector<std::uint8_t> Request(const HexText& body) {
    return HexToBytes(BuildControllerMessage(body));
}
}  // namespace

TEST(ControllerMemory, GeneratesTheSameMemoryForTheSameSeed) {
    GenerateOptions options;
    options.eventCount = 500;
    const ControllerMemory a = ControllerMemory::Generate(options);
    const ControllerMemory b = ControllerMemory::Generate(options);
    options.seed = 2;
    const ControllerMemory c = ControllerMemory::Generate(options);
    EXPECT_EQ(a.writtenEvents(), b.writtenEvents());
    EXPECT_NE(a.writtenEvents(), c.writtenEvents());
    EXPECT_EQ(a.writtenEvents().size(), 500u);
}

TEST(ControllerMemory, GeneratedEventsAreChronologicalAndInRange) {
    GenerateOptions options;
    options.eventCount = 2000;
    options.days = 5;
    const ControllerMemory memory = ControllerMemory::Generate(options);
    std::string previous;
    for (const HexText& record : memory.writtenEvents()) {
        ASSERT_EQ(record.size(), 32u);
        const std::string time = record.substr(0, 12);
        EXPECT_LE(previous, time);
        previous = time;
        EXPECT_EQ(HexToInt(record.substr(0, 2)), 26);
        EXPECT_EQ(HexToInt(record.substr(2, 2)), 12);
        EXPECT_GE(HexToInt(record.substr(4, 2)), 5);
        EXPECT_LE(HexToInt(record.substr(4, 2)), 9);
    }
    // Slots after the records hold only fill patterns.
    const int used = 2000 + options.junkCount;
    for (int slot = (used + 31) / 32 * 32; slot < kSlotCount; slot += 997) {
        const HexText text = memory.slotText(slot);
        EXPECT_TRUE(text == std::string(32, 'F') || text == std::string(32, 'A') || text == std::string(32, '0')) << slot;
    }
}

TEST(ControllerMemory, ReadsRecordLines) {
    const ControllerMemory memory =
        ControllerMemory::FromRecordLines({"18051E0F2D1E0000000A1B2C01220000\r", "", "180101000000000000000000000000ff"});
    EXPECT_EQ(memory.slotText(0), "18051E0F2D1E0000000A1B2C01220000");
    EXPECT_EQ(memory.slotText(1), "180101000000000000000000000000FF");
    EXPECT_EQ(memory.slotText(2), std::string(32, 'F'));
    EXPECT_EQ(memory.writtenEvents().size(), 2u);
    EXPECT_THROW(ControllerMemory::FromRecordLines({"18051E0F2D1E"}), std::invalid_argument);
    EXPECT_THROW(ControllerMemory::FromRecordLines({std::string(31, '0') + "G"}), std::invalid_argument);
}

TEST(SimulatorCore, AnswersPageReadsWithThePage) {
    ControllerMemory memory;
    memory.setSlotText(32 * 3 + 1, "18051E0F2D1E0000000A1B2C01220000");
    SimulatorCore core(memory, {});
    const auto reply = core.handle(Request(PageReadBody(6)));  // page value 6 = page 3
    ASSERT_TRUE(reply);
    ASSERT_EQ(reply->size(), 13u + 512u + 1u);
    EXPECT_EQ((*reply)[0], 0x23);
    EXPECT_EQ((*reply)[3], 0xDA);
    EXPECT_EQ(((*reply)[1] << 8) | (*reply)[2], 526);
    unsigned sum = 0;
    for (auto b : *reply) sum += b;
    EXPECT_EQ(sum % 256, 0u);
    ReplySlot slot;
    ASSERT_TRUE(AcceptControllerReply(slot, *reply));
    EXPECT_EQ(slot.data.substr(32, 32), "18051E0F2D1E0000000A1B2C01220000");
    EXPECT_EQ(slot.data.size(), 1024u);
}

TEST(SimulatorCore, LogsRequestsInOrder) {
    SimulatorCore core(ControllerMemory(), {});
    EXPECT_FALSE(core.handle(Request(kTestSignalBody)));
    core.handle(Request(PageReadBody(0)));
    core.handle(std::vector<std::uint8_t>{0x23, 0x00});
    core.handle(Request("DA01"));
    const auto received = core.received();
    ASSERT_EQ(received.size(), 4u);
    EXPECT_EQ(received[0].kind, RequestKind::TestSignal);
    EXPECT_EQ(received[0].body, "CC00");
    EXPECT_EQ(received[1].kind, RequestKind::PageRead);
    EXPECT_EQ(received[1].body, "DA000000");
    EXPECT_EQ(received[2].kind, RequestKind::Malformed);
    EXPECT_EQ(received[3].kind, RequestKind::Other);
}

TEST(SimulatorCore, IgnoresABadChecksum) {
    SimulatorCore core(ControllerMemory(), {});
    auto request = Request(PageReadBody(0));
    request.back() ^= 1;
    EXPECT_FALSE(core.handle(request));
    EXPECT_EQ(core.received().at(0).kind, RequestKind::Malformed);
}

TEST(SimulatorCore, PlaysFaults) {
    const auto answered = [](FaultOptions faults, int requests) {
        SimulatorCore core(ControllerMemory(), faults);
        std::vector<int> pages;
        for (int i = 0; i < requests; ++i)
            if (core.handle(Request(PageReadBody(2 * i)))) pages.push_back(i);
        return pages;
    };
    EXPECT_EQ(answered({.dropEvery = 3}, 7), (std::vector<int>{0, 1, 3, 4, 6}));
    EXPECT_EQ(answered({.stopAfterPage = 2}, 6), (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(answered({.dropShare = 1.0}, 5), (std::vector<int>{}));
    const auto someDropped = answered({.dropShare = 0.5, .seed = 3}, 200);
    EXPECT_GT(someDropped.size(), 60u);
    EXPECT_LT(someDropped.size(), 140u);

    SimulatorCore shortCore(ControllerMemory(), {.shortReplyBytes = 40});
    EXPECT_EQ(shortCore.handle(Request(PageReadBody(0)))->size(), 13u + 40u);
}
