#include "link/FrameHelper.h"

#include <algorithm>

namespace kestrix {

namespace {

constexpr std::size_t kMaxDeviceName = 15;  // an interface name, as the kernel allows it

const struct {
    MacSendResult result;
    std::string_view step;
} kSteps[] = {
    {MacSendResult::OpenFailed, "open"},
    {MacSendResult::NoSourceAddress, "address"},
    {MacSendResult::NoAdapterMac, "adapter"},
    {MacSendResult::SendFailed, "send"},
};

std::string OneLine(std::string text) {
    std::replace_if(text.begin(), text.end(), [](char c) { return c == '\n' || c == '\r'; }, ' ');
    return text;
}

}  // namespace

std::string FrameRequestLine(const std::string& device, std::span<const std::uint8_t> frame, bool keepOpen) {
    return device + " " + BytesToHex(frame) + (keepOpen ? " hold" : "") + "\n";
}

std::optional<FrameRequest> ParseFrameRequest(std::string_view line) {
    constexpr std::string_view kHold = " hold";
    const bool keepOpen = line.size() > kHold.size() && line.substr(line.size() - kHold.size()) == kHold;
    if (keepOpen) line.remove_suffix(kHold.size());
    const auto blank = line.find(' ');
    if (blank == std::string_view::npos || blank == 0 || blank > kMaxDeviceName) return std::nullopt;
    const std::string_view device = line.substr(0, blank);
    const std::string_view digits = line.substr(blank + 1);
    if (device.find('/') != std::string_view::npos || device == "." || device == "..") return std::nullopt;
    if (digits.empty() || digits.size() % 2 != 0 || digits.size() > 2 * kRawFrameBufferSize ||
        !std::all_of(digits.begin(), digits.end(), [](char c) { return HexDigitValue(c) >= 0; }))
        return std::nullopt;
    return FrameRequest{std::string(device), HexToBytes(digits), keepOpen};
}

std::string FrameAnswerLine(const FrameAnswer& answer, bool refused) {
    if (refused) return "refused " + OneLine(answer.reason) + "\n";
    if (answer.result == MacSendResult::Sent) return "sent\n";
    for (const auto& step : kSteps)
        if (step.result == answer.result) return std::string(step.step) + " " + OneLine(answer.reason) + "\n";
    return "refused " + OneLine(answer.reason) + "\n";
}

FrameAnswer ParseFrameAnswer(std::string_view line) {
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
    if (line == "sent") return {MacSendResult::Sent, {}};
    const auto blank = line.find(' ');
    const std::string_view step = line.substr(0, blank);
    const std::string reason(blank == std::string_view::npos ? std::string_view() : line.substr(blank + 1));
    for (const auto& known : kSteps)
        if (known.step == step) return {known.result, reason};
    if (step == "refused") return {MacSendResult::SendFailed, "the frame helper refused the frame: " + reason};
    return {MacSendResult::SendFailed, "the frame helper answered: " + std::string(line)};
}

std::string HandleFrameRequest(FrameDevice& device, std::string_view line) {
    if (line == kReleaseRequest) {
        device.release();
        return kReleasedAnswer + "\n";
    }
    std::optional<FrameRequest> request = ParseFrameRequest(line);
    if (!request) return FrameAnswerLine({MacSendResult::SendFailed, "not a request: <device> <frame as hex>"}, true);
    if (const std::string problem = ControllerFrameProblem(request->frame); !problem.empty())
        return FrameAnswerLine({MacSendResult::SendFailed, "no controller frame: " + problem}, true);
    if (!IsNetworkInterface(request->device))
        return FrameAnswerLine({MacSendResult::OpenFailed, request->device + ": no such network interface"});
    // From the interface's own address (0.0.0.0 is answered at its step), so
    // that nobody sends in another host's name.
    if (!HasNoSourceAddress(request->frame) && !InterfaceHasAddress(request->device, FrameSourceAddress(request->frame)))
        return FrameAnswerLine({MacSendResult::SendFailed, "no controller frame: not from an address of " + request->device},
                               true);
    FrameAnswer answer;
    answer.result = device.send(request->device, request->frame, request->keepOpen, &answer.reason);
    return FrameAnswerLine(answer);
}

std::unique_ptr<MacFrameSender> MacSenderFor(PacketCapture& capture, const std::string& helperPath,
                                             const std::string& socketPath, DeviceUse use) {
    if (MaySendRawFrames()) return std::make_unique<CaptureMacSender>(capture, use);
    return std::make_unique<HelperMacSender>(helperPath, socketPath, use);
}

}  // namespace kestrix
