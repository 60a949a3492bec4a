// The hex codec and both checksums.
#include <cstdlib>
#include <numeric>
#include <string>

#include "link/HexCodec.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace kestrix;
    const std::string text(reinterpret_cast<const char*>(data), size);
    HexToInt(text);
    HexPairToByte(text);
    InternetChecksum(text);
    if (MessageChecksum(text).size() != 2) std::abort();
    // Bytes -> hex -> bytes is the identity; the checksum closes the byte sum.
    const std::span<const std::uint8_t> bytes(data, size);
    const HexText hex = BytesToHex(bytes);
    if (hex.size() != 2 * size) std::abort();
    const std::vector<std::uint8_t> back = HexToBytes(hex);
    if (!std::equal(back.begin(), back.end(), bytes.begin(), bytes.end())) std::abort();
    const std::vector<std::uint8_t> closed = HexToBytes(hex + MessageChecksum(hex));
    if (std::accumulate(closed.begin(), closed.end(), 0u) % 256 != 0) std::abort();
    if (InternetChecksum(hex).size() != 4) std::abort();
    return 0;
}
