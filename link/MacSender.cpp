#include "link/MacSender.h"

#include "link/ControllerMessage.h"

namespace kestrix {

MacSendResult SendFrameByMac(PacketCapture& capture, const std::string& device, const std::string& ipv4Text,
                             const std::string& controllerMac, const HexText& body, RawFrameBuffer& frameBuffer) {
    const HexText message = BuildControllerMessage(body);
    const std::unique_ptr<CaptureHandle> handle = capture.open(device);
    if (!handle) return MacSendResult::OpenFailed;
    if (ipv4Text == "0.0.0.0") return MacSendResult::NoSourceAddress;
    const std::string sourceDigits = AddressToDigits(ipv4Text);
    const auto adapterMac = handle->queryAdapterMac();
    if (!adapterMac) return MacSendResult::NoAdapterMac;
    const std::size_t length =
        BuildRawFrame(frameBuffer, controllerMac, BytesToHex(*adapterMac), sourceDigits, message);
    if (!handle->sendPacket(std::span<const std::uint8_t>(frameBuffer).first(length))) return MacSendResult::SendFailed;
    return MacSendResult::Sent;
}

}  // namespace kestrix
