#pragma once
// The small file abstraction the record database reads and writes through.
//
// Every operation returns 0 on success or a record-database error code (DbError.h), so the
// engine can pass file failures on as they are. A file system opens files by name; the
// POSIX one works on real files, the in-memory one lets tests hand the engine truncated,
// corrupt and failing files.

#include <cstddef>
#include <cstdint>
#include <memory>

#include "runtime/Text.h"

namespace ovx {

// Byte ranges above every real file, used to keep "who has this file open" between
// processes (the engine's sharing modes).
inline constexpr std::uint64_t kShareLockOffset = std::uint64_t{1} << 40;

class DbFile {
  public:
    virtual ~DbFile() = default;
    // Reads exactly n bytes at the offset; fewer available gives kDbEndOfFile.
    virtual int Read(std::uint64_t offset, void* buffer, std::size_t n) = 0;
    virtual int Write(std::uint64_t offset, const void* buffer, std::size_t n) = 0;
    virtual int Size(std::uint64_t& size) = 0;
    virtual int Truncate(std::uint64_t size) = 0;
    // A byte-range lock, exclusive on a writable file and shared on a read-only one. A lock
    // held by another opening is waited for only briefly, then kDbLockFile is given.
    virtual int Lock(std::uint64_t offset, std::uint64_t length) = 0;
    virtual int Unlock(std::uint64_t offset, std::uint64_t length) = 0;
};

enum class DbOpenMode {
    kReadOnly,
    kReadWrite,
    kCreate,  // create or truncate, with no other opening of the file allowed
};

// Sharing modes of OpenDatabase: 1 deny nobody, 2 deny reading, 3 deny writing, 4 exclusive.
inline constexpr int kShareDenyNone = 1;
inline constexpr int kShareExclusive = 4;

class DbFileSystem {
  public:
    virtual ~DbFileSystem() = default;
    virtual int Open(const Text& path, DbOpenMode mode, int share,
                     std::unique_ptr<DbFile>& file) = 0;
    virtual bool Exists(const Text& path) = 0;
    // The path made absolute and normal; the text itself when that is not possible.
    virtual Text FullPath(const Text& path) = 0;
    // Makes sure the folder exists.
    virtual bool EnsureFolder(const Text& path) = 0;
};

// The process's real file system.
DbFileSystem& PosixFileSystem();

}  // namespace ovx
