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
// source left for FrameDevice::send to fill in. Returns its length.
// The controller's address must be 12 hex digits.
std::size_t BuildControllerFrame(RawFrameBuffer& buffer, const std::string& ipv4Text, const std::string& controllerMac,
                                 const HexText& body);

// How long the device of MAC mode stays open: for one message, as the window
// drives a controller, or from one message of a controller's run to the next
// (the collector): opening and closing a packet socket costs about 30 ms on a
// stock kernel, sending on an open one a few microseconds.
enum class DeviceUse { PerMessage, PerRun };

// The steps of a send on a device, in their order: open it, refuse a frame
// from 0.0.0.0, ask the adapter's hardware address and make it the frame's
// source, send. Kept open, the device is used again for the next frame to the
// same device; it is opened again when the device changes or a step failed.
// Otherwise it is closed before send returns. A failure of the capture library
// leaves its reason in *reason, where given.
class FrameDevice {
public:
    explicit FrameDevice(PacketCapture& capture) : m_capture(capture) {}
    MacSendResult send(const std::string& device, std::span<std::uint8_t> frame, bool keepOpen,
                       std::string* reason = nullptr);
    // Closes a device kept open.
    void release();

private:
    PacketCapture& m_capture;
    std::string m_device;
    std::unique_ptr<CaptureHandle> m_handle;
};

// Sends one controller message in MAC mode through a device.
class MacFrameSender {
public:
    virtual ~MacFrameSender() = default;
    virtual MacSendResult send(const std::string& device, const std::string& ipv4Text, const std::string& controllerMac,
                               const HexText& body, std::string* reason = nullptr) = 0;
    // A run ends: a device kept open for it is closed.
    virtual void release() = 0;
};

// In this process, through the capture library: for a process that may send
// raw frames itself.
class CaptureMacSender : public MacFrameSender {
public:
    explicit CaptureMacSender(PacketCapture& capture, DeviceUse use = DeviceUse::PerMessage)
        : m_device(capture), m_use(use) {}
    MacSendResult send(const std::string& device, const std::string& ipv4Text, const std::string& controllerMac,
                       const HexText& body, std::string* reason = nullptr) override;
    void release() override { m_device.release(); }

private:
    FrameDevice m_device;
    DeviceUse m_use;
    RawFrameBuffer m_frame{};
};

}  // namespace kestrix
