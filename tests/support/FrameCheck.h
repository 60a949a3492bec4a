#pragma once
// An independent reading of an Ethernet II / IPv4 / UDP frame: fields, lengths
// and both checksums computed with plain 32-bit arithmetic.

#include <cstdint>
#include <string>
#include <vector>

namespace kestrix::test {

inline std::uint16_t OnesComplementSum(const std::vector<std::uint8_t>& bytes) {
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i < bytes.size(); i += 2)
        sum += (static_cast<std::uint32_t>(bytes[i]) << 8) | (i + 1 < bytes.size() ? bytes[i + 1] : 0u);
    while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<std::uint16_t>(sum);
}

struct FrameReport {
    bool wellFormed = false;
    bool ipChecksumValid = false;
    bool udpChecksumValid = false;
    std::string problem;
    std::vector<std::uint8_t> payload;
    std::uint16_t sourcePort = 0, destinationPort = 0;
};

inline FrameReport CheckFrame(const std::vector<std::uint8_t>& f) {
    FrameReport r;
    const auto u16 = [&](std::size_t at) { return static_cast<std::uint16_t>((f[at] << 8) | f[at + 1]); };
    if (f.size() < 42) return r.problem = "shorter than the headers", r;
    if (u16(12) != 0x0800 || f[14] != 0x45) return r.problem = "not IPv4 without options", r;
    if (f[23] != 17) return r.problem = "not UDP", r;
    const std::size_t total = u16(16), udpLength = u16(38);
    if (total != f.size() - 14) return r.problem = "IPv4 total length does not match the frame", r;
    if (udpLength != total - 20) return r.problem = "UDP length does not match", r;
    r.wellFormed = true;
    r.ipChecksumValid = OnesComplementSum({f.begin() + 14, f.begin() + 34}) == 0xFFFF;
    std::vector<std::uint8_t> pseudo(f.begin() + 26, f.begin() + 34);  // source and destination address
    pseudo.insert(pseudo.end(), {0x00, 0x11, static_cast<std::uint8_t>(udpLength >> 8),
                                 static_cast<std::uint8_t>(udpLength & 0xFF)});
    pseudo.insert(pseudo.end(), f.begin() + 34, f.end());
    r.udpChecksumValid = u16(40) != 0 && OnesComplementSum(pseudo) == 0xFFFF;
    r.sourcePort = u16(34);
    r.destinationPort = u16(36);
    r.payload.assign(f.begin() + 42, f.end());
    return r;
}

}  // namespace kestrix::test
