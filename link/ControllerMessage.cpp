#include "link/ControllerMessage.h"

#include <algorithm>
#include <stdexcept>

namespace kestrix {

HexText PageReadBody(int pageValue) {
    return "DA00" + FixedHex(static_cast<std::uint16_t>(pageValue), 4);
}

HexText BuildControllerMessage(std::string_view body) {
    if (body.size() % 2 != 0)
        throw std::invalid_argument("controller message body has an odd number of hex digits");
    HexText message = "23" + FixedHex(body.size() / 2 + 4, 4);
    message += body;
    message += MessageChecksum(message);
    return message;
}

bool AcceptControllerReply(ReplySlot& slot, std::span<const std::uint8_t> datagram) {
    if (datagram.size() < 7 || datagram[0] != kMessageStart) return false;
    if (datagram[3] != kPageReadCommand) return false;
    const std::size_t end = std::min(datagram.size(), kReplyDataOffset + kReplyDataMaxDigits / 2);
    slot.data = datagram.size() > kReplyDataOffset
                    ? BytesToHex(datagram.subspan(kReplyDataOffset, end - kReplyDataOffset))
                    : HexText();
    slot.received = true;
    return true;
}

}  // namespace kestrix
