#pragma once
// Sending one controller message in MAC mode: open the chosen device, check its
// address, ask the adapter's hardware address, build the frame, send it, close.

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

// The device is opened for this one message and closed before the call returns.
// A failure of the capture library leaves its reason in *reason, where given.
MacSendResult SendFrameByMac(PacketCapture& capture, const std::string& device, const std::string& ipv4Text,
                             const std::string& controllerMac, const HexText& body, RawFrameBuffer& frameBuffer,
                             std::string* reason = nullptr);

}  // namespace kestrix
