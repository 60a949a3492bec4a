#pragma once
// Packet-capture access, as narrow as MAC mode needs it: list the devices with
// their addresses, open one, send a frame, ask the adapter's hardware address.

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "link/Result.h"

namespace kestrix {

constexpr int kAddressFamilyInet = 2;  // AF_INET

struct CaptureAddress {
    int family = 0;
    std::array<std::uint8_t, 4> ipv4{};  // network order, for AF_INET
};

struct CaptureDevice {
    std::string name;
    std::string description;  // the capture library's; empty when it has none
    std::vector<CaptureAddress> addresses;
};

using HardwareAddress = std::array<std::uint8_t, 6>;

// An open device; closed when destroyed.
class CaptureHandle {
public:
    virtual ~CaptureHandle() = default;
    // Fails when the frame was refused, with the library's reason.
    virtual Result<void> sendPacket(std::span<const std::uint8_t> frame) = 0;
    // The adapter's current hardware address; fails when it has none.
    virtual Result<HardwareAddress> queryAdapterMac() = 0;
};

class PacketCapture {
public:
    virtual ~PacketCapture() = default;
    // An empty list is no failure; a failure carries the library's reason
    // ("no permission", ...).
    virtual Result<std::vector<CaptureDevice>> findAllDevices() = 0;
    // Snapshot length 100, promiscuous, read time-out 1000 ms.
    virtual Result<std::unique_ptr<CaptureHandle>> open(const std::string& device) = 0;
};

// libpcap.
class LibpcapCapture : public PacketCapture {
public:
    Result<std::vector<CaptureDevice>> findAllDevices() override;
    Result<std::unique_ptr<CaptureHandle>> open(const std::string& device) override;
};

// The Ethernet address of the adapter behind a device name (platform specific).
Result<HardwareAddress> QueryAdapterMac(const std::string& device);
// A network interface of this machine goes by that name (platform specific).
bool IsNetworkInterface(const std::string& name);
// The interface has that IPv4 address (platform specific).
bool InterfaceHasAddress(const std::string& name, const std::array<std::uint8_t, 4>& ipv4);
// A readable description of the adapter, empty when the system offers none
// (platform specific).
std::string FriendlyAdapterDescription(const std::string& device);

}  // namespace kestrix
