#include "platform/posix/machine/directory/read_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <new>
#include <system_error>

namespace hostlens::sim::machinedir {
namespace {

std::string SystemReason(int error) {
    return std::generic_category().message(error);
}

// What a file that is not a regular one is, for the message.
std::optional<std::string> NotRegular(const struct stat& status) {
    if (S_ISREG(status.st_mode)) return std::nullopt;
    const char* kind = S_ISDIR(status.st_mode)    ? "a folder"
                       : S_ISFIFO(status.st_mode) ? "a FIFO"
                       : S_ISSOCK(status.st_mode) ? "a socket"
                       : S_ISCHR(status.st_mode)  ? "a character device"
                       : S_ISBLK(status.st_mode)  ? "a block device"
                                                  : "something else";
    return std::string("it is ") + kind + ", not a regular file";
}

std::string TooLarge() {
    return "larger than " + std::to_string(kMaxMachineFileSize >> 20) + " MiB";
}

class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

}  // namespace

std::optional<std::string> ReadMachineFile(const std::filesystem::path& path, std::string& content) {
    // Looked at before opening, so that no device is ever opened; looked at again
    // through the descriptor, in case the name changed in between. Opening does not
    // wait for a FIFO's writer (O_NONBLOCK); regular files ignore that flag.
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) return SystemReason(errno);
    if (auto reason = NotRegular(status)) return reason;
    Descriptor file(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (file.get() < 0) return SystemReason(errno);
    if (::fstat(file.get(), &status) != 0) return SystemReason(errno);
    if (auto reason = NotRegular(status)) return reason;
    if (static_cast<std::uint64_t>(status.st_size) > kMaxMachineFileSize) return TooLarge();

    try {
        content.reserve(static_cast<std::size_t>(status.st_size));
        char buffer[1 << 16];
        while (true) {
            ssize_t count = ::read(file.get(), buffer, sizeof buffer);
            if (count < 0 && errno == EINTR) continue;
            if (count < 0) return SystemReason(errno);
            if (count == 0) break;
            // The file may have grown since it was looked at.
            if (content.size() + static_cast<std::size_t>(count) > kMaxMachineFileSize) return TooLarge();
            content.append(buffer, static_cast<std::size_t>(count));
        }
    } catch (const std::bad_alloc&) {
        return "not enough memory to read it";
    }
    return std::nullopt;
}

}  // namespace hostlens::sim::machinedir
