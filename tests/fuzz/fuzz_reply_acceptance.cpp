// The acceptance rule on arbitrary datagrams.
#include <cstdlib>

#include "link/ControllerMessage.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace kestrix;
    ReplySlot slot{"KEEP", false};
    const bool accepted = AcceptControllerReply(slot, {data, size});
    const bool expected = size >= 7 && data[0] == 0x23 && data[3] == 0xDA;
    if (accepted != expected || slot.received != expected) std::abort();
    if (!accepted && slot.data != "KEEP") std::abort();
    if (accepted) {
        const std::size_t digits = size > 13 ? std::min<std::size_t>((size - 13) * 2, 1024) : 0;
        if (slot.data.size() != digits) std::abort();
        for (char c : slot.data)
            if (HexDigitValue(c) < 0 || (c >= 'a' && c <= 'f')) std::abort();
    }
    return 0;
}
