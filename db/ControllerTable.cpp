#include "db/ControllerTable.h"

#include "db/DatabaseConnection.h"
#include "link/HexCodec.h"

namespace kestrix {

void LoadControllerTable(DatabaseConnection& connection,
                         const std::function<void(const std::string& id, const std::string& ip)>& onRow) {
    const std::unique_ptr<Statement> query = connection.prepare(kControllerQuery);
    query->open();
    while (query->next()) onRow(query->column("id"), query->column("ip"));
    query->close();
}

std::optional<std::string> ControllerIpText(const ControllerTable& table, int selectedIndex,
                                            const std::string& controllerText) {
    const bool listed = selectedIndex >= 0 && static_cast<std::size_t>(selectedIndex) < table.ips.size();
    const std::string ipHex = listed ? table.ips[static_cast<std::size_t>(selectedIndex)] : std::string();
    const auto group = [](const std::string& text, std::size_t start) {
        return start < text.size() ? std::to_string(HexToInt(text.substr(start, 2))) : std::string("0");
    };
    if (!ipHex.empty())
        return group(ipHex, 0) + "." + group(ipHex, 2) + "." + group(ipHex, 4) + "." + group(ipHex, 6);
    if (controllerText.size() == 12)
        return "192." + group(controllerText, 6) + "." + group(controllerText, 8) + "." + group(controllerText, 10);
    return std::nullopt;
}

}  // namespace kestrix
