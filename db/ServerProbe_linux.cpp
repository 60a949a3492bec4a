#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

#include "db/ServerProbe.h"

namespace kestrix {

namespace {

// A connect under way on one address; closed when it goes.
class PendingConnect {
public:
    explicit PendingConnect(const ResolvedAddress& address) {
        addrinfo hints{};
        hints.ai_socktype = SOCK_STREAM;
        hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV;
        addrinfo* found = nullptr;
        if (::getaddrinfo(address.host.c_str(), address.port.c_str(), &hints, &found) != 0) return;
        m_fd = ::socket(found->ai_family, found->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, found->ai_protocol);
        // Connected, refused or impossible at once: an answer, nothing to wait for.
        if (m_fd >= 0 && ::connect(m_fd, found->ai_addr, found->ai_addrlen) != 0 && errno == EINPROGRESS)
            m_waiting = true;
        ::freeaddrinfo(found);
    }
    ~PendingConnect() {
        if (m_fd >= 0) ::close(m_fd);
    }
    PendingConnect(const PendingConnect&) = delete;
    PendingConnect& operator=(const PendingConnect&) = delete;
    PendingConnect(PendingConnect&& other) noexcept : m_fd(other.m_fd), m_waiting(other.m_waiting) { other.m_fd = -1; }

    int fd() const { return m_fd; }
    bool waiting() const { return m_waiting; }

private:
    int m_fd = -1;
    bool m_waiting = false;
};

}  // namespace

std::optional<std::vector<ResolvedAddress>> ResolveServer(const ServerAddress& server) {
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* addresses = nullptr;
    if (::getaddrinfo(server.host.c_str(), server.port.c_str(), &hints, &addresses) != 0) return std::nullopt;
    std::vector<ResolvedAddress> resolved;
    for (const addrinfo* a = addresses; a; a = a->ai_next) {
        char host[NI_MAXHOST], port[NI_MAXSERV];
        if (::getnameinfo(a->ai_addr, a->ai_addrlen, host, sizeof host, port, sizeof port,
                          NI_NUMERICHOST | NI_NUMERICSERV) == 0)
            resolved.push_back({host, port});
    }
    ::freeaddrinfo(addresses);
    return resolved;
}

bool ServerTakesConnections(const ServerAddress& server, std::chrono::milliseconds timeout,
                            const ServerResolver& resolve) {
    const auto addresses = resolve(server);
    if (!addresses) return true;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    std::vector<PendingConnect> attempts;
    std::vector<pollfd> watched;
    for (const ResolvedAddress& address : *addresses) {
        PendingConnect attempt(address);
        if (!attempt.waiting()) return true;
        watched.push_back({attempt.fd(), POLLOUT, 0});
        attempts.push_back(std::move(attempt));
    }
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0 || watched.empty()) return false;
        const int ready = ::poll(watched.data(), watched.size(), static_cast<int>(left.count()));
        if (ready > 0) return true;  // connected or refused: the host answered
        if (ready == 0) return false;
        if (errno != EINTR) return true;  // nothing more to learn here: leave it to the client library
    }
}

}  // namespace kestrix
