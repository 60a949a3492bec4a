// Slot cutting and validation on arbitrary reply data (hex or not).
#include <cstdlib>
#include <string>

#include "events/EventRecords.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace kestrix;
    const std::string replyData(reinterpret_cast<const char*>(data), std::min<std::size_t>(size, 4096));
    std::vector<HexText> raw;
    CollectPlausibleSlots(replyData, raw);
    if (raw.size() > kSlotsPerReply) std::abort();
    for (const HexText& slot : raw) {
        if (slot.empty() || slot.size() > kSlotDigits || IsFillPattern(slot)) std::abort();
        const auto year = HexToInt(slot.substr(0, 2));
        if (year < 11 || year > 29) std::abort();
    }
    const ValidationResult result = ValidateRecords(raw);
    if (result.events.size() > raw.size()) std::abort();
    for (const HexText& event : result.events) {
        const CivilDateTime t = RecordTime(event);
        if (!IsValidDate(t.year, t.month, t.day) || t.hour > 23 || t.minute > 59 || t.second > 59) std::abort();
        const DateTimeValue time = EncodeDateTime(t);
        if (time < result.earliest || time > result.latest) std::abort();
    }
    if (result.events.empty() && (result.earliest != kEarliestStart || result.latest != kLatestStart)) std::abort();
    return 0;
}
