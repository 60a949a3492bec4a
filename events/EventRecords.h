#pragma once
// The 16-byte event record of the controller's memory, carried as 32 hex
// digits: bytes 0-5 year offset (year - 2000), month, day, hour, minute,
// second; bytes 9-11 card code; byte 12 evnh; byte 13 evn.

#include <functional>
#include <string_view>
#include <vector>

#include "events/DateTime.h"
#include "link/HexCodec.h"

namespace kestrix {

constexpr int kFirstPageValue = 0;
constexpr int kLastPageValue = 12286;
constexpr int kPageValueStep = 2;  // 6,144 pages
constexpr std::size_t kSlotDigits = 32;
constexpr std::size_t kSlotsPerReply = 32;

// A slot of all 0x00, 0xFF or 0xAA holds no record.
bool IsFillPattern(std::string_view slot);

// Cuts the data part of a page reply into its 32 slots and appends the ones that
// may hold a record: no fill pattern, year offset 11 to 29. Slots past the end of
// a short reply are shorter or empty (an empty slot reads as year offset 0).
void CollectPlausibleSlots(std::string_view replyData, std::vector<HexText>& rawRecords);

// The two-digit field at byte `index`; digits beyond the end of the text read as 0.
int RecordByte(std::string_view record, std::size_t index);

// The event time fields of a record (year = offset + 2000), unchecked.
CivilDateTime RecordTime(std::string_view record);

// True when the fields form a real local date and time.
bool IsValidRecord(std::string_view record);

struct ValidationResult {
    std::vector<HexText> events;  // the valid records, in list order
    DateTimeValue earliest;
    DateTimeValue latest;
};

// Bounds before the first valid record: they lie outside every event year.
inline const DateTimeValue kEarliestStart = EncodeDateTime({2030, 12, 31, 23, 59, 59});
inline const DateTimeValue kLatestStart = EncodeDateTime({2000, 1, 1, 0, 0, 1});

// The validation pass; progress(i) is called before entry i is examined.
ValidationResult ValidateRecords(const std::vector<HexText>& rawRecords,
                                 const std::function<void(std::size_t)>& progress = {});

}  // namespace kestrix
