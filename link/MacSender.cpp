#include "link/MacSender.h"

#include "link/ControllerMessage.h"

namespace kestrix {

std::string MacSendErrorText(MacSendResult result) {
    switch (result) {
        case MacSendResult::Sent: return {};
        case MacSendResult::BadControllerMac: return "Неверный MAC-адрес";
        case MacSendResult::OpenFailed: return "Ошибка открытия сетевого интерфейса!";
        case MacSendResult::NoSourceAddress: return "Ошибка отправки пакета! Номер ошибки: 7745";
        case MacSendResult::NoAdapterMac: return "Ошибка отправки пакета! Номер ошибки: 7752";
        case MacSendResult::SendFailed: return "Ошибка отправки пакета! Номер ошибки: 7734";
    }
    return {};
}

MacSendResult SendFrameByMac(PacketCapture& capture, const std::string& device, const std::string& ipv4Text,
                             const std::string& controllerMac, const HexText& body, RawFrameBuffer& frameBuffer,
                             std::string* reason) {
    // The frame needs all twelve digits of the controller's address.
    if (!IsMacText(controllerMac)) return MacSendResult::BadControllerMac;
    const HexText message = BuildControllerMessage(body);
    const std::unique_ptr<CaptureHandle> handle = capture.open(device, reason);
    if (!handle) return MacSendResult::OpenFailed;
    if (ipv4Text == "0.0.0.0") return MacSendResult::NoSourceAddress;
    const std::string sourceDigits = AddressToDigits(ipv4Text);
    const auto adapterMac = handle->queryAdapterMac();
    if (!adapterMac) return MacSendResult::NoAdapterMac;
    const std::size_t length =
        BuildRawFrame(frameBuffer, controllerMac, BytesToHex(*adapterMac), sourceDigits, message);
    if (!handle->sendPacket(std::span<const std::uint8_t>(frameBuffer).first(length), reason))
        return MacSendResult::SendFailed;
    return MacSendResult::Sent;
}

}  // namespace kestrix
