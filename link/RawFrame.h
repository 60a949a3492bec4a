#pragma once
// The hand-built Ethernet II / IPv4 / UDP frame of MAC mode around one
// controller message: addressed to the controller's hardware address, its IPv4
// destination 192 and the MAC's last three bytes, from port 7712 to 7715.

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "link/HexCodec.h"

namespace kestrix {

constexpr std::size_t kRawFrameBufferSize = 1001;
constexpr std::size_t kFrameHeaderSize = 42;
constexpr std::size_t kMaxFramedMessage = kRawFrameBufferSize - kFrameHeaderSize;  // 959 bytes

using RawFrameBuffer = std::array<std::uint8_t, kRawFrameBufferSize>;

// "192.168.0.5" -> "192168000005": each of the first four parts padded to three digits.
std::string AddressToDigits(std::string_view dottedAddress);

// Writes the frame at the start of buffer and returns its length (42 + message
// bytes); the bytes behind it are left as they were. Throws
// std::invalid_argument for a MAC that is not 12 hex digits, source digits that
// are not 12 decimal digits or a message longer than the buffer holds.
std::size_t BuildRawFrame(RawFrameBuffer& buffer, std::string_view controllerMac, std::string_view adapterMac,
                          std::string_view sourceDigits, std::string_view message);

// True for 12 hex digits.
bool IsMacText(std::string_view text);

// Why a frame is not one that BuildRawFrame makes (a controller message in
// UDP from port 7712 to 7715, in IPv4 without options, in Ethernet II, with
// consistent lengths, to the IPv4 address of its controller's hardware
// address); empty text when it is one.
std::string ControllerFrameProblem(std::span<const std::uint8_t> frame);

// The frame's IPv4 source address is 0.0.0.0.
bool HasNoSourceAddress(std::span<const std::uint8_t> frame);
// The frame's IPv4 source address, first byte first.
std::array<std::uint8_t, 4> FrameSourceAddress(std::span<const std::uint8_t> frame);
// Writes the adapter's hardware address as the frame's Ethernet source.
void SetFrameSource(std::span<std::uint8_t> frame, const std::array<std::uint8_t, 6>& adapterMac);

// Where MAC mode addresses a controller, and the address IP mode derives for
// a controller without a stored one: 192 and the MAC's last three bytes.
// mac must be 12 hex digits.
std::array<std::uint8_t, 4> ControllerAddressOfMac(std::string_view mac);

// 192.168.0.1 from its four bytes, first byte first.
std::string IpTextFromAddress(const std::array<std::uint8_t, 4>& address);

}  // namespace kestrix
