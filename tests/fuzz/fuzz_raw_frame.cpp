// The frame builder on arbitrary addresses and messages: it either refuses or
// builds a well-formed frame with valid checksums inside its buffer.
#include <cstdlib>
#include <stdexcept>
#include <string>

#include "link/RawFrame.h"
#include "tests/support/FrameCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace kestrix;
    const std::string input(reinterpret_cast<const char*>(data), size);
    // Fields separated by '|': controller MAC, adapter MAC, dotted source address, message.
    std::string fields[4];
    std::size_t field = 0;
    for (char c : input) {
        if (c == '|' && field < 3) ++field;
        else fields[field] += c;
    }
    static RawFrameBuffer buffer{};
    std::size_t length = 0;
    try {
        length = BuildRawFrame(buffer, fields[0], fields[1], AddressToDigits(fields[2]), fields[3]);
    } catch (const std::invalid_argument&) {
        return 0;
    }
    if (length < kFrameHeaderSize || length > kRawFrameBufferSize) std::abort();
    if (length != kFrameHeaderSize + fields[3].size() / 2) std::abort();
    const test::FrameReport report = test::CheckFrame({buffer.begin(), buffer.begin() + static_cast<long>(length)});
    if (!report.wellFormed || !report.ipChecksumValid || !report.udpChecksumValid) std::abort();
    return 0;
}
