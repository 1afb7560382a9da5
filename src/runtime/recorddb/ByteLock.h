#pragma once
// Holds a one-byte range lock of a record-database file for a scope.

#include "runtime/recorddb/DbError.h"
#include "runtime/recorddb/DbFile.h"

namespace ovx {

class ByteLock {
  public:
    ByteLock(DbFile& file, std::uint64_t offset) : file_(file), offset_(offset) {
        rc_ = file_.Lock(offset_, 1);
    }
    ~ByteLock() {
        if (rc_ == kDbOk) file_.Unlock(offset_, 1);
    }
    ByteLock(const ByteLock&) = delete;
    ByteLock& operator=(const ByteLock&) = delete;
    // 0 when the lock is held.
    int rc() const { return rc_; }

  private:
    DbFile& file_;
    std::uint64_t offset_;
    int rc_;
};

}  // namespace ovx
