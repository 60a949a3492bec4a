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
    // False when the frame was refused, with the library's reason in *reason where given.
    virtual bool sendPacket(std::span<const std::uint8_t> frame, std::string* reason = nullptr) = 0;
    // The adapter's current hardware address; nothing when it has none.
    virtual std::optional<HardwareAddress> queryAdapterMac() = 0;
};

class PacketCapture {
public:
    virtual ~PacketCapture() = default;
    // Nothing on failure; an empty list is no failure. The library's reason
    // for a failure goes to *reason where given ("no permission", ...).
    virtual std::optional<std::vector<CaptureDevice>> findAllDevices(std::string* reason = nullptr) = 0;
    // Snapshot length 100, promiscuous, read time-out 1000 ms; null on failure.
    virtual std::unique_ptr<CaptureHandle> open(const std::string& device, std::string* reason = nullptr) = 0;
};

// libpcap.
class LibpcapCapture : public PacketCapture {
public:
    std::optional<std::vector<CaptureDevice>> findAllDevices(std::string* reason = nullptr) override;
    std::unique_ptr<CaptureHandle> open(const std::string& device, std::string* reason = nullptr) override;
};

// The adapter behind a device name (platform specific).
std::optional<HardwareAddress> QueryAdapterMac(const std::string& device);
// A network interface of this machine goes by that name (platform specific).
bool IsNetworkInterface(const std::string& name);
// The interface has that IPv4 address (platform specific).
bool InterfaceHasAddress(const std::string& name, const std::array<std::uint8_t, 4>& ipv4);
// A readable description of the adapter, empty when the system offers none
// (platform specific).
std::string FriendlyAdapterDescription(const std::string& device);

}  // namespace kestrix
