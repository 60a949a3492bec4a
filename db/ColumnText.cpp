#include "db/ColumnText.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "db/Cp1251.h"
#include "db/DatabaseConnection.h"

namespace kestrix::firebird {

using namespace Firebird;

namespace {

std::string FormatScaled(std::int64_t value, int scale) {
    const std::uint64_t magnitude = value < 0 ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
    std::string digits = std::to_string(magnitude);
    if (scale < 0) {
        const std::size_t places = static_cast<std::size_t>(-scale);
        if (digits.size() <= places) digits = std::string(places - digits.size() + 1, '0') + digits;
        const std::size_t point = digits.size() - places;
        digits = digits.substr(0, point) + '.' + digits.substr(point);
    } else {
        digits.append(static_cast<std::size_t>(scale), '0');
    }
    return value < 0 ? "-" + digits : digits;
}

std::string FormatDate(ISC_DATE date) {
    const CivilDateTime t = DecodeDateTime(static_cast<double>(static_cast<int>(date) - kLibraryDayOffset));
    char text[16];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", t.year, t.month, t.day);
    return text;
}

std::string FormatTime(ISC_TIME time) {
    const unsigned seconds = time / 10000;
    char text[16];
    std::snprintf(text, sizeof text, "%02u:%02u:%02u", seconds / 3600, seconds / 60 % 60, seconds % 60);
    return text;
}

template <class T>
T Read(const unsigned char* data) {
    T value;
    std::memcpy(&value, data, sizeof value);
    return value;
}

}  // namespace

std::string ColumnText(IMessageMetadata* meta, ThrowStatusWrapper* st, const unsigned char* row, unsigned i,
                       const std::string& name) {
    const unsigned char* data = row + meta->getOffset(st, i);
    if (meta->isNullable(st, i) && Read<short>(row + meta->getNullOffset(st, i))) return {};
    const int scale = meta->getScale(st, i);
    switch (meta->getType(st, i) & ~1u) {
        case SQL_TEXT: {
            std::string text(reinterpret_cast<const char*>(data), meta->getLength(st, i));
            text.erase(text.find_last_not_of(' ') + 1);
            return Cp1251ToUtf8(text);
        }
        case SQL_VARYING: {
            const auto length = Read<unsigned short>(data);
            return Cp1251ToUtf8(std::string(reinterpret_cast<const char*>(data) + sizeof length, length));
        }
        case SQL_SHORT: return FormatScaled(Read<std::int16_t>(data), scale);
        case SQL_LONG: return FormatScaled(Read<std::int32_t>(data), scale);
        case SQL_INT64: return FormatScaled(Read<std::int64_t>(data), scale);
        case SQL_TYPE_DATE: return FormatDate(Read<ISC_DATE>(data));
        case SQL_TIMESTAMP: {
            const auto stamp = Read<ISC_TIMESTAMP>(data);
            return FormatDate(stamp.timestamp_date) + " " + FormatTime(stamp.timestamp_time);
        }
        default: throw DatabaseError("Field '" + name + "' cannot be read as text");
    }
}

}  // namespace kestrix::firebird
