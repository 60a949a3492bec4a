#pragma once
// What tests and benchmarks need to know of this machine's Firebird: the
// client library as the program finds it, and the server's SYSDBA password.

#include <fstream>
#include <string>

#include "db/ClientLibrary.h"

namespace kestrix::test {

// The system's client library, found the program's way (none lies beside a test).
inline const std::string kClientLibrary = LocateClientLibrary(DefaultClientLibraryPlaces({})).value_or("libfbclient.so.2");

// SYSDBA's password of the Firebird server installed from Debian's package;
// empty when there is none.
inline std::string FirebirdServerPassword() {
    std::ifstream in("/etc/firebird/3.0/SYSDBA.password");
    for (std::string line; std::getline(in, line);)
        if (line.rfind("ISC_PASSWORD=", 0) == 0) {
            std::string password = line.substr(13);
            std::erase(password, '"');
            return password;
        }
    return {};
}

}  // namespace kestrix::test
