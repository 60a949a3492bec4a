#include "link/MacSender.h"

#include <algorithm>

#include "link/ControllerMessage.h"

namespace kestrix {

namespace {

// Twelve decimal digits of a dotted IPv4 text, or those of 0.0.0.0.
std::string SourceDigitsOf(const std::string& ipv4Text) {
    const std::string digits = AddressToDigits(ipv4Text);
    const bool dotted = std::count(ipv4Text.begin(), ipv4Text.end(), '.') == 3 && digits.size() == 12 &&
                        std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; });
    return dotted ? digits : std::string(12, '0');
}

const std::string kUnknownAdapter(12, '0');

}  // namespace

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

std::size_t BuildControllerFrame(RawFrameBuffer& buffer, const std::string& ipv4Text, const std::string& controllerMac,
                                 const HexText& body) {
    return BuildRawFrame(buffer, controllerMac, kUnknownAdapter, SourceDigitsOf(ipv4Text), BuildControllerMessage(body));
}

MacSendResult FrameDevice::send(const std::string& device, std::span<std::uint8_t> frame, bool keepOpen,
                                std::string* reason) {
    if (!keepOpen || device != m_device) release();
    const auto keepReason = [&](const Failure& failure) {
        if (reason) *reason = failure.reason;
    };
    if (!m_handle) {
        auto opened = m_capture.open(device);
        if (!opened) {
            keepReason(opened.failure());
            return MacSendResult::OpenFailed;
        }
        m_handle = std::move(*opened);
        m_device = device;
    }
    MacSendResult result = MacSendResult::Sent;
    if (HasNoSourceAddress(frame)) {
        result = MacSendResult::NoSourceAddress;
    } else if (const auto adapterMac = m_handle->queryAdapterMac(); !adapterMac) {
        keepReason(adapterMac.failure());
        result = MacSendResult::NoAdapterMac;
    } else {
        SetFrameSource(frame, *adapterMac);
        if (const auto sent = m_handle->sendPacket(frame); !sent) {
            keepReason(sent.failure());
            result = MacSendResult::SendFailed;
        }
    }
    if (!keepOpen || result != MacSendResult::Sent) release();
    return result;
}

void FrameDevice::release() {
    m_handle.reset();
    m_device.clear();
}

MacSendResult CaptureMacSender::send(const std::string& device, const std::string& ipv4Text,
                                     const std::string& controllerMac, const HexText& body, std::string* reason) {
    // The frame needs all twelve digits of the controller's address.
    if (!IsMacText(controllerMac)) return MacSendResult::BadControllerMac;
    const std::size_t length = BuildControllerFrame(m_frame, ipv4Text, controllerMac, body);
    return m_device.send(device, std::span<std::uint8_t>(m_frame).first(length), m_use == DeviceUse::PerRun, reason);
}

}  // namespace kestrix
