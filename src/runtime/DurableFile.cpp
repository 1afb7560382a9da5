#include "runtime/DurableFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace ovx {

namespace {

int WriteAll(int fd, const unsigned char* data, std::size_t size) {
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::write(fd, data + done, size - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        done += static_cast<std::size_t>(n);
    }
    return 0;
}

int OpenNew(const std::filesystem::path& path) {
    return ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY,
                  0644);
}

// Reads up to `size` bytes; the count read, or -1 on an error.
ssize_t ReadSome(int fd, unsigned char* data, std::size_t size) {
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::read(fd, data + done, size - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return -1;
        }
        if (n == 0) break;
        done += static_cast<std::size_t>(n);
    }
    return static_cast<ssize_t>(done);
}

}  // namespace

int WriteNewFileDurably(const std::filesystem::path& path, const Bytes& bytes) {
    const int fd = OpenNew(path);
    if (fd < 0) return errno;
    int err = WriteAll(fd, bytes.data(), bytes.size());
    if (err == 0 && ::fdatasync(fd) != 0) err = errno;
    if (::close(fd) != 0 && err == 0) err = errno;
    if (err != 0) ::unlink(path.c_str());
    return err;
}

namespace {

// `sync` (fsync, syncfs) on the folder, opened for reading; false when it cannot be opened or
// the call fails.
bool SyncThroughFolder(const std::filesystem::path& folder, int (*sync)(int)) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return false;
    const bool synced = sync(fd) == 0;
    ::close(fd);
    return synced;
}

}  // namespace

bool SyncFolder(const std::filesystem::path& folder) {
    return SyncThroughFolder(folder, ::fsync);
}

bool SyncFileSystem(const std::filesystem::path& folder) {
    return SyncThroughFolder(folder, ::syncfs);
}

NewFile::~NewFile() {
    Remove();
}

int NewFile::Create(const std::filesystem::path& path) {
    Remove();
    fd_ = OpenNew(path);
    if (fd_ < 0) return errno;
    path_ = path;
    owned_ = true;
    size_ = 0;
    return 0;
}

int NewFile::Write(const void* data, std::size_t size) {
    if (fd_ < 0) return EBADF;
    const int err = WriteAll(fd_, static_cast<const unsigned char*>(data), size);
    if (err == 0) size_ += size;
    return err;
}

int NewFile::Clear() {
    if (fd_ < 0) return EBADF;
    if (::ftruncate(fd_, 0) != 0 || ::lseek(fd_, 0, SEEK_SET) != 0) return errno;
    size_ = 0;
    return 0;
}

int NewFile::Finish() {
    if (fd_ < 0) return EBADF;
    int err = ::fdatasync(fd_) != 0 ? errno : 0;
    if (::close(fd_) != 0 && err == 0) err = errno;
    fd_ = -1;
    return err;
}

int NewFile::Close() {
    if (fd_ < 0) return EBADF;
    const int err = ::close(fd_) != 0 ? errno : 0;
    fd_ = -1;
    return err;
}

void NewFile::Remove() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    if (owned_) ::unlink(path_.c_str());
    owned_ = false;
}

void NewFile::Release() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    owned_ = false;
}

int RenameWithoutReplacing(const std::filesystem::path& from, const std::filesystem::path& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
    const int err = errno;
    if (err != EINVAL && err != ENOSYS && err != ENOTSUP) return err;
    // No such rename here: a second name that cannot replace anything, then the first goes.
    if (::link(from.c_str(), to.c_str()) != 0) return errno;
    ::unlink(from.c_str());
    return 0;
}

bool SameFileContents(const std::filesystem::path& a, const std::filesystem::path& b) {
    const int fa = ::open(a.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    if (fa < 0) return false;
    const int fb = ::open(b.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    if (fb < 0) {
        ::close(fa);
        return false;
    }
    struct stat sa {};
    struct stat sb {};
    bool same = ::fstat(fa, &sa) == 0 && ::fstat(fb, &sb) == 0 && S_ISREG(sa.st_mode) &&
                S_ISREG(sb.st_mode) && sa.st_size == sb.st_size;
    std::array<unsigned char, 65536> ba{};
    std::array<unsigned char, 65536> bb{};
    while (same) {
        const ssize_t na = ReadSome(fa, ba.data(), ba.size());
        const ssize_t nb = ReadSome(fb, bb.data(), bb.size());
        if (na < 0 || na != nb) {
            same = false;
        } else if (na == 0) {
            break;
        } else {
            same = std::memcmp(ba.data(), bb.data(), static_cast<std::size_t>(na)) == 0;
        }
    }
    ::close(fa);
    ::close(fb);
    return same;
}

}  // namespace ovx
