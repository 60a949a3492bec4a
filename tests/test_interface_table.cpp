#include <gtest/gtest.h>

#include "link/RawFrame.h"
#include "shell/InterfaceTable.h"

using namespace kestrix;

namespace {
CaptureAddress V4(std::uint8_t a, std::uint8_t b, std::uint8_t c, std::uint8_t d) {
    return {kAddressFamilyInet, {a, b, c, d}};
}
const CaptureAddress kIpv6{10, {}};
std::string NoFriendly(const std::string&) { return {}; }
}  // namespace

TEST(IpTextFromAddress, DecimalWithoutLeadingZeros) {
    EXPECT_EQ(IpTextFromAddress({192, 168, 0, 1}), "192.168.0.1");
    EXPECT_EQ(IpTextFromAddress({0, 0, 0, 0}), "0.0.0.0");
    EXPECT_EQ(IpTextFromAddress({255, 10, 1, 100}), "255.10.1.100");
}

TEST(BuildInterfaceTable, OneEntryForEveryIpv4Address) {
    const std::vector<CaptureDevice> devices = {
        {" eth0\t", "Intel adapter   ", {kIpv6, V4(10, 0, 0, 5), V4(192, 168, 1, 7)}},
        {"any", "Pseudo-device", {}},
        {"wlan0", "", {V4(172, 16, 0, 9)}},
        {"lo", "Loopback", {V4(127, 0, 0, 1)}},
    };
    const auto friendly = [](const std::string& device) {
        return device == "lo" ? std::string("Loopback  (udev) ") : std::string();
    };
    const InterfaceTable table = BuildInterfaceTable(devices, friendly);
    EXPECT_EQ(table.deviceNames, (std::vector<std::string>{"eth0", "eth0", "wlan0", "lo"}));
    EXPECT_EQ(table.addressTexts, (std::vector<std::string>{"10.0.0.5", "192.168.1.7", "172.16.0.9", "127.0.0.1"}));
    EXPECT_EQ(table.displayTexts, (std::vector<std::string>{"[10.0.0.5] Intel adapter", "[192.168.1.7] Intel adapter",
                                                            "[172.16.0.9] ", "[127.0.0.1] Loopback  (udev) "}));
    EXPECT_EQ(table.deviceName(-1), "");
    EXPECT_EQ(table.addressText(-1), "");
    EXPECT_EQ(table.deviceName(3), "lo");
}

TEST(DefaultInterfaceIndex, TheFirstAddressThatDoesNotStartWithZero) {
    const auto table = [](std::vector<CaptureAddress> addresses) {
        return BuildInterfaceTable({{"dev", "", std::move(addresses)}}, NoFriendly);
    };
    EXPECT_EQ(DefaultInterfaceIndex(table({V4(0, 0, 0, 0), V4(10, 0, 0, 5)})), 1);
    EXPECT_EQ(DefaultInterfaceIndex(table({V4(0, 0, 0, 0), V4(0, 1, 2, 3)})), 0);
    EXPECT_EQ(DefaultInterfaceIndex(table({V4(192, 168, 0, 1), V4(10, 0, 0, 5)})), 0);
    EXPECT_EQ(DefaultInterfaceIndex(table({})), -1);
}

TEST(SavedInterfaceIndex, TheLastExactMatchWins) {
    const InterfaceTable table = BuildInterfaceTable(
        {{"eth0", "", {V4(10, 0, 0, 5), V4(10, 0, 0, 6)}}, {"eth1", "", {V4(10, 1, 0, 5)}}}, NoFriendly);
    EXPECT_EQ(SavedInterfaceIndex(table, "eth0", 2), 1);
    EXPECT_EQ(SavedInterfaceIndex(table, "eth1", 0), 2);
    EXPECT_EQ(SavedInterfaceIndex(table, "ETH1", 0), 0);  // exact, case-sensitive
    EXPECT_EQ(SavedInterfaceIndex(table, "eth9", 1), 1);
}
