// The frame-sending helper: what it takes from its caller and what it answers,
// the steps of a send in their order, and the built kestrix-send as a process.

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <thread>

#include "link/ControllerMessage.h"
#include "link/FrameHelper.h"
#include "tests/support/FakeCapture.h"
#include "tests/support/FrameCheck.h"

using namespace kestrix;
using namespace kestrix::test;

namespace {

// A frame as the window builds it for the helper: the adapter's address left open.
// From loopback's address: the helper sends only from an address of the interface.
std::vector<std::uint8_t> ControllerFrame(const std::string& ipv4Text = "127.0.0.1", const HexText& body = "DA000010") {
    RawFrameBuffer buffer{};
    const std::size_t length = BuildControllerFrame(buffer, ipv4Text, "0011223344AA", body);
    return {buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(length)};
}

std::string Request(const std::string& device, const std::vector<std::uint8_t>& frame, bool keepOpen = false) {
    std::string line = FrameRequestLine(device, frame, keepOpen);
    line.pop_back();  // as the helper reads it, without its line end
    return line;
}

}  // namespace

TEST(ControllerFrameProblem, TakesOnlyTheFramesOfControllerMessages) {
    const std::vector<std::uint8_t> good = ControllerFrame();
    EXPECT_EQ(ControllerFrameProblem(good), "");
    const struct {
        const char* what;
        std::function<void(std::vector<std::uint8_t>&)> spoil;
    } cases[] = {
        {"too short", [](auto& f) { f.resize(45); }},
        {"too long", [](auto& f) { f.resize(kRawFrameBufferSize + 1); }},
        {"not IPv4", [](auto& f) { f[12] = 0x86; f[13] = 0xDD; }},
        {"IPv4 options", [](auto& f) { f[14] = 0x46; }},
        {"TCP", [](auto& f) { f[23] = 6; }},
        {"a longer frame than its IPv4 length", [](auto& f) { f.push_back(0); }},
        {"another source port", [](auto& f) { f[35] = 0x21; }},
        {"another destination port", [](auto& f) { f[37] = 0x22; }},
        {"no message start", [](auto& f) { f[42] = 0x24; }},
        {"to another address than its controller's", [](auto& f) { f[33] ^= 0x01; }},
    };
    for (const auto& c : cases) {
        std::vector<std::uint8_t> frame = good;
        c.spoil(frame);
        EXPECT_NE(ControllerFrameProblem(frame), "") << c.what;
    }
}

TEST(FrameHelperProtocol, RequestsAndAnswersReadBackAsWritten) {
    const std::vector<std::uint8_t> frame = ControllerFrame();
    const auto request = ParseFrameRequest(Request("eth0", frame));
    ASSERT_TRUE(request);
    EXPECT_EQ(request->device, "eth0");
    EXPECT_EQ(request->frame, frame);
    for (const std::string& line : std::vector<std::string>{"eth0", " 00", "eth0 0", "eth0 0G", "../x 00", "a/b 00", "averyveryverylongname 00",
                                   "eth0 " + std::string(2 * kRawFrameBufferSize + 2, '0')})
        EXPECT_FALSE(ParseFrameRequest(line)) << line;

    for (const MacSendResult result : {MacSendResult::Sent, MacSendResult::OpenFailed, MacSendResult::NoSourceAddress,
                                       MacSendResult::NoAdapterMac, MacSendResult::SendFailed}) {
        const FrameAnswer answer = ParseFrameAnswer(FrameAnswerLine({result, "a reason\nover two lines"}));
        EXPECT_EQ(answer.result, result);
        if (result != MacSendResult::Sent) {
            EXPECT_EQ(answer.reason, "a reason over two lines");
        }
    }
    EXPECT_EQ(ParseFrameAnswer("nonsense").result, MacSendResult::SendFailed);
    EXPECT_EQ(ParseFrameAnswer(FrameAnswerLine({MacSendResult::SendFailed, "why"}, true)).result, MacSendResult::SendFailed);
}

// The helper's steps, on a capture layer of the test's own and this machine's
// loopback interface: each failure at its step, the device closed every time.
TEST(HandleFrameRequest, EachStepFailsWhereTheSendWould) {
    const struct {
        const char* what;
        std::string line;
        std::function<void(FakeCapture&)> setUp;
        std::string answerStart;
        int opens;
    } cases[] = {
        {"sent", Request("lo", ControllerFrame()), [](FakeCapture&) {}, "sent", 1},
        {"no request", "lo", [](FakeCapture&) {}, "refused not a request", 0},
        {"no controller frame", Request("lo", std::vector<std::uint8_t>(60, 0)), [](FakeCapture&) {}, "refused no controller frame", 0},
        {"no such interface", Request("nosuch0", ControllerFrame()), [](FakeCapture&) {}, "open nosuch0: no such network interface", 0},
        {"in another host's name", Request("lo", ControllerFrame("10.9.8.7")), [](FakeCapture&) {}, "refused no controller frame: not from an address of lo", 0},
        {"cannot open", Request("lo", ControllerFrame()), [](FakeCapture& c) { c.unopenable.insert("lo"); }, "open lo: You don't have permission", 0},
        {"0.0.0.0", Request("lo", ControllerFrame("0.0.0.0")), [](FakeCapture&) {}, "address", 1},
        {"no adapter address", Request("lo", ControllerFrame()), [](FakeCapture& c) { c.adapterMacs.clear(); }, "adapter", 1},
        {"refused frame", Request("lo", ControllerFrame()), [](FakeCapture& c) { c.refuseFrames = true; }, "send send: Network is down", 1},
    };
    for (const auto& c : cases) {
        FakeCapture capture;
        capture.adapterMacs = {{"lo", {0x02, 0x11, 0x22, 0x33, 0x44, 0x55}}};
        c.setUp(capture);
        FrameDevice device(capture);
        const std::string answer = HandleFrameRequest(device, c.line);
        EXPECT_EQ(answer.rfind(c.answerStart, 0), 0u) << c.what << ": " << answer;
        EXPECT_EQ(answer.back(), '\n') << c.what;
        EXPECT_EQ(capture.log.opens, c.opens) << c.what;
        EXPECT_EQ(capture.log.closes, capture.log.opens) << c.what;
        EXPECT_EQ(capture.log.frames.size(), c.answerStart == "sent" ? 1u : 0u) << c.what;
    }
}

TEST(HandleFrameRequest, TheSentFrameCarriesTheAdaptersAddressAndStaysValid) {
    FakeCapture capture;
    capture.adapterMacs = {{"lo", {0x02, 0x11, 0x22, 0x33, 0x44, 0x55}}};
    FrameDevice device(capture);
    ASSERT_EQ(HandleFrameRequest(device, Request("lo", ControllerFrame())), "sent\n");
    ASSERT_EQ(capture.log.frames.size(), 1u);
    const std::vector<std::uint8_t>& sent = capture.log.frames[0];
    EXPECT_EQ(BytesToHex(std::span(sent).subspan(0, 12)), "0011223344AA021122334455");
    const FrameReport report = CheckFrame(sent);
    EXPECT_TRUE(report.wellFormed && report.ipChecksumValid && report.udpChecksumValid) << report.problem;
    EXPECT_EQ(BytesToHex(report.payload), BuildControllerMessage("DA000010"));
}

// A device kept open for a controller's run: opened once for many frames,
// opened again when the device changes or a step failed, closed on release
// and before a frame that asks for a device of its own.
TEST(HandleFrameRequest, ADeviceKeptOpenIsOpenedAgainOnlyWhereItMust) {
    FakeCapture capture;
    capture.adapterMacs = {{"lo", {0x02, 0x11, 0x22, 0x33, 0x44, 0x55}}};
    FrameDevice device(capture);
    const std::string held = Request("lo", ControllerFrame(), true);
    const struct {
        const char* what;
        std::string line;
        std::function<void()> before;
        std::string answerStart;
        int opens, closes;  // so far
    } steps[] = {
        {"first frame", held, [] {}, "sent", 1, 0},
        {"second frame, same device", held, [] {}, "sent", 1, 0},
        {"a refused frame closes it", held, [&] { capture.refuseFrames = true; }, "send", 1, 1},
        {"the next frame opens it again", held, [&] { capture.refuseFrames = false; }, "sent", 2, 1},
        {"a frame for one message", Request("lo", ControllerFrame()), [] {}, "sent", 3, 3},
        {"kept open again", held, [] {}, "sent", 4, 3},
        {"released", "release", [] {}, "released", 4, 4},
        {"released again: nothing to close", "release", [] {}, "released", 4, 4},
    };
    for (const auto& step : steps) {
        step.before();
        const std::string answer = HandleFrameRequest(device, step.line);
        EXPECT_EQ(answer.rfind(step.answerStart, 0), 0u) << step.what << ": " << answer;
        EXPECT_EQ(capture.log.opens, step.opens) << step.what;
        EXPECT_EQ(capture.log.closes, step.closes) << step.what;
    }
    EXPECT_EQ(capture.log.frames.size(), 5u);
    EXPECT_EQ(capture.log.queries, 6);  // the adapter's address is asked for every frame
}

// The built helper as a process, the way the window starts it. On loopback it
// can open the device (as root) but finds no Ethernet address, so nothing is
// ever sent from here.
TEST(HelperMacSender, TheBuiltHelperAnswersEachStepAndIsStartedAgainAfterItEnded) {
    HelperMacSender sender(KESTRIX_SEND_PATH);
    std::string reason;
    EXPECT_EQ(sender.send("nosuch0", "10.0.0.5", "0011223344AA", "CC00", &reason), MacSendResult::OpenFailed);
    EXPECT_NE(reason.find("nosuch0: no such network interface"), std::string::npos) << reason;
    EXPECT_EQ(sender.send("lo", "10.0.0.5", "00112233", "CC00", &reason), MacSendResult::BadControllerMac);
    if (MaySendRawFrames()) {
        EXPECT_EQ(sender.send("lo", "0.0.0.0", "0011223344AA", "CC00", &reason), MacSendResult::NoSourceAddress);
        EXPECT_EQ(sender.send("lo", "127.0.0.1", "0011223344AA", "CC00", &reason), MacSendResult::NoAdapterMac);
    } else {
        EXPECT_EQ(sender.send("lo", "127.0.0.1", "0011223344AA", "CC00", &reason), MacSendResult::OpenFailed);
    }
    // This process's own helper ends.
    EXPECT_EQ(std::system(("pkill -x -P " + std::to_string(::getpid()) + " kestrix-send").c_str()), 0);
    EXPECT_EQ(sender.send("nosuch0", "10.0.0.5", "0011223344AA", "CC00", &reason), MacSendResult::SendFailed);
    EXPECT_EQ(reason, "the frame helper ended");
    EXPECT_EQ(sender.send("nosuch0", "10.0.0.5", "0011223344AA", "CC00", &reason), MacSendResult::OpenFailed);

    HelperMacSender missing("/nonexistent/kestrix-send");
    EXPECT_EQ(missing.send("lo", "10.0.0.5", "0011223344AA", "CC00", &reason), MacSendResult::OpenFailed);
    EXPECT_NE(reason.find("the frame helper cannot be started"), std::string::npos) << reason;
}

// The nightly service reaches the helper through a socket of the system's,
// which starts a helper for every connection with the connection as its input
// and output; this test plays the system's part.
TEST(HelperMacSender, TheHelperBehindASocketAnswersAsTheStartedOne) {
    const std::string socketPath = "/tmp/kestrix-send-test-" + std::to_string(::getpid()) + ".socket";
    const int listener = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strcpy(address.sun_path, socketPath.c_str());
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(listener, 1), 0);
    pid_t helper = -1;
    std::thread system([&] {
        const int connection = ::accept(listener, nullptr, nullptr);
        helper = ::fork();
        if (helper == 0) {
            ::dup2(connection, STDIN_FILENO);
            ::dup2(connection, STDOUT_FILENO);
            ::execl(KESTRIX_SEND_PATH, KESTRIX_SEND_PATH, static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(connection);
    });
    {
        HelperMacSender sender("/nonexistent/kestrix-send", socketPath);
        std::string reason;
        EXPECT_EQ(sender.send("nosuch0", "10.0.0.5", "0011223344AA", "CC00", &reason), MacSendResult::OpenFailed);
        EXPECT_NE(reason.find("nosuch0: no such network interface"), std::string::npos) << reason;
        system.join();
    }
    int status = -1;
    ASSERT_EQ(::waitpid(helper, &status, 0), helper);  // the connection closed: the helper ended
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    ::close(listener);
    ::unlink(socketPath.c_str());

    HelperMacSender nobodyThere("/nonexistent/kestrix-send", socketPath);
    std::string reason;
    EXPECT_EQ(nobodyThere.send("lo", "10.0.0.5", "0011223344AA", "CC00", &reason), MacSendResult::OpenFailed);
    EXPECT_NE(reason.find(socketPath), std::string::npos) << reason;
}
