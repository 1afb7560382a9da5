#include "runtime/recorddb/PosixDbFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <system_error>
#include <thread>

#include "runtime/CodePage.h"
#include "runtime/recorddb/DbError.h"

namespace ovx {

namespace {

// How long a byte-range lock held by another opening is waited for. The engine holds its
// locks only for the duration of one operation, so this is ample, and it bounds the wait
// when the other holder hangs.
constexpr auto kLockPatience = std::chrono::seconds(5);

int SetLock(int fd, short type, std::uint64_t offset, std::uint64_t length) {
    struct flock fl {};
    fl.l_type = type;
    fl.l_whence = SEEK_SET;
    fl.l_start = static_cast<off_t>(offset);
    fl.l_len = static_cast<off_t>(length);
    fl.l_pid = 0;
    return fcntl(fd, F_OFD_SETLK, &fl) == 0 ? 0 : errno;
}

// The code of a failed open. O_NOFOLLOW says ELOOP for a link at the name itself, and also
// for a loop of links in the folders above it: only the first is a refused link.
int OpenError(const std::filesystem::path& name, int err) {
    struct stat st {};
    if (err == ELOOP && ::lstat(name.c_str(), &st) == 0 && S_ISLNK(st.st_mode))
        return kDbSymbolicLink;
    return DbErrorFromErrno(err);
}

class PosixFileSystemImpl : public DbFileSystem {
  public:
    int Open(const Text& path, DbOpenMode mode, int share, std::unique_ptr<DbFile>& file) override {
        return PosixDbFile::Open(path, mode, share, file);
    }
    // Whatever carries the name counts, a link (even one pointing nowhere) included: a link
    // is refused when opened, never taken for an absent file and created through.
    bool Exists(const Text& path) override {
        std::error_code ec;
        return !path.empty() &&
               std::filesystem::exists(std::filesystem::symlink_status(ToPath(path), ec));
    }
    Text FullPath(const Text& path) override {
        std::error_code ec;
        auto full = std::filesystem::absolute(ToPath(path), ec);
        if (ec) return path;
        return FromPath(full.lexically_normal());
    }
    bool EnsureFolder(const Text& path) override {
        std::error_code ec;
        std::filesystem::create_directories(ToPath(path), ec);
        return std::filesystem::is_directory(ToPath(path), ec);
    }
};

}  // namespace

DbFileSystem& PosixFileSystem() {
    static PosixFileSystemImpl fs;
    return fs;
}

PosixDbFile::~PosixDbFile() {
    close(fd_);
}

int PosixDbFile::Open(const Text& path, DbOpenMode mode, int share, std::unique_ptr<DbFile>& file) {
    if (path.empty()) return kDbFileNotFound;
    const std::filesystem::path name = ToPath(path);
    // Opened without blocking: opening a FIFO for reading would otherwise wait for a writer
    // for ever. Never through a symbolic link: a link at the name is refused, its target left
    // alone. Anything but a regular file is refused before it is read.
    int flags = O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW | O_NOCTTY;
    flags |= mode == DbOpenMode::kReadOnly ? O_RDONLY : O_RDWR;
    int fd = -1;
    int err = 0;
    if (mode == DbOpenMode::kCreate) {
        // A missing file is created here and nowhere else; an existing one is opened as it
        // is and cut to nothing only below, once it proved a regular file and its lock is
        // held. A file removed between the two tries is created on the next round.
        for (int round = 0; round < 3 && fd < 0; ++round) {
            fd = ::open(name.c_str(), flags | O_CREAT | O_EXCL, 0644);
            if (fd >= 0) break;
            if ((err = errno) != EEXIST) break;
            fd = ::open(name.c_str(), flags);
            if (fd < 0 && (err = errno) != ENOENT) break;
        }
    } else {
        fd = ::open(name.c_str(), flags);
        if (fd < 0) err = errno;
    }
    if (fd < 0) return OpenError(name, err);
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) ||
        fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
        close(fd);
        return kDbAccessDenied;
    }
    bool writable = mode != DbOpenMode::kReadOnly;
    // Every opening holds a shared lock on a byte far beyond the data; an exclusive opening
    // holds it exclusively, so each side sees the other.
    bool exclusive = writable && (mode == DbOpenMode::kCreate || share != kShareDenyNone);
    if (SetLock(fd, exclusive ? F_WRLCK : F_RDLCK, kShareLockOffset, 1) != 0) {
        close(fd);
        return kDbSharing;
    }
    if (mode == DbOpenMode::kCreate && ftruncate(fd, 0) != 0) {
        err = errno;
        close(fd);
        return DbErrorFromErrno(err);
    }
    file = std::make_unique<PosixDbFile>(fd, writable);
    return kDbOk;
}

int PosixDbFile::Read(std::uint64_t offset, void* buffer, std::size_t n) {
    auto* p = static_cast<char*>(buffer);
    while (n > 0) {
        ssize_t got = pread(fd_, p, n, static_cast<off_t>(offset));
        if (got < 0) {
            if (errno == EINTR) continue;
            return DbErrorFromErrno(errno);
        }
        if (got == 0) return kDbEndOfFile;
        p += got;
        offset += static_cast<std::uint64_t>(got);
        n -= static_cast<std::size_t>(got);
    }
    return kDbOk;
}

int PosixDbFile::Write(std::uint64_t offset, const void* buffer, std::size_t n) {
    if (!writable_) return kDbAccessDenied;
    const auto* p = static_cast<const char*>(buffer);
    while (n > 0) {
        ssize_t put = pwrite(fd_, p, n, static_cast<off_t>(offset));
        if (put < 0) {
            if (errno == EINTR) continue;
            return DbErrorFromErrno(errno);
        }
        p += put;
        offset += static_cast<std::uint64_t>(put);
        n -= static_cast<std::size_t>(put);
    }
    return kDbOk;
}

int PosixDbFile::Size(std::uint64_t& size) {
    struct stat st {};
    if (fstat(fd_, &st) != 0) return DbErrorFromErrno(errno);
    size = static_cast<std::uint64_t>(st.st_size);
    return kDbOk;
}

int PosixDbFile::Truncate(std::uint64_t size) {
    if (!writable_) return kDbAccessDenied;
    return ftruncate(fd_, static_cast<off_t>(size)) == 0 ? kDbOk : DbErrorFromErrno(errno);
}

int PosixDbFile::Lock(std::uint64_t offset, std::uint64_t length) {
    short type = writable_ ? F_WRLCK : F_RDLCK;
    auto deadline = std::chrono::steady_clock::now() + kLockPatience;
    auto pause = std::chrono::microseconds(20);
    for (;;) {
        int err = SetLock(fd_, type, offset, length);
        if (err == 0) return kDbOk;
        if (err != EAGAIN && err != EACCES && err != EINTR) return kDbLockFile;
        if (std::chrono::steady_clock::now() >= deadline) return kDbLockFile;
        std::this_thread::sleep_for(pause);
        if (pause < std::chrono::milliseconds(5)) pause *= 2;
    }
}

int PosixDbFile::Unlock(std::uint64_t offset, std::uint64_t length) {
    return SetLock(fd_, F_UNLCK, offset, length) == 0 ? kDbOk : kDbUnlockFailed;
}

}  // namespace ovx
