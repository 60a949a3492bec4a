// The frame-sending helper holds CAP_NET_RAW and reads whatever a member of
// group kestrix writes to it. On arbitrary request lines it answers exactly
// one line of its protocol, and sends a frame only when the line named an
// interface of this machine and carried a controller frame, with the adapter's
// address put in as its source.
#include <cstdlib>
#include <string>
#include <string_view>

#include "link/FrameHelper.h"
#include "tests/support/FakeCapture.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace kestrix;
    const std::string_view line(reinterpret_cast<const char*>(data), size);
    if (line.find('\n') != std::string_view::npos) return 0;  // the helper reads one line at a time
    test::FakeCapture capture;
    capture.adapterMacs = {{"lo", {0x02, 0x11, 0x22, 0x33, 0x44, 0x55}}};
    FrameDevice device(capture);
    const std::string answer = HandleFrameRequest(device, line);
    if (answer.empty() || answer.back() != '\n' || answer.find('\n') != answer.size() - 1) std::abort();
    bool known = false;
    for (const std::string_view start : {"sent\n", "released\n", "open ", "address ", "adapter ", "send ", "refused "})
        known = known || answer.rfind(start, 0) == 0;
    if (!known) std::abort();
    if (answer == "sent\n") {
        const auto request = ParseFrameRequest(line);
        if (!request || !ControllerFrameProblem(request->frame).empty() || capture.log.frames.size() != 1) std::abort();
        const auto& sent = capture.log.frames.front();
        if (sent.size() != request->frame.size() || BytesToHex(std::span(sent).subspan(6, 6)) != "021122334455")
            std::abort();
    } else if (!capture.log.frames.empty()) {
        std::abort();
    }
    device.release();
    if (capture.log.opens != capture.log.closes) std::abort();
    return 0;
}
