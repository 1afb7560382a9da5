#include "runtime/recorddb/MemoryDbFile.h"

#include <algorithm>
#include <cstring>

#include "runtime/recorddb/DbError.h"

namespace ovx {

namespace {
constexpr std::uint64_t kMaxMemoryFile = std::uint64_t{1} << 28;
}

int MemoryDbFile::Read(std::uint64_t offset, void* buffer, std::size_t n) {
    if (data_->failReads) return kDbHardware;
    const Bytes& b = data_->bytes;
    if (offset > b.size() || n > b.size() - offset) return kDbEndOfFile;
    if (n > 0) std::memcpy(buffer, b.data() + offset, n);
    return kDbOk;
}

int MemoryDbFile::Write(std::uint64_t offset, const void* buffer, std::size_t n) {
    if (!writable_) return kDbAccessDenied;
    if (offset > kMaxMemoryFile || n > kMaxMemoryFile - offset) return kDbDiskFull;
    if (callsLeft_ && *callsLeft_ >= 0) {
        if (*callsLeft_ == 0) return kDbHardware;
        --*callsLeft_;
    }
    std::size_t allowed = n;
    if (data_->writeBudget >= 0)
        allowed = std::min<std::size_t>(allowed, static_cast<std::size_t>(data_->writeBudget));
    Bytes& b = data_->bytes;
    if (allowed > 0) {
        if (b.size() < offset + allowed) b.resize(offset + allowed);
        std::memcpy(b.data() + offset, buffer, allowed);
    }
    if (data_->writeBudget >= 0) data_->writeBudget -= static_cast<std::int64_t>(allowed);
    return allowed == n ? kDbOk : kDbDiskFull;
}

int MemoryDbFile::Size(std::uint64_t& size) {
    size = data_->bytes.size();
    return kDbOk;
}

int MemoryDbFile::Truncate(std::uint64_t size) {
    if (!writable_) return kDbAccessDenied;
    if (size > kMaxMemoryFile) return kDbDiskFull;
    if (data_->writeBudget == 0 || (callsLeft_ && *callsLeft_ == 0)) return kDbDiskFull;
    data_->bytes.resize(size);
    return kDbOk;
}

int MemoryDbFile::Lock(std::uint64_t, std::uint64_t) {
    return data_->failLocks ? kDbLockFile : kDbOk;
}

int MemoryDbFile::Unlock(std::uint64_t, std::uint64_t) {
    return kDbOk;
}

int MemoryFileSystem::Open(const Text& path, DbOpenMode mode, int, std::unique_ptr<DbFile>& file) {
    if (path.empty()) return kDbFileNotFound;
    auto it = files_.find(path.bytes());
    if (mode == DbOpenMode::kCreate) {
        if (failCreate) return kDbAccessDenied;
        auto data = Data(path);
        if (data->writeBudget == 0) return kDbDiskFull;
        data->bytes.clear();
        file = std::make_unique<MemoryDbFile>(data, true, &writeCallsLeft);
        return kDbOk;
    }
    if (it == files_.end()) return kDbFileNotFound;
    file =
        std::make_unique<MemoryDbFile>(it->second, mode == DbOpenMode::kReadWrite, &writeCallsLeft);
    return kDbOk;
}

bool MemoryFileSystem::Exists(const Text& path) {
    return files_.count(path.bytes()) > 0;
}

Text MemoryFileSystem::FullPath(const Text& path) {
    if (!path.empty() && path[0] == '/') return path;
    return Text("/mem/") + path;
}

std::shared_ptr<MemoryFileData> MemoryFileSystem::Data(const Text& path) {
    auto& slot = files_[path.bytes()];
    if (!slot) slot = std::make_shared<MemoryFileData>();
    return slot;
}

const Bytes* MemoryFileSystem::Find(const Text& path) const {
    auto it = files_.find(path.bytes());
    return it == files_.end() ? nullptr : &it->second->bytes;
}

void MemoryFileSystem::Put(const Text& path, Bytes bytes) {
    Data(path)->bytes = std::move(bytes);
}

void MemoryFileSystem::Remove(const Text& path) {
    files_.erase(path.bytes());
}

}  // namespace ovx
