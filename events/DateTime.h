#pragma once
// Local date-time values without time zone, held as a floating-point count of
// days since 1899-12-30 00:00:00 (the fraction is the time of day); compared as
// numbers.

#include <cstdint>

namespace kestrix {

using DateTimeValue = double;

constexpr DateTimeValue kZeroDateTime = 0.0;  // 1899-12-30 00:00:00, before every event

struct CivilDateTime {
    int year = 1899, month = 12, day = 30, hour = 0, minute = 0, second = 0;
    bool operator==(const CivilDateTime&) const = default;
};

bool IsLeapYear(int year);
// True for a date that exists in the (proleptic Gregorian) calendar.
bool IsValidDate(int year, int month, int day);

// Days between 1899-12-30 and the given date (negative before it).
std::int64_t DaysSinceEpoch(int year, int month, int day);

DateTimeValue EncodeDateTime(const CivilDateTime& t);
// Nearest whole second; inverse of EncodeDateTime for whole-second values.
CivilDateTime DecodeDateTime(DateTimeValue value);

// Whole days of a value (its date at 00:00:00).
DateTimeValue DateOnly(DateTimeValue value);

}  // namespace kestrix
