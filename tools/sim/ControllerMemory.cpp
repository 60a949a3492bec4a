#include "tools/sim/ControllerMemory.h"

#include <algorithm>
#include <array>
#include <random>
#include <stdexcept>

#include "events/DateTime.h"

namespace kestrix::sim {

std::vector<HexText> GeneratedCardCodes(std::uint32_t seed, int count) {
    std::mt19937 rng(seed ^ 0xC0DEu);
    std::uniform_int_distribution<int> facility(1, 250);
    std::uniform_int_distribution<int> number(1, 65535);
    std::vector<HexText> cards;
    while (static_cast<int>(cards.size()) < count) {
        HexText card = FixedHex(static_cast<std::uint64_t>(facility(rng)), 2) +
                       FixedHex(static_cast<std::uint64_t>(number(rng)), 4);
        if (std::find(cards.begin(), cards.end(), card) == cards.end()) cards.push_back(card);
    }
    return cards;
}

ControllerMemory::ControllerMemory() : m_bytes(static_cast<std::size_t>(kPageCount) * kPageBytes, 0xFF) {}

ControllerMemory ControllerMemory::FromRecordLines(const std::vector<std::string>& lines) {
    ControllerMemory memory;
    int slot = 0;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        std::string line = lines[i];
        while (!line.empty() && (line.back() == '\r' || line.back() == '\n' || line.back() == ' ')) line.pop_back();
        if (line.empty()) continue;
        const bool hex = std::all_of(line.begin(), line.end(), [](char c) { return HexDigitValue(c) >= 0; });
        if (line.size() != 32 || !hex)
            throw std::invalid_argument("line " + std::to_string(i + 1) + " is not a record of 32 hex digits");
        if (slot == kSlotCount) throw std::invalid_argument("more records than the memory holds");
        memory.setSlotText(slot++, line);
        memory.m_events.push_back(memory.slotText(slot - 1));
    }
    return memory;
}

ControllerMemory ControllerMemory::Generate(const GenerateOptions& options) {
    if (options.eventCount < 0 || options.eventCount + options.junkCount > kSlotCount || options.days < 1)
        throw std::invalid_argument("event count or days out of range");
    std::mt19937 rng(options.seed);
    const std::vector<HexText> cards = GeneratedCardCodes(options.seed, std::max(options.cardCount, 1));
    const std::int64_t lastDay = DaysSinceEpoch(options.lastYear, options.lastMonth, options.lastDay);
    const std::int64_t firstDay = lastDay - options.days + 1;

    // Event times, ascending, between 06:00 and 22:00 of the days.
    std::uniform_int_distribution<std::int64_t> dayPick(firstDay, lastDay);
    std::uniform_int_distribution<int> secondPick(6 * 3600, 22 * 3600 - 1);
    std::vector<std::int64_t> times(static_cast<std::size_t>(options.eventCount));
    for (auto& t : times) t = dayPick(rng) * 86400 + secondPick(rng);
    std::sort(times.begin(), times.end());

    std::uniform_int_distribution<std::size_t> cardPick(0, cards.size() - 1);
    std::uniform_int_distribution<int> percent(0, 99);
    std::uniform_int_distribution<int> byte(0, 255);
    std::vector<std::array<std::uint8_t, kSlotBytes>> slots;
    for (std::int64_t t : times) {
        const CivilDateTime c = DecodeDateTime(static_cast<double>(t) / 86400.0);
        const bool noCard = percent(rng) < 5;  // exit button, door left open
        const std::vector<std::uint8_t> card = HexToBytes(noCard ? HexText("000000") : cards[cardPick(rng)]);
        const std::uint8_t evnh = noCard ? 0x02 : 0x01;
        static constexpr std::uint8_t kCodes[] = {0x10, 0x11, 0x22, 0x23, 0x30};
        const std::uint8_t evn = kCodes[static_cast<std::size_t>(percent(rng)) % std::size(kCodes)];
        slots.push_back({static_cast<std::uint8_t>(c.year - 2000), static_cast<std::uint8_t>(c.month),
                         static_cast<std::uint8_t>(c.day), static_cast<std::uint8_t>(c.hour),
                         static_cast<std::uint8_t>(c.minute), static_cast<std::uint8_t>(c.second), 0x01,
                         static_cast<std::uint8_t>(percent(rng) % 4), 0x00, card[0], card[1], card[2], evnh, evn,
                         static_cast<std::uint8_t>(byte(rng)), 0x00});
    }

    ControllerMemory memory;
    // Junk slots interleaved with the events: a year offset the download drops,
    // or a date that does not exist.
    std::vector<bool> isJunk(slots.size(), false);
    for (int j = 0; j < options.junkCount; ++j) {
        std::array<std::uint8_t, kSlotBytes> junk{};
        for (auto& b : junk) b = static_cast<std::uint8_t>(byte(rng));
        junk[0] = (j % 2 == 0) ? 0x05 : 0x18;
        if (j % 2 == 1) junk[1] = 13;  // month 13
        std::uniform_int_distribution<std::size_t> where(0, slots.size());
        const std::size_t at = where(rng);
        slots.insert(slots.begin() + static_cast<std::ptrdiff_t>(at), junk);
        isJunk.insert(isJunk.begin() + static_cast<std::ptrdiff_t>(at), true);
    }
    for (std::size_t i = 0; i < slots.size(); ++i) {
        memory.setSlot(static_cast<int>(i), slots[i]);
        if (!isJunk[i]) memory.m_events.push_back(memory.slotText(static_cast<int>(i)));
    }
    // The unused memory: fill patterns, a page at a time.
    const int firstFreePage = static_cast<int>((slots.size() + kSlotsPerPage - 1) / kSlotsPerPage);
    for (int page = firstFreePage; page < kPageCount; ++page) {
        const int p = percent(rng);
        const std::uint8_t fill = p < 70 ? 0xFF : (p < 85 ? 0xAA : 0x00);
        for (int s = 0; s < kSlotsPerPage; ++s) memory.fillSlot(page * kSlotsPerPage + s, fill);
    }
    return memory;
}

std::span<const std::uint8_t> ControllerMemory::page(int index) const {
    return std::span<const std::uint8_t>(m_bytes).subspan(static_cast<std::size_t>(index) * kPageBytes, kPageBytes);
}

HexText ControllerMemory::slotText(int slot) const {
    return BytesToHex(std::span<const std::uint8_t>(m_bytes).subspan(static_cast<std::size_t>(slot) * kSlotBytes,
                                                                      kSlotBytes));
}

void ControllerMemory::setSlot(int slot, std::span<const std::uint8_t, kSlotBytes> bytes) {
    std::copy(bytes.begin(), bytes.end(), m_bytes.begin() + static_cast<std::ptrdiff_t>(slot) * kSlotBytes);
}

void ControllerMemory::setSlotText(int slot, const HexText& text) {
    const std::vector<std::uint8_t> bytes = HexToBytes(text);
    std::copy(bytes.begin(), bytes.end(), m_bytes.begin() + static_cast<std::ptrdiff_t>(slot) * kSlotBytes);
}

void ControllerMemory::fillSlot(int slot, std::uint8_t value) {
    std::fill_n(m_bytes.begin() + static_cast<std::ptrdiff_t>(slot) * kSlotBytes, kSlotBytes, value);
}

}  // namespace kestrix::sim
