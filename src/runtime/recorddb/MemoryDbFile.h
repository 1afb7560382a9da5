#pragma once
// In-memory record-database files for tests and fuzzing, with faults to inject: a write
// budget (the write that exhausts it is cut short, as by a crash or a full disk), failing
// reads and failing locks.

#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "runtime/recorddb/DbFile.h"

namespace ovx {

struct MemoryFileData {
    Bytes bytes;
    std::int64_t writeBudget = -1;  // bytes that may still be written; -1 for no limit
    bool failReads = false;
    bool failLocks = false;
};

class MemoryDbFile : public DbFile {
  public:
    // callsLeft, when given, counts the write calls left to all files of a file system.
    MemoryDbFile(std::shared_ptr<MemoryFileData> data, bool writable,
                 std::int64_t* callsLeft = nullptr)
        : data_(std::move(data)), writable_(writable), callsLeft_(callsLeft) {}

    int Read(std::uint64_t offset, void* buffer, std::size_t n) override;
    int Write(std::uint64_t offset, const void* buffer, std::size_t n) override;
    int Size(std::uint64_t& size) override;
    int Truncate(std::uint64_t size) override;
    int Lock(std::uint64_t offset, std::uint64_t length) override;
    int Unlock(std::uint64_t offset, std::uint64_t length) override;

  private:
    std::shared_ptr<MemoryFileData> data_;
    bool writable_;
    std::int64_t* callsLeft_;
};

class MemoryFileSystem : public DbFileSystem {
  public:
    int Open(const Text& path, DbOpenMode mode, int share, std::unique_ptr<DbFile>& file) override;
    bool Exists(const Text& path) override;
    Text FullPath(const Text& path) override;
    bool EnsureFolder(const Text&) override { return !failCreate; }

    // The file's data, created empty when missing.
    std::shared_ptr<MemoryFileData> Data(const Text& path);
    // The file's bytes, or nullptr when there is no such file.
    const Bytes* Find(const Text& path) const;
    void Put(const Text& path, Bytes bytes);
    void Remove(const Text& path);

    bool failCreate = false;  // every kCreate open fails with access denied
    // Write calls that may still be made to all files together, -1 for no limit; the calls
    // after them fail without writing, as when the process is killed between two of them.
    std::int64_t writeCallsLeft = -1;

  private:
    std::map<std::string, std::shared_ptr<MemoryFileData>> files_;
};

}  // namespace ovx
