#pragma once
// The frame-sending helper, kestrix-send: the one program that holds the right
// to send raw frames (CAP_NET_RAW and nothing else), so that the window and the
// collector, which load libraries their environment names, hold none. It takes
// one request a line on its standard input, "<device> <frame as hex>", with
// " hold" after it to keep the device open for the next frame (see
// FrameDevice), does the steps of FrameDevice::send and answers one line:
// "sent", or the failed step and the library's reason ("open ...",
// "address ...", "adapter ...", "send ...", or "refused ..." for a request it
// does not take). "release" closes a device kept open ("released").

#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "link/MacSender.h"

namespace kestrix {

inline const std::string kFrameHelperName = "kestrix-send";

struct FrameRequest {
    std::string device;
    std::vector<std::uint8_t> frame;
    bool keepOpen = false;
};

std::string FrameRequestLine(const std::string& device, std::span<const std::uint8_t> frame, bool keepOpen = false);
inline const std::string kReleaseRequest = "release";
inline const std::string kReleasedAnswer = "released";
// Nothing for a line that is not a device name (no blank, no '/', shorter
// than an interface name may be) and the hex digits of a frame.
std::optional<FrameRequest> ParseFrameRequest(std::string_view line);

struct FrameAnswer {
    MacSendResult result = MacSendResult::Sent;
    std::string reason;
};
// "refused" for a request the helper does not take (no controller frame).
std::string FrameAnswerLine(const FrameAnswer& answer, bool refused = false);
// An answer the helper cannot have given reads as a failed send.
FrameAnswer ParseFrameAnswer(std::string_view line);

// The helper's work for one request line: the answer line.
std::string HandleFrameRequest(FrameDevice& device, std::string_view line);

// Sends through the helper at helperPath, started with an empty environment on
// the first send and kept until the sender goes; or, given a socket, through
// the helper that answers a connection to it (a service of the system's that
// starts one for every connection). Platform specific.
class HelperMacSender : public MacFrameSender {
public:
    explicit HelperMacSender(std::string helperPath, std::string socketPath = {},
                             DeviceUse use = DeviceUse::PerMessage);
    ~HelperMacSender() override;
    MacSendResult send(const std::string& device, const std::string& ipv4Text, const std::string& controllerMac,
                       const HexText& body, std::string* reason = nullptr) override;
    void release() override;

private:
    struct Process;
    std::string m_helperPath;
    std::string m_socketPath;
    DeviceUse m_use;
    std::unique_ptr<Process> m_process;
    RawFrameBuffer m_frame{};
};

// Whether this process may send raw frames itself (platform specific).
bool MaySendRawFrames();

// The capture library in this process where it may send raw frames, else the
// helper at helperPath (or behind socketPath, where one is given).
std::unique_ptr<MacFrameSender> MacSenderFor(PacketCapture& capture, const std::string& helperPath,
                                             const std::string& socketPath = {},
                                             DeviceUse use = DeviceUse::PerMessage);

}  // namespace kestrix
