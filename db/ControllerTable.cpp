#include "db/ControllerTable.h"

#include <algorithm>

#include "db/DatabaseConnection.h"
#include "link/HexCodec.h"
#include "link/RawFrame.h"

namespace kestrix {

void LoadControllerTable(DatabaseConnection& connection, const std::function<void(const Controller&)>& onRow) {
    const std::unique_ptr<Statement> query = connection.prepare(kControllerQuery);
    query->open();
    while (query->next()) onRow({query->column("id"), query->column("ip")});
    query->close();
}

int IndexOfController(const ControllerTable& table, const std::string& id) {
    const auto found = std::find_if(table.begin(), table.end(), [&](const Controller& c) { return c.id == id; });
    return found == table.end() ? -1 : static_cast<int>(found - table.begin());
}

std::optional<std::string> ControllerIpText(const ControllerTable& table, int selectedIndex,
                                            const std::string& controllerText) {
    const bool listed = selectedIndex >= 0 && static_cast<std::size_t>(selectedIndex) < table.size();
    const std::string ipHex = listed ? table[static_cast<std::size_t>(selectedIndex)].ip : std::string();
    if (!ipHex.empty()) {
        // Stored digits are read as they are, foreign ones included.
        const auto group = [&](std::size_t start) {
            return start < ipHex.size() ? std::to_string(HexToInt(ipHex.substr(start, 2))) : std::string("0");
        };
        return group(0) + "." + group(2) + "." + group(4) + "." + group(6);
    }
    if (controllerText.size() == 12) return IpTextFromAddress(ControllerAddressOfMac(controllerText));
    return std::nullopt;
}

}  // namespace kestrix
