#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <net/if_arp.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>

#include "link/PacketCapture.h"

namespace kestrix {

Result<HardwareAddress> QueryAdapterMac(const std::string& device) {
    if (device.empty() || device.size() >= IFNAMSIZ) return Failure::OfSystem("SIOCGIFHWADDR " + device, ENODEV);
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return Failure::OfSystem("socket", errno);
    ifreq request{};
    std::strncpy(request.ifr_name, device.c_str(), IFNAMSIZ - 1);
    const bool ok = ::ioctl(fd, SIOCGIFHWADDR, &request) == 0;
    const int error = errno;
    ::close(fd);
    if (!ok) return Failure::OfSystem("SIOCGIFHWADDR " + device, error);
    if (request.ifr_hwaddr.sa_family != ARPHRD_ETHER) return Failure{device + " has no Ethernet address"};
    HardwareAddress address;
    std::memcpy(address.data(), request.ifr_hwaddr.sa_data, address.size());
    return address;
}

bool IsNetworkInterface(const std::string& name) {
    return !name.empty() && name.size() < IFNAMSIZ && ::if_nametoindex(name.c_str()) != 0;
}

bool InterfaceHasAddress(const std::string& name, const std::array<std::uint8_t, 4>& ipv4) {
    ifaddrs* addresses = nullptr;
    if (::getifaddrs(&addresses) != 0) return false;
    bool found = false;
    for (const ifaddrs* a = addresses; a && !found; a = a->ifa_next)
        found = a->ifa_addr && a->ifa_addr->sa_family == AF_INET && a->ifa_name && name == a->ifa_name &&
                std::memcmp(&reinterpret_cast<const sockaddr_in*>(a->ifa_addr)->sin_addr, ipv4.data(), 4) == 0;
    ::freeifaddrs(addresses);
    return found;
}

std::string FriendlyAdapterDescription(const std::string& device) {
    // udev's hardware database names the adapter ("Intel Corporation 82574L ...").
    std::ifstream indexFile("/sys/class/net/" + device + "/ifindex");
    int index = 0;
    if (device.find('/') != std::string::npos || !(indexFile >> index)) return {};
    std::ifstream udev("/run/udev/data/n" + std::to_string(index));
    std::string vendor, model;
    for (std::string line; std::getline(udev, line);) {
        if (line.rfind("E:ID_VENDOR_FROM_DATABASE=", 0) == 0) vendor = line.substr(26);
        if (line.rfind("E:ID_MODEL_FROM_DATABASE=", 0) == 0) model = line.substr(25);
    }
    if (model.empty()) return {};
    return vendor.empty() ? model : vendor + " " + model;
}

}  // namespace kestrix
