#include "runtime/RegularFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <utility>

namespace ovx {

namespace {

using Status = RegularFileRead::Status;

bool Acceptable(const struct stat& st, std::size_t maxBytes) {
    return S_ISREG(st.st_mode) && st.st_size >= 0 &&
           static_cast<unsigned long long>(st.st_size) <= maxBytes;
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

Status InspectRegularFile(const std::filesystem::path& path, std::size_t maxBytes) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        return errno == ENOENT || errno == ENOTDIR ? Status::kAbsent : Status::kRefused;
    }
    return Acceptable(st, maxBytes) ? Status::kRead : Status::kRefused;
}

RegularFileRead ReadRegularFile(const std::filesystem::path& path, std::size_t maxBytes) {
    RegularFileRead result;
    result.status = InspectRegularFile(path, maxBytes);
    if (result.status != Status::kRead) return result;
    result.status = Status::kRefused;
    struct stat st {};

    // Without O_NONBLOCK a FIFO swapped in after the check would block the open itself.
    Descriptor fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    if (fd.get() < 0) return result;
    if (::fstat(fd.get(), &st) != 0 || !Acceptable(st, maxBytes)) return result;

    std::string content;
    content.resize(static_cast<std::size_t>(st.st_size) + 1);
    std::size_t filled = 0;
    // One byte more than the cap is asked for, so a file that grew since fstat is noticed.
    while (filled < content.size()) {
        const ssize_t n = ::read(fd.get(), content.data() + filled, content.size() - filled);
        if (n < 0) {
            if (errno == EINTR) continue;
            return result;
        }
        if (n == 0) break;
        filled += static_cast<std::size_t>(n);
        if (filled == content.size() && content.size() <= maxBytes) {
            content.resize(std::min(content.size() * 2, maxBytes + 1));
        }
    }
    if (filled > maxBytes) return result;
    content.resize(filled);
    result.status = Status::kRead;
    result.content = std::move(content);
    return result;
}

}  // namespace ovx
