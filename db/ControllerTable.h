#pragma once
// The controllers of fb_dvs: ids (MAC addresses as 12 hex digits) and their IP
// addresses (8 hex digits, first octet first; empty when not stored).

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace kestrix {

class DatabaseConnection;

struct Controller {
    std::string id;  // 12 hex digits
    std::string ip;  // 8 hex digits, first octet first; empty when not stored
    bool operator==(const Controller&) const = default;
};

// In the order of fb_dvs's ids.
using ControllerTable = std::vector<Controller>;

// The position of a controller id in the table; -1 when it is not listed.
int IndexOfController(const ControllerTable& table, const std::string& id);

inline const std::string kControllerQuery = "SELECT id,ip FROM fb_dvs ORDER by id";

// Runs the controller query and hands every row to onRow in order. An error
// escapes after the rows read before it have been handed over.
void LoadControllerTable(DatabaseConnection& connection, const std::function<void(const Controller&)>& onRow);

// The dotted IP text of a controller: from the stored ip of the selected entry,
// or derived from a 12-digit MAC text (192 and the MAC's last three bytes);
// nothing otherwise. selectedIndex is -1 when the operator typed the text.
std::optional<std::string> ControllerIpText(const ControllerTable& table, int selectedIndex,
                                            const std::string& controllerText);

}  // namespace kestrix
