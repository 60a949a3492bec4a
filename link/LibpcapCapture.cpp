#include <pcap/pcap.h>
#include <sys/socket.h>
#include <netinet/in.h>

#include <cstring>

#include "link/PacketCapture.h"

namespace kestrix {

namespace {

constexpr int kSnapshotLength = 100;
constexpr int kPromiscuous = 1;
constexpr int kReadTimeoutMs = 1000;

class LibpcapHandle : public CaptureHandle {
public:
    LibpcapHandle(pcap_t* handle, std::string device) : m_handle(handle), m_device(std::move(device)) {}
    ~LibpcapHandle() override { pcap_close(m_handle); }
    LibpcapHandle(const LibpcapHandle&) = delete;
    LibpcapHandle& operator=(const LibpcapHandle&) = delete;

    Result<void> sendPacket(std::span<const std::uint8_t> frame) override {
        if (pcap_sendpacket(m_handle, frame.data(), static_cast<int>(frame.size())) == 0) return {};
        return Failure{pcap_geterr(m_handle)};
    }
    Result<HardwareAddress> queryAdapterMac() override { return QueryAdapterMac(m_device); }

private:
    pcap_t* m_handle;
    std::string m_device;
};

}  // namespace

Result<std::vector<CaptureDevice>> LibpcapCapture::findAllDevices() {
    char error[PCAP_ERRBUF_SIZE] = {};
    pcap_if_t* list = nullptr;
    if (pcap_findalldevs(&list, error) != 0) return Failure{error};
    std::vector<CaptureDevice> devices;
    for (pcap_if_t* d = list; d; d = d->next) {
        CaptureDevice device{d->name ? d->name : "", d->description ? d->description : "", {}};
        for (pcap_addr_t* a = d->addresses; a; a = a->next) {
            if (!a->addr) continue;
            CaptureAddress address{a->addr->sa_family, {}};
            if (a->addr->sa_family == AF_INET)
                std::memcpy(address.ipv4.data(), &reinterpret_cast<const sockaddr_in*>(a->addr)->sin_addr, 4);
            device.addresses.push_back(address);
        }
        devices.push_back(std::move(device));
    }
    pcap_freealldevs(list);
    return devices;
}

Result<std::unique_ptr<CaptureHandle>> LibpcapCapture::open(const std::string& device) {
    char error[PCAP_ERRBUF_SIZE] = {};
    if (device.empty()) return Failure{"no network interface chosen"};
    pcap_t* handle = pcap_open_live(device.c_str(), kSnapshotLength, kPromiscuous, kReadTimeoutMs, error);
    if (!handle) return Failure{error};
    return std::unique_ptr<CaptureHandle>(std::make_unique<LibpcapHandle>(handle, device));
}

}  // namespace kestrix
