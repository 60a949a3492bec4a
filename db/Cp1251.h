#pragma once
// Windows-1251, the single-byte code page of all the program's stored text
// (settings file, database connection). The program itself works in UTF-8.

#include <string>
#include <string_view>

namespace kestrix {

std::string Cp1251ToUtf8(std::string_view bytes);
// Characters without a Windows-1251 code become "?".
std::string Utf8ToCp1251(std::string_view text);

// The UTF-8 text is well formed.
bool IsUtf8(std::string_view text);

// Latin letters raised to upper case; every other byte stays (SQL names).
std::string AsciiUpper(std::string text);

// Upper case of a Windows-1251 byte (Latin and Cyrillic letters).
unsigned char Cp1251Upper(unsigned char c);

}  // namespace kestrix
