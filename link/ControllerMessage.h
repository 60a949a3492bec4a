#pragma once
// The controller message frame: 0x23, 16-bit big-endian length of the whole
// message (body + 4), body (command code first), checksum byte.

#include <cstdint>
#include <span>

#include "link/HexCodec.h"

namespace kestrix {

constexpr std::uint16_t kControllerPort = 7715;   // every request goes here
constexpr std::uint16_t kReplyListenPort = 7714;  // the controller answers here
constexpr std::uint16_t kMacFrameSourcePort = 7712;

constexpr std::uint8_t kMessageStart = 0x23;
constexpr std::uint8_t kPageReadCommand = 0xDA;
constexpr std::size_t kReplyDataOffset = 13;   // data of a reply starts at this byte
constexpr std::size_t kReplyDataMaxDigits = 1024;
constexpr std::size_t kMaxDatagram = 8192;     // larger datagrams are dropped

inline const HexText kTestSignalBody = "CC00";
HexText PageReadBody(int pageValue);  // "DA00" + four digits

// Throws std::invalid_argument for a body with an odd number of digits: it
// cannot be framed consistently.
HexText BuildControllerMessage(std::string_view body);

// The one reply slot shared by the listener and the download: the data part
// of the last accepted read reply, and whether one came since it was reset.
struct ReplySlot {
    HexText data;
    bool received = false;
};

// The acceptance rule for a datagram on the reply port. Returns true when the
// datagram was taken as a read reply (slot overwritten, flag set).
bool AcceptControllerReply(ReplySlot& slot, std::span<const std::uint8_t> datagram);

}  // namespace kestrix
