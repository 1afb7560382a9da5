// Index files: creating (rebuilding) them and seeking keys.

#include <algorithm>
#include <cstring>
#include <functional>

#include "runtime/recorddb/ByteLock.h"
#include "runtime/recorddb/DataFileLayout.h"
#include "runtime/recorddb/DbError.h"
#include "runtime/recorddb/MemoryDbFile.h"
#include "runtime/recorddb/RecordDatabase.h"
#include "runtime/recorddb/RecordEngine.h"

namespace ovx {

namespace {

bool Fail(int code) {
    SetLastDbError(code);
    return false;
}

// Records are read in chunks of at most this many records and this many bytes, so a file
// with very long records costs no more memory than one with short ones.
constexpr std::int64_t kRecordsPerRead = 4096;
constexpr std::int64_t kBytesPerRead = std::int64_t{1} << 20;

}  // namespace

bool RecordEngine::CreateIndex(const Text& file, const std::vector<Text>& keyFields,
                               const DbIndexOptions& options) {
    std::lock_guard lock(mutex_);
    RecordDatabase* db = Current();
    if (!db) return Fail(kDbNoCurrentDatabase);
    if (db->indexes.size() >= static_cast<std::size_t>(kMaxOpenIndexes))
        return Fail(kDbTooManyIndexes);
    if (file.empty()) return Fail(kDbFileNotFound);
    if (keyFields.size() > static_cast<std::size_t>(kMaxKeyFields))
        return Fail(kDbTooManyKeyFields);
    if (keyFields.empty()) return Fail(kDbNoFields);
    std::vector<int> indexes;
    int length = 0;
    for (std::size_t i = 0; i < keyFields.size(); ++i) {
        if (keyFields[i].empty()) return Fail(kDbBadFieldName);
        int fi = db->FieldIndex(keyFields[i]);
        if (fi < 0) return Fail(kDbFieldNotFound);
        const DbField& f = db->fields[static_cast<std::size_t>(fi)];
        if (f.type == kFieldBinary || f.type == kFieldLongText) return Fail(kDbKeyFieldBlob);
        if (std::find(indexes.begin(), indexes.end(), fi) != indexes.end())
            return Fail(kDbDuplicateField);
        indexes.push_back(fi);
        length += f.size;
    }
    if (length > kMaxKeyLength) return Fail(kDbKeyTooLong);
    Text path = fs_.FullPath(IndexFileName(file, db->fullPath));
    // Creating an index that is open rebuilds it: the old opening goes first.
    for (std::size_t i = 0; i < db->indexes.size(); ++i) {
        if (db->indexes[i].path != path) continue;
        db->indexes.erase(db->indexes.begin() + static_cast<std::ptrdiff_t>(i));
        db->currentIndex = db->indexes.empty() ? -1 : static_cast<int>(db->indexes.size()) - 1;
        break;
    }
    if (int rc = BuildIndex(*db, path, indexes, options)) return Fail(rc);
    SetLastDbError(kDbOk);
    return true;
}

int RecordEngine::BuildIndex(RecordDatabase& db, const Text& path,
                             const std::vector<int>& keyFields, const DbIndexOptions& options) {
    IndexHeader h;
    h.version = kDbVersion;
    h.created = CurrentDbTime();
    int collation = options.collation.value_or(0);
    h.collation = collation == 2 ? 1 : (collation == 3 ? 2 : 0);
    h.options = options.keyOptions.value_or(0) & 3;
    h.blockSize = kMinBlockSize * std::clamp(options.blockFactor.value_or(1), 1, kMaxBlockFactor);
    h.keyFieldCount = static_cast<std::int32_t>(keyFields.size());
    for (std::size_t i = 0; i < keyFields.size(); ++i) {
        const DbField& f = db.fields[static_cast<std::size_t>(keyFields[i])];
        h.names[i] = f.name;
        h.types[i] = f.type == kFieldText ? -f.size : f.type;
        h.keyLength += f.size;
    }
    KeyLayout layout = db.LayoutFor(keyFields);
    layout.collation = h.collation;
    layout.options = h.options;

    // The tree is built in memory and written in one go.
    auto image = std::make_shared<MemoryFileData>();
    auto builderFile = std::make_unique<MemoryDbFile>(image, true);
    if (IndexFile::WriteEmpty(*builderFile, h)) return kDbIndexCreate;
    IndexFile builder(std::move(builderFile), layout);

    // Other processes' appends wait until the new index is in place.
    ByteLock countLock(*db.data, kCountOffset);
    if (countLock.rc()) return kDbLockFile;
    std::int32_t count = 0, nextId = 0;
    if (int rc = ReadCountAndId(db, count, nextId)) return rc;
    Bytes chunk;
    Bytes key(static_cast<std::size_t>(layout.length));
    const std::int64_t perRead =
        std::clamp<std::int64_t>(kBytesPerRead / db.recordLength, 1, kRecordsPerRead);
    for (std::int64_t first = 0; first < count; first += perRead) {
        std::int64_t n = std::min<std::int64_t>(perRead, count - first);
        chunk.resize(static_cast<std::size_t>(n * db.recordLength));
        if (db.data->Read(db.RecordOffset(first), chunk.data(), chunk.size()))
            return kDbIndexCreate;
        for (std::int64_t i = 0; i < n; ++i) {
            layout.FromRecord(chunk.data() + i * db.recordLength, key.data());
            if (builder.Insert(key.data(), static_cast<std::int32_t>(first + i)))
                return kDbIndexCreate;
        }
    }
    std::unique_ptr<DbFile> out;
    // A link at the index's name is said as such: the store refuses to work beside it.
    if (int rc = fs_.Open(path, DbOpenMode::kCreate, kShareExclusive, out))
        return rc == kDbSymbolicLink ? rc : kDbIndexCreate;
    if (out->Write(0, image->bytes.data(), image->bytes.size())) return kDbIndexCreate;
    out.reset();
    std::unique_ptr<DbFile> file;
    DbOpenMode mode = db.readOnly ? DbOpenMode::kReadOnly : DbOpenMode::kReadWrite;
    if (int rc = fs_.Open(path, mode, kShareDenyNone, file))
        return rc == kDbSymbolicLink ? rc : kDbIndexCreate;
    OpenIndex ix;
    ix.path = path;
    for (int fi : keyFields) ix.keyFields.push_back(db.fields[static_cast<std::size_t>(fi)].name);
    ix.file = std::make_unique<IndexFile>(std::move(file), std::move(layout));
    // Still under the lock: the file holds exactly what was just built from the records.
    ix.file->ValidateCache(StateOf(count, nextId));
    ix.file->ConfirmAllBelow(count);
    db.indexes.push_back(std::move(ix));
    db.currentIndex = static_cast<int>(db.indexes.size()) - 1;
    return kDbOk;
}

bool RecordEngine::SeekIndex(const std::vector<DbValue>& values) {
    std::lock_guard lock(mutex_);
    RecordDatabase* db = Current();
    if (!db) return Fail(kDbNoCurrentDatabase);
    if (db->currentIndex < 0) return Fail(kDbNoCurrentIndex);
    IndexFile& index = *db->indexes[static_cast<std::size_t>(db->currentIndex)].file;
    const KeyLayout& layout = index.Layout();
    if (values.size() != layout.parts.size()) return Fail(kDbKeyCount);
    std::uint8_t key[kMaxKeyLength];
    if (layout.length < 1 || layout.length > kMaxKeyLength) return Fail(kDbIndexUpdate);
    std::uint8_t* at = key;
    for (std::size_t i = 0; i < values.size(); ++i) {
        const KeyPart& part = layout.parts[i];
        if (!EncodeFieldValue(values[i], part.type, part.size, at)) return Fail(kDbValueType);
        at += part.size;
    }
    layout.Normalise(key);

    ByteLock countLock(*db->data, kCountOffset);
    if (countLock.rc()) return Fail(kDbLockFile);
    std::int32_t count = 0, nextId = 0;
    if (int rc = ReadCountAndId(*db, count, nextId)) return Fail(rc);
    index.ValidateCache(StateOf(count, nextId));
    std::int64_t start = db->current < 0 ? 0 : db->current;
    std::int32_t hit = -1;
    Bytes record;  // sized when a record has to be read
    std::uint8_t recordKey[kMaxKeyLength];
    // An entry counts only when its record is there and still holds the key: an index left
    // behind by an interrupted update can name records that were never counted.
    auto accept = [&](std::int32_t r) {
        if (r < start || r >= count) return false;
        if (!index.Confirmed(r)) {
            record.resize(static_cast<std::size_t>(db->recordLength));
            if (db->data->Read(db->RecordOffset(r), record.data(), record.size())) return false;
            layout.FromRecord(record.data(), recordKey);
            if (layout.Compare(recordKey, key) != 0) return false;
            index.Confirm(r);
        }
        hit = r;
        return true;
    };
    bool found = false;
    // Passed by reference: the function object then needs no allocation of its own.
    if (index.FindEqual(key, std::ref(accept), found)) return Fail(kDbIndexUpdate);
    if (found) db->current = hit;
    SetLastDbError(kDbOk);
    return found;
}

}  // namespace ovx
