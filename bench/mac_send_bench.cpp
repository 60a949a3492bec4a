// The cost of one MAC-mode message: in this process through the capture
// library, against the frame-sending helper (kestrix-send) that the window and
// the collector use when they may not send raw frames themselves; each with
// the device opened and closed for every message (the window) and kept open
// for a controller's run (the collector). The frames go into a veth pair whose other end lies in a network
// namespace made here (and removed afterwards), where nothing answers.
// Measured with the kernel's RCU grace periods as they are, and expedited.
// Needs root. Usage: mac_send_bench [messages (default 300)]

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "link/FrameHelper.h"

using namespace kestrix;
using Clock = std::chrono::steady_clock;

namespace {

const std::string kNamespace = "kxbench" + std::to_string(::getpid() % 100000);
const std::string kDevice = "kxb" + std::to_string(::getpid() % 100000);
const std::string kPeer = "kxp" + std::to_string(::getpid() % 100000);
const std::string kAddress = "10.214." + std::to_string(::getpid() % 250) + ".1";

bool Run(const std::string& command) {
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

std::string ReadKnob() {
    std::ifstream knob("/sys/kernel/rcu_expedited");
    std::string value;
    knob >> value;
    return value;
}

void WriteKnob(const std::string& value) {
    std::ofstream("/sys/kernel/rcu_expedited") << value;
}

double MillisecondsPerMessage(MacFrameSender& sender, int messages) {
    std::string reason;
    const auto t0 = Clock::now();
    for (int i = 0; i < messages; ++i) {
        if (sender.send(kDevice, kAddress, "0011223344AA", "DA000010", &reason) != MacSendResult::Sent) {
            std::fprintf(stderr, "a send failed: %s\n", reason.c_str());
            std::exit(1);
        }
    }
    return std::chrono::duration<double, std::milli>(Clock::now() - t0).count() / messages;
}

}  // namespace

int main(int argc, char* argv[]) {
    const int messages = argc > 1 ? std::atoi(argv[1]) : 300;
    if (::geteuid() != 0) {
        std::fprintf(stderr, "mac_send_bench needs root (a network namespace and raw frames)\n");
        return 2;
    }
    if (!Run("ip netns add " + kNamespace) || !Run("ip link add " + kDevice + " type veth peer name " + kPeer) ||
        !Run("ip link set " + kPeer + " netns " + kNamespace) || !Run("ip link set " + kDevice + " up") ||
        !Run("ip addr add " + kAddress + "/30 dev " + kDevice) ||
        !Run("ip -n " + kNamespace + " link set " + kPeer + " up")) {
        std::fprintf(stderr, "cannot make the veth pair\n");
        Run("ip link del " + kDevice);
        Run("ip netns del " + kNamespace);
        return 2;
    }
    LibpcapCapture capture;
    const std::string knob = ReadKnob();
    std::printf("%d MAC-mode messages through %s, milliseconds a message\n", messages, kDevice.c_str());
    for (const DeviceUse use : {DeviceUse::PerMessage, DeviceUse::PerRun}) {
        CaptureMacSender inProcess(capture, use);
        HelperMacSender helper(std::string(KESTRIX_SEND_PATH), {}, use);
        for (const std::string& setting : {knob, std::string("1")}) {
            if (setting.empty()) continue;
            WriteKnob(setting);
            const double own = MillisecondsPerMessage(inProcess, messages);
            const double helped = MillisecondsPerMessage(helper, messages);
            std::printf("  device %s, rcu_expedited=%s: in this process %.3f, through kestrix-send %.3f "
                        "(the helper adds %.3f)\n",
                        use == DeviceUse::PerRun ? "kept open for the run" : "opened for every message",
                        setting.c_str(), own, helped, helped - own);
            if (setting == "1") break;
        }
    }
    if (!knob.empty()) WriteKnob(knob);
    Run("ip link del " + kDevice);
    Run("ip netns del " + kNamespace);
    return 0;
}
