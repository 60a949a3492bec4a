#include "link/HexCodec.h"

namespace kestrix {

namespace {
constexpr char kDigits[] = "0123456789ABCDEF";
}

int HexDigitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

HexText FixedHex(std::uint64_t value, int minDigits) {
    HexText reversed;
    do {
        reversed.push_back(kDigits[value & 0xF]);
        value >>= 4;
    } while (value != 0);
    while (static_cast<int>(reversed.size()) < minDigits) reversed.push_back('0');
    return {reversed.rbegin(), reversed.rend()};
}

std::int64_t HexToInt(std::string_view text) {
    std::uint64_t value = 0;
    const std::size_t count = text.size() < 16 ? text.size() : 16;
    for (std::size_t i = 0; i < count; ++i)
        value = value * 16 + static_cast<std::uint64_t>(static_cast<std::int64_t>(HexDigitValue(text[i])));
    return static_cast<std::int64_t>(value);
}

int HexPairToByte(std::string_view text) {
    const int lo = text.size() > 1 ? HexDigitValue(text[1]) : -1;
    if (lo == -1) return -1;
    return 16 * HexDigitValue(text[0]) + lo;
}

HexText BytesToHex(std::span<const std::uint8_t> bytes) {
    HexText text;
    text.reserve(bytes.size() * 2);
    for (std::uint8_t b : bytes) {
        text.push_back(kDigits[b >> 4]);
        text.push_back(kDigits[b & 0xF]);
    }
    return text;
}

std::vector<std::uint8_t> HexToBytes(std::string_view text) {
    std::vector<std::uint8_t> bytes(text.size() / 2);
    for (std::size_t k = 0; k < bytes.size(); ++k)
        bytes[k] = static_cast<std::uint8_t>(HexToInt(text.substr(2 * k, 2)));
    return bytes;
}

HexText MessageChecksum(std::string_view text) {
    std::uint64_t sum = 0;
    for (std::size_t p = 0; p + 1 < text.size(); p += 2)
        sum += static_cast<std::uint64_t>(HexToInt(text.substr(p, 2)));
    return FixedHex((256 - (sum & 0xFF)) & 0xFF, 2);
}

HexText InternetChecksum(std::string_view text) {
    std::uint32_t acc = 0;
    for (std::size_t p = 0; p < text.size(); p += 4) {
        std::string word(text.substr(p, 4));
        word.resize(4, '0');
        acc += static_cast<std::uint32_t>(HexToInt(word) & 0xFFFF);
        if (acc > 0xFFFF) acc -= 0xFFFF;
    }
    return FixedHex(0xFFFF - acc, 4);
}

}  // namespace kestrix
