#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

#include "db/ServerProbe.h"

namespace kestrix {

namespace {

enum class Attempt { Answered, Silent };

Attempt TryConnect(const addrinfo& address, std::chrono::steady_clock::time_point deadline) {
    const int fd = ::socket(address.ai_family, address.ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, address.ai_protocol);
    if (fd < 0) return Attempt::Answered;  // nothing to wait for here
    Attempt result = Attempt::Answered;
    if (::connect(fd, address.ai_addr, address.ai_addrlen) != 0 && errno == EINPROGRESS) {
        pollfd watch{fd, POLLOUT, 0};
        int ready = 0;
        do {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            ready = left.count() > 0 ? ::poll(&watch, 1, static_cast<int>(left.count())) : 0;
        } while (ready < 0 && errno == EINTR);
        if (ready == 0) result = Attempt::Silent;
    }
    ::close(fd);
    return result;
}

}  // namespace

bool ServerTakesConnections(const ServerAddress& server, std::chrono::milliseconds timeout) {
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* addresses = nullptr;
    if (::getaddrinfo(server.host.c_str(), server.port.c_str(), &hints, &addresses) != 0) return true;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    bool answered = false;
    for (const addrinfo* a = addresses; a && !answered; a = a->ai_next)
        answered = TryConnect(*a, deadline) == Attempt::Answered;
    ::freeaddrinfo(addresses);
    return answered;
}

}  // namespace kestrix
