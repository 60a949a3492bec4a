#pragma once
// The simulated controller on the wire: a UDP socket on its own thread that
// hands each datagram to a SimulatorCore and sends the reply to the sender's
// address at the reply port.

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>

#include "tools/sim/SimulatorCore.h"

namespace kestrix::sim {

class SimulatorServer {
public:
    // Binds bindAddress:port (port 0 picks a free one). Throws std::runtime_error.
    SimulatorServer(SimulatorCore& core, const std::string& bindAddress, std::uint16_t port,
                    std::uint16_t replyPort);
    ~SimulatorServer();
    SimulatorServer(const SimulatorServer&) = delete;
    SimulatorServer& operator=(const SimulatorServer&) = delete;

    std::uint16_t port() const { return m_port; }
    // Stops answering and closes the socket (as a controller that is switched off).
    void stop();

private:
    void run();

    SimulatorCore& m_core;
    int m_socket = -1;
    std::uint16_t m_port = 0;
    std::uint16_t m_replyPort;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

}  // namespace kestrix::sim
