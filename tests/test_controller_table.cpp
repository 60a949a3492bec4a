#include <gtest/gtest.h>

#include "db/ControllerTable.h"

using namespace kestrix;

TEST(ControllerIpText, FromTheStoredIpOrTheMac) {
    const ControllerTable table{
        {"0011223344AA", "C0A80010"}, {"0011223344BB", ""}, {"0011223344CC", "C0A8"}, {"0011223344DD", "7F000001"}};
    const struct {
        int index;
        std::string text;
        std::optional<std::string> ip;
    } cases[] = {
        {0, "0011223344AA", "192.168.0.16"},
        {1, "0011223344BB", "192.51.68.187"},  // no stored ip: derived from the MAC
        {2, "0011223344CC", "192.168.0.0"},    // missing groups count as 0
        {3, "0011223344DD", "127.0.0.1"},
        {-1, "0011223344AA", "192.51.68.170"},  // typed, even when listed
        {-1, "0011223344A", std::nullopt},      // short typed text: no result
        {-1, "", std::nullopt},
        {7, "AABBCCDDEEFF", "192.221.238.255"},  // index beyond the list
        {1, "00112233", std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(ControllerIpText(table, c.index, c.text), c.ip) << c.index << " " << c.text;
}
