// Finding the server of a database name, and telling a host that takes no
// TCP connection from one that answers or refuses.

#include <gtest/gtest.h>

#include "db/ServerProbe.h"
#include "tests/support/DeafServer.h"

using namespace kestrix;
using namespace kestrix::test;
using namespace std::chrono_literals;

TEST(ServerOf, NamesTheServerOfEveryTcpForm) {
    const struct {
        std::string name;
        std::optional<ServerAddress> server;
    } cases[] = {
        {"/var/lib/kestrix/DB/CBASE.FDB", std::nullopt},
        {"DB/CBASE.FDB", std::nullopt},
        {"dir/sub/x:y/CBASE.FDB", std::nullopt},
        {"", std::nullopt},
        {"xnet://CBASE", std::nullopt},
        {"localhost:/srv/db/CBASE.FDB", ServerAddress{"localhost", "3050"}},
        {"10.1.2.3:C:\\DB\\CBASE.FDB", ServerAddress{"10.1.2.3", "3050"}},
        {"server/3051:/srv/db/CBASE.FDB", ServerAddress{"server", "3051"}},
        {"server/gds_db:/srv/db/CBASE.FDB", ServerAddress{"server", "gds_db"}},
        {"[::1]:/srv/db/CBASE.FDB", ServerAddress{"::1", "3050"}},
        {"[::1]/3052:/srv/db/CBASE.FDB", ServerAddress{"::1", "3052"}},
        {"inet://server/srv/db/CBASE.FDB", ServerAddress{"server", "3050"}},
        {"inet4://server:3053/srv/db/CBASE.FDB", ServerAddress{"server", "3053"}},
        {"inet6://[::1]:3054/srv/db/CBASE.FDB", ServerAddress{"::1", "3054"}},
    };
    for (const auto& c : cases) {
        const auto server = ServerOf(c.name);
        EXPECT_EQ(server.has_value(), c.server.has_value()) << c.name;
        if (server && c.server) {
            EXPECT_EQ(*server, *c.server) << c.name << " -> " << server->host << " " << server->port;
        }
    }
}

TEST(ServerTakesConnections, OnlyAHostThatTakesNoConnectionCountsAsSilent) {
    DeafServer down(true), silent(false);
    EXPECT_FALSE(ServerTakesConnections({"127.0.0.1", std::to_string(down.port())}, 300ms));
    // A server that takes the connection, even one that never answers after it,
    // and a closed port that refuses it at once are both left to the client library.
    EXPECT_TRUE(ServerTakesConnections({"127.0.0.1", std::to_string(silent.port())}, 300ms));
    const int closed = [] {
        DeafServer gone(false);
        return gone.port();
    }();
    EXPECT_TRUE(ServerTakesConnections({"127.0.0.1", std::to_string(closed)}, 300ms));
    EXPECT_TRUE(ServerTakesConnections({"no-such-host.invalid", "3050"}, 300ms));
}

// A name whose first address never answers (a broken route) and whose second
// is a live server: the second is tried at once, not after the first's wait.
TEST(ServerTakesConnections, EveryAddressOfTheNameGetsItsChance) {
    DeafServer down(true), otherDown(true), live(false);
    const auto resolvesTo = [](std::vector<ResolvedAddress> addresses) {
        return [addresses](const ServerAddress& server) -> std::optional<std::vector<ResolvedAddress>> {
            EXPECT_EQ(server.host, "db.example");
            return addresses;
        };
    };
    const ResolvedAddress silentAddress{"127.0.0.1", std::to_string(down.port())};
    const ResolvedAddress otherSilent{"127.0.0.1", std::to_string(otherDown.port())};
    const ResolvedAddress liveAddress{"127.0.0.1", std::to_string(live.port())};
    const auto started = std::chrono::steady_clock::now();
    EXPECT_TRUE(ServerTakesConnections({"db.example", "3050"}, 3s, resolvesTo({silentAddress, liveAddress})));
    EXPECT_LT(std::chrono::steady_clock::now() - started, 1500ms) << "the live address waited for the silent one";
    // None answers: given up when the bound has run out, not once per address.
    const auto again = std::chrono::steady_clock::now();
    EXPECT_FALSE(ServerTakesConnections({"db.example", "3050"}, 500ms, resolvesTo({silentAddress, otherSilent})));
    const auto took = std::chrono::steady_clock::now() - again;
    EXPECT_GE(took, 450ms);
    EXPECT_LT(took, 900ms);
}
