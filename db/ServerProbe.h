#pragma once
// A database name that reaches a Firebird server over TCP names its host (and
// port) in front of the path. Before attaching, the program makes sure that
// the host takes a TCP connection at all: the client library waits out the
// kernel's connect retries (minutes) for a host that is down.

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace kestrix {

struct ServerAddress {
    std::string host;
    std::string port;  // a number or a service name
    bool operator==(const ServerAddress&) const = default;
};

inline const std::string kDefaultServerPort = "3050";

// The server of a database name: "host:path", "host/port:path",
// "[ipv6]:path", "[ipv6]/port:path", "inet://host[:port]/path" (and inet4://,
// inet6://). Nothing for a local path, which the client opens itself.
std::optional<ServerAddress> ServerOf(const std::string& databaseName);

// One address of a server: a numeric host and a port.
struct ResolvedAddress {
    std::string host;
    std::string port;
};

// The server's addresses in the order to try them; nothing when the name
// does not resolve.
using ServerResolver = std::function<std::optional<std::vector<ResolvedAddress>>(const ServerAddress&)>;
// The system's resolver.
std::optional<std::vector<ResolvedAddress>> ResolveServer(const ServerAddress& server);

// False when no address of the server took or refused a TCP connection
// within the timeout (a host that is down, a dropped route); true otherwise,
// also when the name does not resolve: the client library then says why.
// Every address is tried at once, each with the whole timeout, so that a
// first address that never answers (a broken IPv6 route) does not use up
// the time of the ones after it.
bool ServerTakesConnections(const ServerAddress& server, std::chrono::milliseconds timeout,
                            const ServerResolver& resolve = ResolveServer);

}  // namespace kestrix
