#include "runtime/recorddb/RecordEngine.h"

#include <cstring>

#include "runtime/recorddb/DataFileLayout.h"
#include "runtime/recorddb/DbError.h"
#include "runtime/recorddb/LittleEndian.h"
#include "runtime/recorddb/RecordDatabase.h"

namespace ovx {

namespace {

// Position of the last '/' (npos when none).
std::size_t LastSlash(const Text& name) {
    return name.view().rfind('/');
}

Text WithDefaultExtension(const Text& name, const char* ext) {
    std::size_t slash = LastSlash(name);
    std::size_t dot = name.view().rfind('.');
    bool hasDot = dot != std::string_view::npos && (slash == std::string_view::npos || dot > slash);
    if (!hasDot) return name + Text(".") + Text(ext);
    if (dot + 1 == name.size()) return name + Text(ext);
    return name;
}

Text WithExtension(const Text& name, const char* ext) {
    std::size_t slash = LastSlash(name);
    std::size_t dot = name.view().rfind('.');
    if (dot != std::string_view::npos && (slash == std::string_view::npos || dot > slash))
        return Text(name.view().substr(0, dot)) + Text(".") + Text(ext);
    return name + Text(".") + Text(ext);
}

Text FileNameOf(const Text& path) {
    std::size_t slash = LastSlash(path);
    return slash == std::string_view::npos ? path : Text(path.view().substr(slash + 1));
}

bool NeedsAuxFile(const std::vector<DbField>& fields) {
    for (const auto& f : fields) {
        if (f.type == kFieldBinary || f.type == kFieldLongText) return true;
    }
    return false;
}

int Fail(int code) {
    SetLastDbError(code);
    return code;
}

}  // namespace

RecordEngine::RecordEngine(DbFileSystem& fs) : fs_(fs) {}
RecordEngine::~RecordEngine() = default;

RecordEngine& ProcessRecordEngine() {
    static RecordEngine engine;
    return engine;
}

Text RecordEngine::DataFileName(const Text& name) {
    return WithDefaultExtension(name, "ZDB");
}

Text RecordEngine::IndexFileName(const Text& name, const Text& dataFile) {
    Text withExt = WithDefaultExtension(name, "ZDX");
    if (LastSlash(withExt) != std::string_view::npos) return withExt;
    std::size_t slash = LastSlash(dataFile);
    if (slash == std::string_view::npos) return withExt;
    return Text(dataFile.view().substr(0, slash + 1)) + withExt;
}

RecordDatabase* RecordEngine::Current() {
    if (current_ < 0 || current_ >= static_cast<int>(open_.size())) return nullptr;
    return open_[static_cast<std::size_t>(current_)].get();
}

bool RecordEngine::CreateDatabase(const Text& file, const std::vector<DbFieldSpec>& fields) {
    std::lock_guard lock(mutex_);
    if (file.empty()) return Fail(kDbFileNotFound), false;
    std::vector<DbFieldSpec> specs;
    for (const auto& f : fields) {
        if (f.name.empty()) break;
        specs.push_back(f);
    }
    if (specs.empty()) return Fail(kDbNoFields), false;
    for (std::size_t i = 0; i < specs.size(); ++i) {
        const auto& f = specs[i];
        if (!IsValidDbName(f.name)) return Fail(kDbBadFieldName), false;
        if (f.type < kFieldByte || f.type > kFieldLongText) return Fail(kDbBadFieldType), false;
        if (f.type == kFieldText && (f.width < 1 || f.width > kMaxTextWidth))
            return Fail(kDbBadFieldSize), false;
        for (std::size_t j = 0; j < i; ++j) {
            if (SameDbName(specs[j].name, f.name)) return Fail(kDbDuplicateField), false;
        }
    }
    std::vector<DbField> laidOut = LayOutFields(specs);
    Text path = DataFileName(file);
    std::unique_ptr<DbFile> out;
    if (int rc = fs_.Open(path, DbOpenMode::kCreate, kShareExclusive, out)) return Fail(rc), false;
    Bytes start = EncodeDataFileStart(laidOut, CurrentDbTime());
    if (int rc = out->Write(0, start.data(), start.size())) return Fail(rc), false;
    if (NeedsAuxFile(laidOut)) {
        std::unique_ptr<DbFile> aux;
        Bytes auxStart(512, 0);
        std::memcpy(auxStart.data(), "ZQDT", 4);
        if (fs_.Open(WithExtension(path, "ZDT"), DbOpenMode::kCreate, kShareExclusive, aux) ||
            aux->Write(0, auxStart.data(), auxStart.size()))
            return Fail(kDbAuxCreate), false;
    }
    SetLastDbError(kDbOk);
    return true;
}

bool RecordEngine::OpenDatabase(const Text& file, const DbOpenOptions& options) {
    std::lock_guard lock(mutex_);
    if (file.empty()) return Fail(kDbFileNotFound), false;
    if (options.alias && !IsValidDbName(*options.alias)) return Fail(kDbBadAlias), false;
    Text full = fs_.FullPath(DataFileName(file));
    for (const auto& db : open_) {
        if (db->fullPath == full) return Fail(kDbAlreadyOpen), false;
    }
    auto db = std::make_unique<RecordDatabase>();
    db->fullPath = full;
    db->fileName = FileNameOf(full);
    db->alias = options.alias;
    db->readOnly = options.readOnly;
    int share = options.share < 1 || options.share > 4 ? kShareDenyNone : options.share;
    DbOpenMode mode = options.readOnly ? DbOpenMode::kReadOnly : DbOpenMode::kReadWrite;
    if (int rc = fs_.Open(full, mode, share, db->data)) return Fail(rc), false;
    DbFile& f = *db->data;
    bool locked = share != kShareExclusive;
    if (locked && f.Lock(0, kWholeFileLockLength)) return Fail(kDbLockFile), false;
    auto unlockAndFail = [&](int code) {
        if (locked) f.Unlock(0, kWholeFileLockLength);
        return Fail(code), false;
    };

    DataFileStart start;
    if (int rc = ReadDataFileStart(f, start)) return unlockAndFail(rc);
    db->fields = std::move(start.fields);
    db->recordLength = start.header.recordLength;
    db->dataStart = start.dataStart;

    // Only whole records count. A record cut short by a crash, or one whole record written
    // by an append that died before it could count it, is dropped. More records beyond the
    // count mean the count is damaged: cutting to it would destroy them, so the file is not
    // opened for writing and stays as it is.
    std::int32_t count = start.header.count;
    if (start.wholeRecords < static_cast<std::uint64_t>(count)) {
        if (options.readOnly) return unlockAndFail(kDbDataSize);
        count = static_cast<std::int32_t>(start.wholeRecords);
        std::uint8_t b[4];
        le::Put32(b, static_cast<std::uint32_t>(count));
        if (int rc = f.Write(kCountOffset, b, 4)) return unlockAndFail(rc);
    } else if (start.CountDamaged() && !options.readOnly) {
        return unlockAndFail(kDbDataSize);
    }
    if (!options.readOnly && start.size != db->RecordOffset(count)) {
        if (int rc = f.Truncate(db->RecordOffset(count))) return unlockAndFail(rc);
    }

    if (NeedsAuxFile(db->fields)) {
        if (int rc = fs_.Open(WithExtension(full, "ZDT"), mode, share, db->aux))
            return unlockAndFail(rc);
    }
    if (options.indexFiles.size() > static_cast<std::size_t>(kMaxOpenIndexes))
        return unlockAndFail(kDbTooManyIndexes);
    for (const auto& name : options.indexFiles) {
        if (int rc = OpenIndexFile(*db, name, options.readOnly)) return unlockAndFail(rc);
    }
    if (locked) f.Unlock(0, kWholeFileLockLength);
    db->current = 0;
    open_.push_back(std::move(db));
    current_ = static_cast<int>(open_.size()) - 1;
    SetLastDbError(kDbOk);
    return true;
}

bool RecordEngine::InspectDatabase(const Text& file, DataFileStart& start) {
    std::lock_guard lock(mutex_);
    if (file.empty()) return Fail(kDbFileNotFound), false;
    std::unique_ptr<DbFile> f;
    if (int rc = fs_.Open(DataFileName(file), DbOpenMode::kReadOnly, kShareDenyNone, f))
        return Fail(rc), false;
    if (f->Lock(0, kWholeFileLockLength)) return Fail(kDbLockFile), false;
    int rc = ReadDataFileStart(*f, start);
    f->Unlock(0, kWholeFileLockLength);
    if (rc) return Fail(rc), false;
    SetLastDbError(kDbOk);
    return true;
}

int RecordEngine::OpenIndexFile(RecordDatabase& db, const Text& name, bool readOnly) {
    if (name.empty()) return kDbIndexOpen;
    Text full = fs_.FullPath(IndexFileName(name, db.fullPath));
    for (const auto& ix : db.indexes) {
        if (ix.path == full) return kDbIndexAlreadyOpen;
    }
    std::unique_ptr<DbFile> file;
    DbOpenMode mode = readOnly ? DbOpenMode::kReadOnly : DbOpenMode::kReadWrite;
    if (int rc = fs_.Open(full, mode, kShareDenyNone, file))
        return rc == kDbSymbolicLink ? rc : kDbIndexOpen;
    std::uint8_t b[kIndexHeaderSize];
    IndexHeader h;
    if (file->Read(0, b, sizeof b) || IndexHeader::Parse(b, sizeof b, h)) return kDbNotIndex;
    if (h.version != kDbVersion) return kDbIndexVersion;
    std::uint64_t size = 0;
    if (file->Size(size) ||
        size < static_cast<std::uint64_t>(h.blockCount) * static_cast<std::uint64_t>(h.blockSize))
        return kDbIndexSize;
    std::vector<int> keyFields;
    int length = 0;
    for (int i = 0; i < h.keyFieldCount; ++i) {
        int fi = db.FieldIndex(h.names[static_cast<std::size_t>(i)]);
        if (fi < 0) return kDbKeyFieldMissing;
        const DbField& f = db.fields[static_cast<std::size_t>(fi)];
        std::int32_t t = h.types[static_cast<std::size_t>(i)];
        if (t < 0) {
            if (f.type != kFieldText) return kDbKeyTypeDiffers;
            if (t != -f.size) return kDbKeySizeDiffers;  // -t overflows for INT32_MIN
        } else if (t != f.type) {
            return kDbKeyTypeDiffers;
        }
        keyFields.push_back(fi);
        length += f.size;
    }
    if (length != h.keyLength) return kDbNotIndex;
    KeyLayout layout = db.LayoutFor(keyFields);
    layout.collation = h.collation;
    layout.options = h.options;
    OpenIndex ix;
    ix.path = full;
    for (int fi : keyFields) ix.keyFields.push_back(db.fields[static_cast<std::size_t>(fi)].name);
    ix.file = std::make_unique<IndexFile>(std::move(file), std::move(layout));
    db.indexes.push_back(std::move(ix));
    db.currentIndex = static_cast<int>(db.indexes.size()) - 1;
    return kDbOk;
}

bool RecordEngine::CloseDatabase(const OptText& name) {
    std::lock_guard lock(mutex_);
    int which = -1;
    if (!name) {
        which = current_;
    } else {
        for (int pass = 0; pass < 3 && which < 0; ++pass) {
            for (std::size_t i = 0; i < open_.size(); ++i) {
                const RecordDatabase& db = *open_[i];
                bool match = pass == 0   ? db.alias && SameDbName(*db.alias, *name)
                             : pass == 1 ? SameDbName(db.fileName, *name)
                                         : SameDbName(db.fullPath, fs_.FullPath(*name)) ||
                                               SameDbName(db.fullPath, *name);
                if (match) {
                    which = static_cast<int>(i);
                    break;
                }
            }
        }
    }
    if (which < 0 || which >= static_cast<int>(open_.size()))
        return Fail(name ? kDbFileNotFound : kDbNoCurrentDatabase), false;
    open_.erase(open_.begin() + which);
    if (which == current_)
        current_ = -1;
    else if (which < current_)
        --current_;
    SetLastDbError(kDbOk);
    return true;
}

Text RecordEngine::CurrentDatabasePath() {
    std::lock_guard lock(mutex_);
    RecordDatabase* db = Current();
    return db ? db->fullPath : Text();
}

bool RecordEngine::HasCurrentIndex() {
    std::lock_guard lock(mutex_);
    RecordDatabase* db = Current();
    return db && db->currentIndex >= 0;
}

}  // namespace ovx
