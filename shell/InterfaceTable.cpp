#include "shell/InterfaceTable.h"

#include "link/RawFrame.h"

namespace kestrix {

std::string InterfaceTable::deviceName(int index) const {
    return index >= 0 && static_cast<std::size_t>(index) < size() ? deviceNames[static_cast<std::size_t>(index)] : "";
}

std::string InterfaceTable::addressText(int index) const {
    return index >= 0 && static_cast<std::size_t>(index) < size() ? addressTexts[static_cast<std::size_t>(index)] : "";
}

std::string TrimControlAndBlank(const std::string& text) {
    std::size_t first = 0, last = text.size();
    while (first < last && static_cast<unsigned char>(text[first]) <= 32) ++first;
    while (last > first && static_cast<unsigned char>(text[last - 1]) <= 32) --last;
    return text.substr(first, last - first);
}

InterfaceTable BuildInterfaceTable(const std::vector<CaptureDevice>& devices,
                                   const std::function<std::string(const std::string& device)>& friendlyDescription) {
    InterfaceTable table;
    for (const CaptureDevice& device : devices) {
        for (const CaptureAddress& address : device.addresses) {
            if (address.family != kAddressFamilyInet) continue;
            const std::string name = TrimControlAndBlank(device.name);
            const std::string friendly = friendlyDescription(name);
            const std::string addressText = IpTextFromAddress(address.ipv4);
            table.deviceNames.push_back(name);
            table.addressTexts.push_back(addressText);
            table.displayTexts.push_back("[" + addressText + "] " +
                                         (friendly.empty() ? TrimControlAndBlank(device.description) : friendly));
        }
    }
    return table;
}

int DefaultInterfaceIndex(const InterfaceTable& table) {
    if (table.size() == 0) return -1;
    for (std::size_t i = 0; i < table.size(); ++i)
        if (table.displayTexts[i].size() < 2 || table.displayTexts[i][1] != '0') return static_cast<int>(i);
    return 0;
}

int SavedInterfaceIndex(const InterfaceTable& table, const std::string& saved, int current) {
    int chosen = current;
    for (std::size_t i = 0; i < table.size(); ++i)
        if (table.deviceNames[i] == saved) chosen = static_cast<int>(i);
    return chosen;
}

}  // namespace kestrix
