#pragma once
// A column of a fetched row as text: integers as decimal digits (with their
// scale), NULL as empty text, fixed-length text without its trailing blanks,
// dates and time stamps as ISO text; Windows-1251 text becomes UTF-8. Other
// types are not read as text.

#include <firebird/Interface.h>

#include <string>

#include "events/DateTime.h"

namespace kestrix::firebird {

// Days from 1858-11-17 (the client library's day zero) to 1899-12-30.
constexpr int kLibraryDayOffset = 15018;

std::string ColumnText(Firebird::IMessageMetadata* metadata, Firebird::ThrowStatusWrapper* status,
                       const unsigned char* row, unsigned index, const std::string& name);

}  // namespace kestrix::firebird
