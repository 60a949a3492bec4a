#pragma once
// Database servers that never answer, for the time-outs of the connection.

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <vector>

namespace kestrix::test {

// A TCP listener on loopback that never answers: "silent" accepts connections
// into its queue, "down" keeps its queue full so that new connections are never
// taken, as with a host that is down.
class DeafServer {
public:
    explicit DeafServer(bool down) {
        m_socket = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(m_socket, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::listen(m_socket, down ? 0 : 16);
        socklen_t length = sizeof address;
        ::getsockname(m_socket, reinterpret_cast<sockaddr*>(&address), &length);
        m_port = ntohs(address.sin_port);
        for (int i = 0; down && i < 3; ++i) {
            const int filler = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
            ::connect(filler, reinterpret_cast<sockaddr*>(&address), sizeof address);
            m_fillers.push_back(filler);
        }
    }
    ~DeafServer() {
        for (int fd : m_fillers) ::close(fd);
        ::close(m_socket);
    }
    int port() const { return m_port; }

private:
    int m_socket = -1;
    int m_port = 0;
    std::vector<int> m_fillers;
};


}  // namespace kestrix::test
