#pragma once
// What a simulated controller does with one datagram: check the frame, answer
// a page read with the page's memory, log the test signal, and play the faults
// a test asks for.

#include <cstdint>
#include <mutex>
#include <optional>
#include <random>
#include <span>
#include <vector>

#include "tools/sim/ControllerMemory.h"

namespace kestrix::sim {

struct FaultOptions {
    int latencyMs = 0;            // delay before each reply
    int dropEvery = 0;            // leave every n-th page read unanswered (0: none)
    double dropShare = 0.0;       // leave this share of page reads unanswered, at random
    int stopAfterPage = -1;       // answer nothing once a page above this index is asked for
    int shortReplyBytes = -1;     // cut each reply after this many data bytes (-1: whole reply)
    std::uint32_t seed = 1;       // for dropShare
};

enum class RequestKind { PageRead, TestSignal, Other, Malformed };

struct ReceivedRequest {
    RequestKind kind;
    HexText body;     // the body of a well-formed message, else empty
    HexText message;  // the whole datagram
};

class SimulatorCore {
public:
    SimulatorCore(ControllerMemory memory, FaultOptions faults);

    // Handles one datagram; returns the reply to send, if any. Thread-safe.
    std::optional<std::vector<std::uint8_t>> handle(std::span<const std::uint8_t> datagram);

    std::vector<ReceivedRequest> received() const;
    std::vector<HexText> receivedBodies(RequestKind kind) const;
    const ControllerMemory& memory() const { return m_memory; }
    const FaultOptions& faults() const { return m_faults; }

private:
    ControllerMemory m_memory;
    FaultOptions m_faults;
    mutable std::mutex m_mutex;
    std::vector<ReceivedRequest> m_received;
    std::mt19937 m_rng;
    long m_pageReads = 0;
    bool m_stopped = false;
};

// The reply to a page read: 0x23, length, 0xDA, the request's data echoed,
// padding to byte 13, the data bytes, checksum.
std::vector<std::uint8_t> BuildPageReply(std::uint16_t pageValue, std::span<const std::uint8_t> data);

}  // namespace kestrix::sim
