#include "tools/sim/SimulatorCore.h"

#include <algorithm>
#include <numeric>

#include "link/ControllerMessage.h"

namespace kestrix::sim {

std::vector<std::uint8_t> BuildPageReply(std::uint16_t pageValue, std::span<const std::uint8_t> data) {
    const std::size_t length = kReplyDataOffset + data.size() + 1;
    std::vector<std::uint8_t> reply(length, 0x00);
    reply[0] = kMessageStart;
    reply[1] = static_cast<std::uint8_t>(length >> 8);
    reply[2] = static_cast<std::uint8_t>(length & 0xFF);
    reply[3] = kPageReadCommand;
    reply[5] = static_cast<std::uint8_t>(pageValue >> 8);
    reply[6] = static_cast<std::uint8_t>(pageValue & 0xFF);
    std::copy(data.begin(), data.end(), reply.begin() + kReplyDataOffset);
    const unsigned sum = std::accumulate(reply.begin(), reply.end() - 1, 0u);
    reply.back() = static_cast<std::uint8_t>((256 - (sum & 0xFF)) & 0xFF);
    return reply;
}

SimulatorCore::SimulatorCore(ControllerMemory memory, FaultOptions faults)
    : m_memory(std::move(memory)), m_faults(faults), m_rng(faults.seed) {}

std::optional<std::vector<std::uint8_t>> SimulatorCore::handle(std::span<const std::uint8_t> datagram) {
    std::lock_guard lock(m_mutex);
    const bool framed = datagram.size() >= 5 && datagram[0] == kMessageStart &&
                        ((datagram[1] << 8) | datagram[2]) == static_cast<int>(datagram.size()) &&
                        (std::accumulate(datagram.begin(), datagram.end(), 0u) & 0xFF) == 0;
    const HexText message = BytesToHex(datagram);
    if (!framed) {
        m_received.push_back({RequestKind::Malformed, {}, message});
        return std::nullopt;
    }
    const auto body = datagram.subspan(3, datagram.size() - 4);
    const HexText bodyText = BytesToHex(body);
    if (bodyText == kTestSignalBody) {
        m_received.push_back({RequestKind::TestSignal, bodyText, message});
        return std::nullopt;
    }
    if (body.size() != 4 || body[0] != kPageReadCommand || body[1] != 0x00) {
        m_received.push_back({RequestKind::Other, bodyText, message});
        return std::nullopt;
    }
    m_received.push_back({RequestKind::PageRead, bodyText, message});
    const std::uint16_t pageValue = static_cast<std::uint16_t>((body[2] << 8) | body[3]);
    const int pageIndex = pageValue / 2;
    if (pageIndex >= kPageCount) return std::nullopt;

    ++m_pageReads;
    if (m_faults.stopAfterPage >= 0 && pageIndex > m_faults.stopAfterPage) m_stopped = true;
    if (m_stopped) return std::nullopt;
    if (m_faults.dropEvery > 0 && m_pageReads % m_faults.dropEvery == 0) return std::nullopt;
    if (m_faults.dropShare > 0 && std::uniform_real_distribution<double>(0, 1)(m_rng) < m_faults.dropShare)
        return std::nullopt;

    std::vector<std::uint8_t> reply = BuildPageReply(pageValue, m_memory.page(pageIndex));
    if (m_faults.shortReplyBytes >= 0 && m_faults.shortReplyBytes < kPageBytes)
        reply.resize(kReplyDataOffset + static_cast<std::size_t>(m_faults.shortReplyBytes));
    return reply;
}

std::vector<ReceivedRequest> SimulatorCore::received() const {
    std::lock_guard lock(m_mutex);
    return m_received;
}

std::vector<HexText> SimulatorCore::receivedBodies(RequestKind kind) const {
    std::lock_guard lock(m_mutex);
    std::vector<HexText> bodies;
    for (const auto& r : m_received)
        if (r.kind == kind) bodies.push_back(r.body);
    return bodies;
}

}  // namespace kestrix::sim
