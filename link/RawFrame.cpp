#include "link/RawFrame.h"

#include <algorithm>
#include <span>
#include <stdexcept>
#include <vector>

#include "link/ControllerMessage.h"

namespace kestrix {

namespace {

void Put16(RawFrameBuffer& buffer, std::size_t at, unsigned value) {
    buffer[at] = static_cast<std::uint8_t>(value >> 8);
    buffer[at + 1] = static_cast<std::uint8_t>(value & 0xFF);
}

int DecimalOctet(std::string_view digits) {
    int value = 0;
    for (char c : digits) value = value * 10 + (c - '0');
    return value;
}

}  // namespace

bool IsMacText(std::string_view text) {
    return text.size() == 12 && std::all_of(text.begin(), text.end(), [](char c) { return HexDigitValue(c) >= 0; });
}

std::string AddressToDigits(std::string_view dottedAddress) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (true) {
        const std::size_t dot = dottedAddress.find('.', start);
        parts.emplace_back(dottedAddress.substr(start, dot == std::string_view::npos ? std::string_view::npos : dot - start));
        if (dot == std::string_view::npos) break;
        start = dot + 1;
    }
    std::string digits;
    for (std::size_t i = 0; i < 4 && i < parts.size(); ++i) {
        std::string part = parts[i];
        if (part.size() < 3) part.insert(0, 3 - part.size(), '0');
        digits += part;
    }
    return digits;
}

std::array<std::uint8_t, 4> ControllerAddressOfMac(std::string_view mac) {
    std::array<std::uint8_t, 4> address{192, 0, 0, 0};
    for (std::size_t i = 0; i < 3; ++i)
        address[1 + i] = static_cast<std::uint8_t>(HexToInt(mac.substr(6 + 2 * i, 2)));
    return address;
}

std::size_t BuildRawFrame(RawFrameBuffer& buffer, std::string_view controllerMac, std::string_view adapterMac,
                          std::string_view sourceDigits, std::string_view message) {
    if (!IsMacText(controllerMac) || !IsMacText(adapterMac))
        throw std::invalid_argument("a hardware address must be 12 hex digits");
    if (sourceDigits.size() != 12 ||
        !std::all_of(sourceDigits.begin(), sourceDigits.end(), [](char c) { return c >= '0' && c <= '9'; }) ||
        DecimalOctet(sourceDigits.substr(0, 3)) > 255 || DecimalOctet(sourceDigits.substr(3, 3)) > 255 ||
        DecimalOctet(sourceDigits.substr(6, 3)) > 255 || DecimalOctet(sourceDigits.substr(9, 3)) > 255)
        throw std::invalid_argument("the source address must be 12 decimal digits, three for each octet");
    const std::size_t n = message.size() / 2;
    if (n > kMaxFramedMessage) throw std::invalid_argument("the message does not fit into a frame");

    for (std::size_t i = 0; i < 6; ++i) {
        buffer[i] = static_cast<std::uint8_t>(HexPairToByte(controllerMac.substr(2 * i, 2)));
        buffer[6 + i] = static_cast<std::uint8_t>(HexPairToByte(adapterMac.substr(2 * i, 2)));
    }
    Put16(buffer, 12, 0x0800);
    buffer[14] = 0x45;
    buffer[15] = 0x00;
    Put16(buffer, 18, 0xEE19);
    Put16(buffer, 20, 0x0000);
    buffer[22] = 0x80;
    buffer[23] = 0x11;
    Put16(buffer, 24, 0x0000);
    for (std::size_t i = 0; i < 4; ++i)
        buffer[26 + i] = static_cast<std::uint8_t>(DecimalOctet(sourceDigits.substr(3 * i, 3)));
    const auto controllerAddress = ControllerAddressOfMac(controllerMac);
    std::copy(controllerAddress.begin(), controllerAddress.end(), buffer.begin() + 30);
    Put16(buffer, 34, kMacFrameSourcePort);
    Put16(buffer, 36, kControllerPort);
    for (std::size_t i = 0; i < n; ++i)
        buffer[kFrameHeaderSize + i] = static_cast<std::uint8_t>(HexToInt(message.substr(2 * i, 2)));
    const unsigned totalLength = static_cast<unsigned>(28 + n);
    const unsigned udpLength = static_cast<unsigned>(8 + n);
    Put16(buffer, 16, totalLength);
    Put16(buffer, 38, udpLength);
    Put16(buffer, 40, 0x0000);

    const HexText source = BytesToHex(std::span<const std::uint8_t>(buffer).subspan(26, 4));
    const HexText destination = BytesToHex(std::span<const std::uint8_t>(buffer).subspan(30, 4));
    HexText payload = BytesToHex(std::span<const std::uint8_t>(buffer).subspan(kFrameHeaderSize, n));
    payload.resize((payload.size() + 3) / 4 * 4, '0');  // an odd byte count adds a zero byte, for the sum only
    const HexText udpSum = InternetChecksum(source + destination + "0011" + FixedHex(udpLength, 4) +
                                            BytesToHex(std::span<const std::uint8_t>(buffer).subspan(34, 6)) + "0000" +
                                            payload);
    Put16(buffer, 40, udpSum == "0000" ? 0xFFFF : static_cast<unsigned>(HexToInt(udpSum)));

    const HexText ipSum = InternetChecksum("4500" + FixedHex(totalLength, 4) + "EE190000" + "8011" + "0000" + source +
                                           destination);
    Put16(buffer, 24, static_cast<unsigned>(HexToInt(ipSum)));
    return kFrameHeaderSize + n;
}

std::string ControllerFrameProblem(std::span<const std::uint8_t> frame) {
    const auto u16 = [&](std::size_t at) { return static_cast<unsigned>((frame[at] << 8) | frame[at + 1]); };
    if (frame.size() < kFrameHeaderSize + 4 || frame.size() > kRawFrameBufferSize)
        return "a frame of " + std::to_string(frame.size()) + " bytes";
    if (u16(12) != 0x0800 || frame[14] != 0x45 || frame[23] != 0x11) return "not UDP in IPv4";
    if (u16(16) != frame.size() - 14 || u16(38) != frame.size() - 34) return "lengths that do not match the frame";
    if (u16(34) != kMacFrameSourcePort || u16(36) != kControllerPort) return "not from port 7712 to port 7715";
    if (frame[kFrameHeaderSize] != kMessageStart || u16(kFrameHeaderSize + 1) != frame.size() - kFrameHeaderSize)
        return "no controller message";
    const auto controller = ControllerAddressOfMac(BytesToHex(frame.first(6)));
    if (!std::equal(controller.begin(), controller.end(), frame.begin() + 30))
        return "not to the address of its controller's hardware address";
    return {};
}

std::array<std::uint8_t, 4> FrameSourceAddress(std::span<const std::uint8_t> frame) {
    return {frame[26], frame[27], frame[28], frame[29]};
}

bool HasNoSourceAddress(std::span<const std::uint8_t> frame) {
    const auto source = FrameSourceAddress(frame);
    return std::all_of(source.begin(), source.end(), [](std::uint8_t b) { return b == 0; });
}

void SetFrameSource(std::span<std::uint8_t> frame, const std::array<std::uint8_t, 6>& adapterMac) {
    std::copy(adapterMac.begin(), adapterMac.end(), frame.begin() + 6);
}

std::string IpTextFromAddress(const std::array<std::uint8_t, 4>& address) {
    return std::to_string(address[0]) + "." + std::to_string(address[1]) + "." + std::to_string(address[2]) + "." +
           std::to_string(address[3]);
}

}  // namespace kestrix
