#pragma once
// The usable network interfaces of MAC mode: one entry for every IPv4 address
// of every capture device, in the order the devices and addresses come.

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "link/PacketCapture.h"

namespace kestrix {

struct InterfaceTable {
    std::vector<std::string> displayTexts;  // "[10.0.0.5] description"
    std::vector<std::string> deviceNames;   // trimmed; opened by MAC mode, saved in settings.ini
    std::vector<std::string> addressTexts;  // dotted IPv4

    std::size_t size() const { return deviceNames.size(); }
    // Empty text for index -1 (no entry chosen).
    std::string deviceName(int index) const;
    std::string addressText(int index) const;
};

// Characters of codes 0 to 32 removed from both ends.
std::string TrimControlAndBlank(const std::string& text);

InterfaceTable BuildInterfaceTable(const std::vector<CaptureDevice>& devices,
                                   const std::function<std::string(const std::string& device)>& friendlyDescription);

// The first entry whose address does not start with "0"; entry 0 when all do;
// -1 for an empty table.
int DefaultInterfaceIndex(const InterfaceTable& table);

// The last entry whose device name equals saved exactly; current when none does.
int SavedInterfaceIndex(const InterfaceTable& table, const std::string& saved, int current);

}  // namespace kestrix
