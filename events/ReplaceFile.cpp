#include "events/ReplaceFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <optional>

namespace kestrix {

namespace {

[[noreturn]] void Fail(int error, const std::string& what) {
    throw std::system_error(error, std::generic_category(), what);
}

std::string DirectoryOf(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// The file a path names once its symbolic links are followed; it need not exist.
std::string LinkTarget(std::string path) {
    for (int hops = 0; hops < 40; ++hops) {
        struct stat status {};
        if (::lstat(path.c_str(), &status) != 0 || !S_ISLNK(status.st_mode)) return path;
        std::string target(static_cast<std::size_t>(status.st_size) + 1, '\0');
        const ssize_t length = ::readlink(path.c_str(), target.data(), target.size());
        if (length < 0) Fail(errno, path);
        target.resize(static_cast<std::size_t>(length));
        path = target.starts_with('/') ? target : DirectoryOf(path) + target;
    }
    Fail(ELOOP, path);
}

bool WriteAll(int fd, const std::string& data) {
    std::size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (n == 0) errno = EIO;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

struct OldFile {
    mode_t mode;
    uid_t owner;
    gid_t group;
};

// What the replaced file must keep; nothing for a file that does not exist yet.
std::optional<OldFile> ReadableOldFile(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        if (errno == ENOENT) return std::nullopt;
        Fail(errno, path);  // there, but not ours to read: never replaced
    }
    struct stat status {};
    const bool known = ::fstat(fd, &status) == 0;
    const int error = errno;
    ::close(fd);
    if (!known) Fail(error, path);
    if (!S_ISREG(status.st_mode)) Fail(EISDIR, path);
    // A file we may not write stays as it is, though its directory would let a rename replace it.
    if (::access(path.c_str(), W_OK) != 0) Fail(errno, path);
    return OldFile{status.st_mode & 07777, status.st_uid, status.st_gid};
}

}  // namespace

void ReplaceFileContents(const std::string& path, const std::string& contents) {
    const std::string target = LinkTarget(path);
    const std::optional<OldFile> old = ReadableOldFile(target);

    static std::atomic<unsigned> counter{0};
    const std::string temporary = target + ".tmp" + std::to_string(::getpid()) + "-" + std::to_string(counter++);
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, old ? 0600 : 0666);
    if (fd < 0) Fail(errno, path);
    bool ok = WriteAll(fd, contents);
    if (ok && old) {
        // Only root may give a file away; a user keeps at least the group, when a member.
        if (::fchown(fd, old->owner, old->group) != 0)
            ok = errno == EPERM && (::fchown(fd, static_cast<uid_t>(-1), old->group) == 0 || errno == EPERM);
        // The mode after the owner: fchown clears set-id bits.
        ok = ok && ::fchmod(fd, old->mode) == 0;
    }
    ok = ok && ::fsync(fd) == 0;
    int error = errno;
    if (::close(fd) != 0 && ok) {
        ok = false;
        error = errno;
    }
    if (ok && ::rename(temporary.c_str(), target.c_str()) != 0) {
        ok = false;
        error = errno;
    }
    if (!ok) {
        ::unlink(temporary.c_str());
        Fail(error, path);
    }
}

}  // namespace kestrix
