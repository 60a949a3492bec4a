#include <spawn.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>

#include "link/FrameHelper.h"

namespace kestrix {

namespace {
constexpr int kCapNetRaw = 13;
}

bool MaySendRawFrames() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("CapEff:", 0) == 0) return (std::stoull(line.substr(7), nullptr, 16) >> kCapNetRaw) & 1;
    return false;
}

// The running helper: a child whose standard input and output are one end of
// a socket pair (a socket, so that a helper that has gone raises no SIGPIPE).
struct HelperMacSender::Process {
    pid_t pid = -1;
    int socket = -1;
    std::string pending;  // what was read past the last answer

    ~Process() {
        if (socket >= 0) ::close(socket);  // the helper reads its end of input and ends
        if (pid > 0) ::waitpid(pid, nullptr, 0);
    }

    static std::unique_ptr<Process> Connect(const std::string& socketPath, std::string& reason) {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        if (socketPath.size() >= sizeof address.sun_path) {
            reason = socketPath + ": too long a socket name";
            return nullptr;
        }
        std::memcpy(address.sun_path, socketPath.c_str(), socketPath.size());
        auto process = std::make_unique<Process>();
        process->socket = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (process->socket < 0 || ::connect(process->socket, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            reason = socketPath + ": " + std::strerror(errno);
            return nullptr;
        }
        return process;
    }

    static std::unique_ptr<Process> Start(const std::string& path, std::string& reason) {
        int ends[2];
        if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) {
            reason = std::strerror(errno);
            return nullptr;
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, ends[1], STDIN_FILENO);
        posix_spawn_file_actions_adddup2(&actions, ends[1], STDOUT_FILENO);
        char* const arguments[] = {const_cast<char*>(path.c_str()), nullptr};
        char* const environment[] = {nullptr};
        auto process = std::make_unique<Process>();
        const int error = ::posix_spawn(&process->pid, path.c_str(), &actions, nullptr, arguments, environment);
        posix_spawn_file_actions_destroy(&actions);
        ::close(ends[1]);
        process->socket = ends[0];
        if (error != 0) {
            process->pid = -1;
            reason = path + ": " + std::strerror(error);
            return nullptr;
        }
        return process;
    }

    // One request, one answer line; nothing when the helper has gone.
    std::optional<std::string> exchange(const std::string& request) {
        for (std::size_t sent = 0; sent < request.size();) {
            const ssize_t n = ::send(socket, request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return std::nullopt;
            sent += static_cast<std::size_t>(n);
        }
        for (;;) {
            if (const auto end = pending.find('\n'); end != std::string::npos) {
                std::string line = pending.substr(0, end);
                pending.erase(0, end + 1);
                return line;
            }
            char buffer[512];
            const ssize_t n = ::recv(socket, buffer, sizeof buffer, 0);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return std::nullopt;
            pending.append(buffer, static_cast<std::size_t>(n));
        }
    }
};

HelperMacSender::HelperMacSender(std::string helperPath, std::string socketPath, DeviceUse use)
    : m_helperPath(std::move(helperPath)), m_socketPath(std::move(socketPath)), m_use(use) {}
HelperMacSender::~HelperMacSender() = default;

MacSendResult HelperMacSender::send(const std::string& device, const std::string& ipv4Text,
                                    const std::string& controllerMac, const HexText& body, std::string* reason) {
    if (!IsMacText(controllerMac)) return MacSendResult::BadControllerMac;
    const std::size_t length = BuildControllerFrame(m_frame, ipv4Text, controllerMac, body);
    std::string why;
    if (!m_process)
        m_process = m_socketPath.empty() ? Process::Start(m_helperPath, why) : Process::Connect(m_socketPath, why);
    if (!m_process) {
        if (reason) *reason = "the frame helper cannot be started: " + why;
        return MacSendResult::OpenFailed;
    }
    const auto answer = m_process->exchange(
        FrameRequestLine(device, std::span<const std::uint8_t>(m_frame).first(length), m_use == DeviceUse::PerRun));
    if (!answer) {
        m_process.reset();  // started again for the next message
        if (reason) *reason = "the frame helper ended";
        return MacSendResult::SendFailed;
    }
    FrameAnswer parsed = ParseFrameAnswer(*answer);
    if (reason) *reason = std::move(parsed.reason);
    return parsed.result;
}

void HelperMacSender::release() {
    if (m_process && m_process->exchange(kReleaseRequest + "\n") != kReleasedAnswer) m_process.reset();
}

}  // namespace kestrix
