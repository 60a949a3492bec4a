#pragma once
// Hex text: two upper-case digits a byte, high nibble first, multi-byte numbers
// most significant byte first. Parsing accepts lower case.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kestrix {

using HexText = std::string;

// Value of one hex digit (case-insensitive), or -1 outside "0123456789ABCDEF".
int HexDigitValue(char c);

// Upper-case hex of value, padded on the left with "0" to at least minDigits;
// a value that needs more digits is written in full.
HexText FixedHex(std::uint64_t value, int minDigits);

// Reads at most the first 16 characters; 64-bit two's complement arithmetic that
// wraps, so sixteen F digits give -1. A foreign character counts as digit -1.
std::int64_t HexToInt(std::string_view text);

// Only the first two characters are read; -1 when the second one is not a digit.
int HexPairToByte(std::string_view text);

HexText BytesToHex(std::span<const std::uint8_t> bytes);
// A trailing unpaired digit is dropped.
std::vector<std::uint8_t> HexToBytes(std::string_view text);

// Two digits that bring the byte sum of a controller message to 0 modulo 256.
HexText MessageChecksum(std::string_view text);

// RFC 1071 checksum over 16-bit big-endian words; four digits. A trailing
// partial word is read as if filled up with "0" digits.
HexText InternetChecksum(std::string_view text);

}  // namespace kestrix
