#pragma once
// A database name that reaches a Firebird server over TCP names its host (and
// port) in front of the path. Before attaching, the program makes sure that
// the host takes a TCP connection at all: the client library waits out the
// kernel's connect retries (minutes) for a host that is down.

#include <chrono>
#include <optional>
#include <string>

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

// False when no address of the server took or refused a TCP connection
// within the timeout (a host that is down, a dropped route); true otherwise,
// also when the name does not resolve: the client library then says why.
bool ServerTakesConnections(const ServerAddress& server, std::chrono::milliseconds timeout);

}  // namespace kestrix
