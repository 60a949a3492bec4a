#pragma once
// A page-read reply as any host could forge it: the frame's start and command
// bytes, and 512 data bytes of one value.

#include <QByteArray>
#include <vector>

#include "link/HexCodec.h"

namespace kestrix::test {

inline QByteArray ForgedReply(char fill) {
    QByteArray reply(13 + 512, fill);
    reply[0] = 0x23;
    reply[3] = static_cast<char>(0xDA);
    return reply;
}

// The data part the acceptance rule takes from ForgedReply(fill).
inline HexText ForgedReplyData(char fill) {
    return BytesToHex(std::vector<std::uint8_t>(512, static_cast<std::uint8_t>(fill)));
}

}  // namespace kestrix::test
