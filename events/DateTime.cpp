#include "events/DateTime.h"

#include <cmath>

namespace kestrix {

namespace {
// Days from 1970-01-01 to a civil date (H. Hinnant's algorithm).
constexpr std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void CivilFromDays(std::int64_t z, int& year, int& month, int& day) {
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    year = static_cast<int>(static_cast<std::int64_t>(yoe) + era * 400 + (month <= 2));
}

constexpr std::int64_t kEpochFromUnix = DaysFromCivil(1899, 12, 30);
}  // namespace

bool IsLeapYear(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

bool IsValidDate(int year, int month, int day) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12 || day < 1) return false;
    const int length = kDays[month - 1] + (month == 2 && IsLeapYear(year) ? 1 : 0);
    return day <= length;
}

std::int64_t DaysSinceEpoch(int year, int month, int day) {
    return DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) - kEpochFromUnix;
}

DateTimeValue EncodeDateTime(const CivilDateTime& t) {
    const double seconds = t.hour * 3600.0 + t.minute * 60.0 + t.second;
    return static_cast<double>(DaysSinceEpoch(t.year, t.month, t.day)) + seconds / 86400.0;
}

CivilDateTime DecodeDateTime(DateTimeValue value) {
    const std::int64_t totalSeconds = std::llround(value * 86400.0);
    std::int64_t days = totalSeconds / 86400;
    std::int64_t secondOfDay = totalSeconds % 86400;
    if (secondOfDay < 0) {
        secondOfDay += 86400;
        --days;
    }
    CivilDateTime t;
    CivilFromDays(days + kEpochFromUnix, t.year, t.month, t.day);
    t.hour = static_cast<int>(secondOfDay / 3600);
    t.minute = static_cast<int>(secondOfDay / 60 % 60);
    t.second = static_cast<int>(secondOfDay % 60);
    return t;
}

DateTimeValue DateOnly(DateTimeValue value) {
    const CivilDateTime t = DecodeDateTime(value);
    return static_cast<double>(DaysSinceEpoch(t.year, t.month, t.day));
}

}  // namespace kestrix
