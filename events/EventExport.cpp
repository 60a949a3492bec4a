#include "events/EventExport.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace kestrix {

namespace {

std::runtime_error FileError(const std::string& path, int error) {
    return std::runtime_error("Cannot create file \"" + path + "\". " + std::strerror(error));
}

bool WriteAll(int fd, const std::string& data) {
    std::size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

void WriteEventTextFile(const std::string& path, const std::vector<HexText>& records) {
    std::string text;
    text.reserve(records.size() * 34);
    for (const HexText& record : records) {
        text += record;
        text += "\r\n";
    }
    static std::atomic<unsigned> counter{0};
    const std::string temporary = path + ".tmp" + std::to_string(::getpid()) + "-" + std::to_string(counter++);
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) throw FileError(path, errno);
    const bool written = WriteAll(fd, text) && ::fsync(fd) == 0;
    const int writeError = errno;
    if (::close(fd) != 0 || !written) {
        const int error = written ? errno : writeError;
        ::unlink(temporary.c_str());
        throw FileError(path, error);
    }
    if (::rename(temporary.c_str(), path.c_str()) != 0) {
        const int error = errno;
        ::unlink(temporary.c_str());
        throw FileError(path, error);
    }
}

}  // namespace kestrix
