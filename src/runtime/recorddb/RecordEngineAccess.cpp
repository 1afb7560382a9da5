// Reading and appending records.

#include <cstring>

#include "runtime/Fatal.h"
#include "runtime/recorddb/ByteLock.h"
#include "runtime/recorddb/DataFileLayout.h"
#include "runtime/recorddb/DbError.h"
#include "runtime/recorddb/LittleEndian.h"
#include "runtime/recorddb/RecordDatabase.h"
#include "runtime/recorddb/RecordEngine.h"

namespace ovx {

namespace {

bool Fail(int code) {
    SetLastDbError(code);
    return false;
}

}  // namespace

int RecordEngine::ReadCountAndId(RecordDatabase& db, std::int32_t& count, std::int32_t& nextId) {
    std::uint8_t b[8];
    if (db.data->Read(kCountOffset, b, 8)) return kDbCountUnreadable;
    count = le::I32(b);
    nextId = le::I32(b + 4);
    if (count < 0) count = 0;
    if (nextId < 1) nextId = 1;
    return kDbOk;
}

std::int64_t RecordEngine::RecordCount() {
    std::lock_guard lock(mutex_);
    RecordDatabase* db = Current();
    if (!db) return Fail(kDbNoCurrentDatabase), -1;
    ByteLock countLock(*db->data, kCountOffset);
    if (countLock.rc()) return Fail(kDbLockFile), -1;
    std::int32_t count = 0, nextId = 0;
    if (int rc = ReadCountAndId(*db, count, nextId)) return Fail(rc), -1;
    SetLastDbError(kDbOk);
    return count;
}

std::int64_t RecordEngine::CurrentRecord() {
    std::lock_guard lock(mutex_);
    RecordDatabase* db = Current();
    return db ? db->current : -1;
}

bool RecordEngine::GoToRecord(std::int64_t n) {
    std::lock_guard lock(mutex_);
    RecordDatabase* db = Current();
    if (!db) return Fail(kDbNoCurrentDatabase);
    std::int64_t count = n == 0 ? 0 : RecordCount();
    if (n < 0 || n > count) return Fail(kDbNoCurrentRecord);
    db->current = n;
    SetLastDbError(kDbOk);
    return true;
}

bool RecordEngine::FindRecord(const std::function<bool()>& condition) {
    std::lock_guard lock(mutex_);
    RecordDatabase* db = Current();
    if (!db) return Fail(kDbNoCurrentDatabase);
    std::int32_t count = 0, nextId = 0;
    {
        ByteLock countLock(*db->data, kCountOffset);
        if (countLock.rc()) return Fail(kDbLockFile);
        if (int rc = ReadCountAndId(*db, count, nextId)) return Fail(rc);
    }
    Bytes record(static_cast<std::size_t>(db->recordLength));
    for (std::int64_t r = db->current < 0 ? 0 : db->current; r < count; ++r) {
        bool holds = false;
        {
            ByteLock recordLock(*db->data, db->RecordOffset(r));
            if (recordLock.rc()) return Fail(kDbLockFile);
            if (db->data->Read(db->RecordOffset(r), record.data(), record.size()))
                return Fail(kDbRecordRead);
            db->recordUnderTest = record.data();
            holds = condition && condition();
            db->recordUnderTest = nullptr;
        }
        if (holds) {
            db->current = r;
            SetLastDbError(kDbOk);
            return true;
        }
    }
    SetLastDbError(kDbOk);
    return false;
}

DbValue RecordEngine::ReadField(int number) {
    std::lock_guard lock(mutex_);
    RecordDatabase* db = Current();
    if (!db) FatalError(std::nullopt, "未指定当前数据库或者指定数据库未打开"_t);
    // Which fields there are is up to the file: a missing one is an error, not a stop.
    if (number < 1 || number > static_cast<int>(db->fields.size()))
        return Fail(kDbFieldNotFound), DbValue(Text());
    const DbField& f = db->fields[static_cast<std::size_t>(number - 1)];
    if (db->recordUnderTest)
        return DecodeFieldValue(f.type, f.size, db->recordUnderTest + f.offset);
    Bytes value(static_cast<std::size_t>(f.size), 0);
    DbValue empty = DecodeFieldValue(f.type, f.size, value.data());
    std::int32_t count = 0, nextId = 0;
    if (ReadCountAndId(*db, count, nextId)) return Fail(kDbFieldRead), empty;
    if (db->current < 0 || db->current >= count) return Fail(kDbNoCurrentRecord), empty;
    ByteLock recordLock(*db->data, db->RecordOffset(db->current));
    if (recordLock.rc()) return Fail(kDbLockFile), empty;
    if (db->data->Read(db->RecordOffset(db->current) + static_cast<std::uint64_t>(f.offset),
                       value.data(), value.size()))
        return Fail(kDbFieldRead), empty;
    SetLastDbError(kDbOk);
    return DecodeFieldValue(f.type, f.size, value.data());
}

DbValue RecordEngine::ReadField(const Text& name) {
    std::lock_guard lock(mutex_);
    RecordDatabase* db = Current();
    if (!db) FatalError(std::nullopt, "未指定当前数据库或者指定数据库未打开"_t);
    int index = db->FieldIndex(name);
    if (index < 0) return Fail(kDbFieldNotFound), DbValue(Text());
    return ReadField(index + 1);
}

int RecordEngine::InsertKeys(RecordDatabase& db, const std::uint8_t* record, std::int32_t number) {
    int result = kDbOk;
    Bytes key;
    for (auto& ix : db.indexes) {
        const KeyLayout& layout = ix.file->Layout();
        key.resize(static_cast<std::size_t>(layout.length));
        layout.FromRecord(record, key.data());
        if (ix.file->Insert(key.data(), number)) result = kDbIndexUpdate;
    }
    return result;
}

bool RecordEngine::AddRecord(const std::vector<DbValue>& values) {
    std::lock_guard lock(mutex_);
    RecordDatabase* db = Current();
    if (!db) return Fail(kDbNoCurrentDatabase);
    if (values.size() > db->fields.size()) return Fail(kDbValueType);
    Bytes record(static_cast<std::size_t>(db->recordLength), 0);
    for (std::size_t i = 0; i < values.size(); ++i) {
        const DbField& f = db->fields[i];
        if (!EncodeFieldValue(values[i], f.type, f.size, record.data() + f.offset))
            return Fail(kDbValueType);
    }
    ByteLock countLock(*db->data, kCountOffset);
    if (countLock.rc()) return Fail(kDbLockFile);
    std::int32_t count = 0, nextId = 0;
    if (int rc = ReadCountAndId(*db, count, nextId)) return Fail(rc);
    if (count >= 0x7FFFFFFE || nextId >= 0x7FFFFFFE) return Fail(kDbDiskFull);
    for (auto& ix : db->indexes) ix.file->ValidateCache(StateOf(count, nextId));
    le::Put32(record.data(), static_cast<std::uint32_t>(nextId));

    // The record's bytes first, then the count that makes it part of the database, then the
    // index entries: a crash at any point leaves a data file whose counted records are whole,
    // and an index that names no record that is not there.
    ByteLock recordLock(*db->data, db->RecordOffset(count));
    if (recordLock.rc()) return Fail(kDbLockFile);
    if (int rc = db->data->Write(db->RecordOffset(count), record.data(), record.size()))
        return Fail(rc);
    std::uint8_t b[8];
    le::Put32(b, static_cast<std::uint32_t>(count + 1));
    le::Put32(b + 4, static_cast<std::uint32_t>(nextId + 1));
    if (int rc = db->data->Write(kCountOffset, b, 8)) return Fail(rc);
    db->current = count;
    for (auto& ix : db->indexes) ix.file->AdvanceCache(StateOf(count + 1, nextId + 1));
    if (int rc = InsertKeys(*db, record.data(), count)) return Fail(rc);
    for (auto& ix : db->indexes) ix.file->Confirm(count);
    SetLastDbError(kDbOk);
    return true;
}

}  // namespace ovx
