#include "tools/sim/SimulatorServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <stdexcept>

namespace kestrix::sim {

namespace {
std::runtime_error SystemError(const std::string& what) {
    return std::runtime_error(what + ": " + std::strerror(errno));
}
}  // namespace

SimulatorServer::SimulatorServer(SimulatorCore& core, const std::string& bindAddress, std::uint16_t port,
                                 std::uint16_t replyPort)
    : m_core(core), m_replyPort(replyPort) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    if (inet_pton(AF_INET, bindAddress.c_str(), &address.sin_addr) != 1)
        throw std::runtime_error("not an IPv4 address: " + bindAddress);
    m_socket = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (m_socket < 0) throw SystemError("socket");
    if (::bind(m_socket, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        const auto error = SystemError("bind " + bindAddress + ":" + std::to_string(port));
        ::close(m_socket);
        throw error;
    }
    socklen_t length = sizeof address;
    ::getsockname(m_socket, reinterpret_cast<sockaddr*>(&address), &length);
    m_port = ntohs(address.sin_port);
    m_thread = std::thread([this] { run(); });
}

SimulatorServer::~SimulatorServer() {
    stop();
}

void SimulatorServer::stop() {
    m_stop = true;
    if (m_thread.joinable()) m_thread.join();
    if (m_socket >= 0) {
        ::close(m_socket);
        m_socket = -1;
    }
}

void SimulatorServer::run() {
    std::vector<std::uint8_t> buffer(65536);
    while (!m_stop) {
        pollfd descriptor{m_socket, POLLIN, 0};
        if (::poll(&descriptor, 1, 50) <= 0) continue;
        sockaddr_in sender{};
        socklen_t senderLength = sizeof sender;
        const ssize_t size = ::recvfrom(m_socket, buffer.data(), buffer.size(), 0,
                                        reinterpret_cast<sockaddr*>(&sender), &senderLength);
        if (size < 0) continue;
        const auto reply = m_core.handle({buffer.data(), static_cast<std::size_t>(size)});
        if (!reply) continue;
        if (m_core.faults().latencyMs > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(m_core.faults().latencyMs));
        sender.sin_port = htons(m_replyPort);
        ::sendto(m_socket, reply->data(), reply->size(), 0, reinterpret_cast<const sockaddr*>(&sender),
                 sizeof sender);
    }
}

}  // namespace kestrix::sim
