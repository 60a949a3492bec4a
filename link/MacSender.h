#pragma once
// Sending one controller message in MAC mode: open the chosen device, check its
// address, ask the adapter's hardware address, build the frame, send it, close.

#include <memory>
#include <span>
#include <string>

#include "link/PacketCapture.h"
#include "link/RawFrame.h"

namespace kestrix {

enum class MacSendResult {
    Sent,
    BadControllerMac, // the controller's address is not 12 hex digits: nothing opened
    OpenFailed,       // the device cannot be opened
    NoSourceAddress,  // the interface's address is 0.0.0.0 (error 7745)
    NoAdapterMac,     // the adapter's hardware address cannot be read (error 7752)
    SendFailed,       // the frame was refused (error 7734)
};

// What the operator is told about a failed send (empty for Sent).
std::string MacSendErrorText(MacSendResult result);

// The frame of one controller message from the interface's IPv4 address (an
// address that is no dotted IPv4 text goes out as 0.0.0.0), its Ethernet
// source left for SendFrameThroughDevice to fill in. Returns its length.
// The controller's address must be 12 hex digits.
std::size_t BuildControllerFrame(RawFrameBuffer& buffer, const std::string& ipv4Text, const std::string& controllerMac,
                                 const HexText& body);

// The steps of a send on the device, in their order: open it, refuse a frame
// from 0.0.0.0, ask the adapter's hardware address and make it the frame's
// source, send; the device is closed before the call returns. A failure of the
// capture library leaves its reason in *reason, where given.
MacSendResult SendFrameThroughDevice(PacketCapture& capture, const std::string& device, std::span<std::uint8_t> frame,
                                     std::string* reason = nullptr);

// Sends one controller message in MAC mode through a device.
class MacFrameSender {
public:
    virtual ~MacFrameSender() = default;
    virtual MacSendResult send(const std::string& device, const std::string& ipv4Text, const std::string& controllerMac,
                               const HexText& body, std::string* reason = nullptr) = 0;
};

// In this process, through the capture library: for a process that may send
// raw frames itself.
class CaptureMacSender : public MacFrameSender {
public:
    explicit CaptureMacSender(PacketCapture& capture) : m_capture(capture) {}
    MacSendResult send(const std::string& device, const std::string& ipv4Text, const std::string& controllerMac,
                       const HexText& body, std::string* reason = nullptr) override;

private:
    PacketCapture& m_capture;
    RawFrameBuffer m_frame{};
};

}  // namespace kestrix
