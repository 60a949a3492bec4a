#pragma once
// A capture layer without a wire: devices and failures as a test sets them,
// and a record of every open, close, address query and frame sent. A test
// that wants a wire sets `wire`, which gets every frame sent.

#include <functional>
#include <map>
#include <set>

#include "link/PacketCapture.h"

namespace kestrix::test {

class FakeCapture : public PacketCapture {
public:
    struct Log {
        int opens = 0, closes = 0, queries = 0;
        std::vector<std::string> openedDevices;
        std::vector<std::vector<std::uint8_t>> frames;
    };

    std::optional<std::vector<CaptureDevice>> devices = std::vector<CaptureDevice>{
        {"eth0", "Ethernet adapter", {{kAddressFamilyInet, {10, 0, 0, 5}}}}};
    std::set<std::string> unopenable;
    std::map<std::string, HardwareAddress> adapterMacs{{"eth0", {0x00, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE}}};
    bool refuseFrames = false;
    std::function<void(const std::vector<std::uint8_t>&)> wire;
    Log log;

    Result<std::vector<CaptureDevice>> findAllDevices() override {
        if (!devices) return Failure{"no permission to list the devices"};
        return *devices;
    }

    Result<std::unique_ptr<CaptureHandle>> open(const std::string& device) override {
        if (device.empty() || unopenable.count(device))
            return Failure{device + ": You don't have permission to capture on that device"};
        ++log.opens;
        log.openedDevices.push_back(device);
        return std::unique_ptr<CaptureHandle>(std::make_unique<Handle>(*this, device));
    }

private:
    class Handle : public CaptureHandle {
    public:
        Handle(FakeCapture& owner, std::string device) : m_owner(owner), m_device(std::move(device)) {}
        ~Handle() override { ++m_owner.log.closes; }
        Result<void> sendPacket(std::span<const std::uint8_t> frame) override {
            if (m_owner.refuseFrames) return Failure{"send: Network is down"};
            m_owner.log.frames.emplace_back(frame.begin(), frame.end());
            if (m_owner.wire) m_owner.wire(m_owner.log.frames.back());
            return {};
        }
        Result<HardwareAddress> queryAdapterMac() override {
            ++m_owner.log.queries;
            const auto found = m_owner.adapterMacs.find(m_device);
            if (found == m_owner.adapterMacs.end()) return Failure{m_device + " has no Ethernet address"};
            return found->second;
        }

    private:
        FakeCapture& m_owner;
        std::string m_device;
    };
};

}  // namespace kestrix::test
