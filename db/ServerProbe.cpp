#include "db/ServerProbe.h"

#include <algorithm>

namespace kestrix {

namespace {

// An IPv6 host is written in brackets: [::1].
std::string Unbracketed(const std::string& host) {
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']') return host.substr(1, host.size() - 2);
    return host;
}

// host or host/port, as it stands before the ':' of a TCP name.
ServerAddress SplitHostPort(const std::string& node) {
    std::string host = node;
    std::string port = kDefaultServerPort;
    const auto slash = node.rfind('/');
    if (slash != std::string::npos && (node.front() != '[' || slash > node.find(']'))) {
        host = node.substr(0, slash);
        port = node.substr(slash + 1);
    }
    return {Unbracketed(host), port};
}

std::optional<ServerAddress> FromUrl(const std::string& rest) {
    // host[:port]/path, host being [ipv6] or a name.
    const auto pathStart = rest.find('/', rest.starts_with('[') ? rest.find(']') : 0);
    if (pathStart == std::string::npos || pathStart == 0) return std::nullopt;
    std::string node = rest.substr(0, pathStart);
    std::string port = kDefaultServerPort;
    const auto close = node.starts_with('[') ? node.find(']') : std::string::npos;
    const auto colon = node.rfind(':');
    if (colon != std::string::npos && (close == std::string::npos || colon > close)) {
        port = node.substr(colon + 1);
        node = node.substr(0, colon);
    }
    node = Unbracketed(node);
    if (node.empty() || port.empty()) return std::nullopt;
    return ServerAddress{node, port};
}

}  // namespace

std::optional<ServerAddress> ServerOf(const std::string& databaseName) {
    for (const char* scheme : {"inet://", "inet4://", "inet6://"})
        if (databaseName.starts_with(scheme)) return FromUrl(databaseName.substr(std::string(scheme).size()));
    if (databaseName.empty() || databaseName.front() == '/' || databaseName.find("://") != std::string::npos)
        return std::nullopt;
    const auto searchFrom = databaseName.front() == '[' ? databaseName.find(']') : 0;
    if (searchFrom == std::string::npos) return std::nullopt;
    const auto colon = databaseName.find(':', searchFrom);
    if (colon == std::string::npos || colon == 0) return std::nullopt;
    const std::string node = databaseName.substr(0, colon);
    // A node holds at most one '/', before the port: "dir/sub:x" is a local relative path.
    const auto slashes = std::count(node.begin() + static_cast<std::ptrdiff_t>(searchFrom), node.end(), '/');
    if (slashes > 1) return std::nullopt;
    ServerAddress server = SplitHostPort(node);
    if (server.host.empty() || server.port.empty()) return std::nullopt;
    return server;
}

}  // namespace kestrix
