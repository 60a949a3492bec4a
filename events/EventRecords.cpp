#include "events/EventRecords.h"

#include <algorithm>

namespace kestrix {

bool IsFillPattern(std::string_view slot) {
    if (slot.size() != kSlotDigits) return false;
    for (char fill : {'0', 'F', 'A'})
        if (std::all_of(slot.begin(), slot.end(), [fill](char c) { return c == fill; })) return true;
    return false;
}

void CollectPlausibleSlots(std::string_view replyData, std::vector<HexText>& rawRecords) {
    for (std::size_t k = 0; k < kSlotsPerReply; ++k) {
        const std::size_t start = k * kSlotDigits;
        const std::string_view slot = start < replyData.size() ? replyData.substr(start, kSlotDigits) : std::string_view();
        if (IsFillPattern(slot)) continue;
        const auto yearOffset = HexToInt(slot.substr(0, 2));
        if (yearOffset > 10 && yearOffset < 30) rawRecords.emplace_back(slot);
    }
}

int RecordByte(std::string_view record, std::size_t index) {
    const std::size_t start = 2 * index;
    if (start >= record.size()) return 0;
    return static_cast<int>(HexToInt(record.substr(start, 2)));
}

CivilDateTime RecordTime(std::string_view record) {
    return {2000 + RecordByte(record, 0), RecordByte(record, 1), RecordByte(record, 2),
            RecordByte(record, 3),        RecordByte(record, 4), RecordByte(record, 5)};
}

bool IsValidRecord(std::string_view record) {
    const CivilDateTime t = RecordTime(record);
    return t.month >= 1 && t.month <= 12 && t.day >= 1 && t.day <= 31 && t.hour <= 23 && t.minute <= 59 &&
           t.second <= 59 && IsValidDate(t.year, t.month, t.day);
}

ValidationResult ValidateRecords(const std::vector<HexText>& rawRecords,
                                 const std::function<void(std::size_t)>& progress) {
    ValidationResult result{{}, kEarliestStart, kLatestStart};
    for (std::size_t i = 0; i < rawRecords.size(); ++i) {
        if (progress) progress(i);
        const HexText& record = rawRecords[i];
        if (!IsValidRecord(record)) continue;
        result.events.push_back(record);
        const DateTimeValue time = EncodeDateTime(RecordTime(record));
        if (time > result.latest) result.latest = time;
        if (time < result.earliest) result.earliest = time;
    }
    return result;
}

}  // namespace kestrix
