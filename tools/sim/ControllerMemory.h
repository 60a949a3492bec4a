#pragma once
// The event memory of a simulated door controller: 6,144 pages of 512 bytes,
// 32 slots of 16 bytes a page. A slot holds an event record or a fill pattern.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "link/HexCodec.h"

namespace kestrix::sim {

constexpr int kPageCount = 6144;
constexpr int kPageBytes = 512;
constexpr int kSlotBytes = 16;
constexpr int kSlotsPerPage = kPageBytes / kSlotBytes;
constexpr int kSlotCount = kPageCount * kSlotsPerPage;

struct GenerateOptions {
    std::uint32_t seed = 1;
    int eventCount = 3000;
    int days = 7;
    int lastYear = 2026, lastMonth = 12, lastDay = 9;  // the day of the newest events
    int cardCount = 150;
    int junkCount = 20;  // implausible slots mixed in (bad year offset or bad date)
};

// The card codes (three bytes, six hex digits) the generated events use.
std::vector<HexText> GeneratedCardCodes(std::uint32_t seed, int count);

class ControllerMemory {
public:
    // Every slot filled with 0xFF.
    ControllerMemory();

    // Records (32 hex digits a line) written from slot 0 on; the rest stays 0xFF.
    // Throws std::invalid_argument naming the line for a malformed record or
    // too many of them.
    static ControllerMemory FromRecordLines(const std::vector<std::string>& lines);
    static ControllerMemory Generate(const GenerateOptions& options);

    std::span<const std::uint8_t> page(int index) const;
    HexText slotText(int slot) const;
    void setSlot(int slot, std::span<const std::uint8_t, kSlotBytes> bytes);
    void setSlotText(int slot, const HexText& text);
    void fillSlot(int slot, std::uint8_t value);

    // The event records as written (in memory order), without junk slots.
    const std::vector<HexText>& writtenEvents() const { return m_events; }

private:
    std::vector<std::uint8_t> m_bytes;
    std::vector<HexText> m_events;
};

}  // namespace kestrix::sim
