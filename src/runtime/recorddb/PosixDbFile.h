#pragma once
// A record-database file over a POSIX file descriptor. Byte-range locks are open-file-
// description locks, so they belong to this opening and survive other descriptors of the
// same file being closed.

#include "runtime/recorddb/DbFile.h"

namespace ovx {

class PosixDbFile : public DbFile {
  public:
    PosixDbFile(int fd, bool writable) : fd_(fd), writable_(writable) {}
    ~PosixDbFile() override;
    PosixDbFile(const PosixDbFile&) = delete;
    PosixDbFile& operator=(const PosixDbFile&) = delete;

    // Opens the file and takes the lock that tells other openings how it is shared.
    static int Open(const Text& path, DbOpenMode mode, int share, std::unique_ptr<DbFile>& file);

    int Read(std::uint64_t offset, void* buffer, std::size_t n) override;
    int Write(std::uint64_t offset, const void* buffer, std::size_t n) override;
    int Size(std::uint64_t& size) override;
    int Truncate(std::uint64_t size) override;
    int Lock(std::uint64_t offset, std::uint64_t length) override;
    int Unlock(std::uint64_t offset, std::uint64_t length) override;

  private:
    int fd_;
    bool writable_;
};

}  // namespace ovx
