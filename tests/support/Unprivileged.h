#pragma once
// Runs a piece of a test as a user who is not root: root reads and writes
// every file, so the permission cases need another user. As root the body runs
// in a child process as nobody; otherwise it runs in a child as the caller.

#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>

namespace kestrix::test {

constexpr uid_t kNobody = 65534;
constexpr gid_t kNoGroup = 65534;

// A directory the unprivileged user owns (given to nobody when we are root).
inline void GiveToUnprivileged(const std::filesystem::path& path) {
    if (::geteuid() == 0 && ::chown(path.c_str(), kNobody, kNoGroup) != 0) throw std::runtime_error("chown");
}

// The body's result (0 for success) as the child's exit status; -1 when it died.
inline int RunUnprivileged(const std::function<int()>& body) {
    const pid_t child = ::fork();
    if (child == 0) {
        if (::geteuid() == 0 && (::setgroups(0, nullptr) != 0 || ::setgid(kNoGroup) != 0 || ::setuid(kNobody) != 0))
            ::_exit(125);
        int result = 126;
        try {
            result = body();
        } catch (...) {
        }
        ::_exit(result);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace kestrix::test
