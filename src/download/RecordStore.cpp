#include "download/RecordStore.h"

#include <string>

#include "runtime/CodePage.h"
#include "runtime/recorddb/DbError.h"

namespace ovx {

namespace {

const Text& PhotoIdField() {
    static const Text name("photo_id");
    return name;
}

Text FolderOf(const Text& path) {
    std::size_t slash = path.view().rfind('/');
    return slash == std::string_view::npos ? Text() : Text(path.view().substr(0, slash));
}

Text Joined(const Text& folder, const Text& name) {
    if (folder.empty() || folder.view().back() == '/') return folder + name;
    return folder + Text("/") + name;
}

// The id as the 20-byte field holds it.
Text Stored(const Text& photoId) {
    return Text(photoId.view().substr(0, RecordStore::kPhotoIdWidth));
}

// One text field "photo_id" of 20 bytes right after the record id: the only layout whose
// records the store can read and write.
bool HasPhotoIdLayout(const DataFileStart& start) {
    if (start.fields.size() != 1) return false;
    const DbField& f = start.fields[0];
    return f.name == PhotoIdField() && f.type == kFieldText &&
           f.size == RecordStore::kPhotoIdWidth && f.offset == 4 &&
           start.header.recordLength == 4 + RecordStore::kPhotoIdWidth;
}

std::string DescribeFields(const std::vector<DbField>& fields) {
    std::string text;
    constexpr std::size_t kShown = 4;
    for (std::size_t i = 0; i < fields.size() && i < kShown; ++i) {
        const DbField& f = fields[i];
        if (!text.empty()) text += ", ";
        text += "\"" + LocalToUtf8(f.name) + "\" type " + std::to_string(f.type) + " width " +
                std::to_string(f.size);
    }
    if (fields.size() > kShown) text += ", ...";
    return std::to_string(fields.size()) + (fields.size() == 1 ? " field (" : " fields (") + text +
           ")";
}

}  // namespace

std::vector<DbFieldSpec> RecordStore::Fields() {
    return {{PhotoIdField(), kFieldText, kPhotoIdWidth}};
}

Text RecordStore::DataFilePath(const Text& recordFolder, const Text& userId) {
    return Joined(recordFolder, userId + Text(".zdb"));
}

Text RecordStore::IndexBasePath(const Text& recordFolder, const Text& userId) {
    return Joined(recordFolder, userId);
}

std::unique_ptr<RecordStore> RecordStore::ForUser(const Text& recordFolder, const Text& userId,
                                                  Log log, RecordEngine& engine) {
    return std::make_unique<RecordStore>(DataFilePath(recordFolder, userId),
                                         IndexBasePath(recordFolder, userId), std::move(log),
                                         engine);
}

std::unique_ptr<RecordStore> RecordStore::ForDataFile(const Text& dataFile, Log log,
                                                      RecordEngine& engine) {
    Text data = RecordEngine::DataFileName(dataFile);
    std::size_t slash = data.view().rfind('/');
    std::size_t dot = data.view().rfind('.');
    Text base = dot != std::string_view::npos && (slash == std::string_view::npos || dot > slash)
                    ? Text(data.view().substr(0, dot))
                    : data;
    return std::make_unique<RecordStore>(data, base, std::move(log), engine);
}

RecordStore::RecordStore(Text dataFile, Text indexBase, Log log, RecordEngine& engine)
    : dataFile_(std::move(dataFile)),
      indexBase_(std::move(indexBase)),
      log_(std::move(log)),
      engine_(engine) {}

RecordStore::~RecordStore() {
    Close();
}

Text RecordStore::IndexFile() const {
    return RecordEngine::IndexFileName(indexBase_, dataFile_);
}

bool RecordStore::Prepare() {
    std::lock_guard lock(mutex_);
    if (engine_.FileSystem().Exists(dataFile_)) return true;
    return engine_.CreateDatabase(dataFile_, Fields());
}

bool RecordStore::OpenForAlbum() {
    std::lock_guard lock(mutex_);
    if (!openPath_.empty()) {  // an album that was stopped left it open
        engine_.CloseDatabase(openPath_);
        openPath_ = Text();
    }
    DbFileSystem& fs = engine_.FileSystem();
    if (!fs.Exists(dataFile_)) {
        Text folder = FolderOf(dataFile_);
        if (!folder.empty()) fs.EnsureFolder(folder);
        bool created = engine_.CreateDatabase(dataFile_, Fields());
        if (log_)
            log_(created ? "防止重复下载数据库创建成功\r\n"_t : "防止重复下载数据库创建失败\r\n"_t);
    }
    FileCheck check = CheckFileLocked();
    if (check.verdict == FileVerdict::kForeign || check.verdict == FileVerdict::kDamagedCount) {
        if (log_) {
            log_((check.verdict == FileVerdict::kForeign
                      ? "防止重复下载数据库格式不符，本相册不做下载记录："_t
                      : "防止重复下载数据库记录数已损坏，本相册不做下载记录："_t) +
                 dataFile_ + Text("\r\n"));
        }
        return false;
    }
    if (!engine_.OpenDatabase(dataFile_)) return false;
    openPath_ = engine_.CurrentDatabasePath();
    scanOnMiss_ = false;
    if (engine_.CreateIndex(indexBase_, {PhotoIdField()})) return true;
    // Another process has the index open (an album of its own, or the records tool): use
    // that index as it is, so the adds of both processes go into it. Without any index the
    // lookups scan the records instead.
    if (fs.Exists(IndexFile())) {
        engine_.CloseDatabase(openPath_);
        openPath_ = Text();
        DbOpenOptions options;
        options.indexFiles = {indexBase_};
        if (!engine_.OpenDatabase(dataFile_, options) && !engine_.OpenDatabase(dataFile_))
            return false;
        openPath_ = engine_.CurrentDatabasePath();
    }
    return true;
}

bool RecordStore::OpenForReading() {
    std::lock_guard lock(mutex_);
    if (!openPath_.empty()) {
        engine_.CloseDatabase(openPath_);
        openPath_ = Text();
    }
    FileCheck check = CheckFileLocked();
    if (check.verdict == FileVerdict::kForeign || check.verdict == FileVerdict::kDamagedCount)
        return false;
    DbOpenOptions options;
    options.readOnly = true;
    bool opened = false;
    if (engine_.FileSystem().Exists(IndexFile())) {
        options.indexFiles = {indexBase_};
        opened = engine_.OpenDatabase(dataFile_, options);
        options.indexFiles.clear();
    }
    if (!opened && !engine_.OpenDatabase(dataFile_, options)) return false;
    openPath_ = engine_.CurrentDatabasePath();
    scanOnMiss_ = true;
    return true;
}

RecordStore::FileCheck RecordStore::CheckFile() {
    std::lock_guard lock(mutex_);
    return CheckFileLocked();
}

RecordStore::FileCheck RecordStore::CheckFileLocked() {
    FileCheck check;
    if (!engine_.FileSystem().Exists(dataFile_)) {
        check.verdict = FileVerdict::kAbsent;
        check.detail = "no such file";
        return check;
    }
    DataFileStart start;
    if (!engine_.InspectDatabase(dataFile_, start)) {
        int error = LastDbError();
        bool content = error == kDbNotDatabase || error == kDbVersionTooNew;
        check.verdict = content ? FileVerdict::kForeign : FileVerdict::kUnreadable;
        check.detail = content ? "not a record database: " + LocalToUtf8(DbErrorMessage(error))
                               : LocalToUtf8(DbErrorMessage(error));
        return check;
    }
    if (!HasPhotoIdLayout(start)) {
        check.verdict = FileVerdict::kForeign;
        check.detail = "not a download record database: " + DescribeFields(start.fields) +
                       " where one 20-byte text field \"photo_id\" belongs";
    } else if (start.CountDamaged()) {
        check.verdict = FileVerdict::kDamagedCount;
        check.detail = "header count " + std::to_string(start.header.count) +
                       " but the file holds " + std::to_string(start.wholeRecords) + " records";
    }
    return check;
}

bool RecordStore::IsCurrent() {
    return !openPath_.empty() && engine_.CurrentDatabasePath() == openPath_;
}

bool RecordStore::ContainsLocked(const Text& photoId) {
    if (photoId.empty() || !IsCurrent()) return false;
    // Every search starts at the first record: the engine's searches only look from the
    // current record on, which after an add is the last one.
    if (!engine_.GoToRecord(0)) return false;
    if (engine_.HasCurrentIndex()) {
        if (engine_.SeekIndex({photoId})) return true;
        if (!scanOnMiss_ || !engine_.GoToRecord(0)) return false;
    }
    Text stored = Stored(photoId);
    return engine_.FindRecord([&] {
        const DbValue value = engine_.ReadField(PhotoIdField());
        const Text* t = std::get_if<Text>(&value);
        return t && *t == stored;
    });
}

bool RecordStore::Contains(const Text& photoId) {
    std::lock_guard lock(mutex_);
    return ContainsLocked(photoId);
}

bool RecordStore::Record(const Text& photoId) {
    std::lock_guard lock(mutex_);
    if (photoId.empty() || !IsCurrent()) return false;
    if (ContainsLocked(photoId)) return true;
    return engine_.AddRecord({photoId});
}

std::vector<Text> RecordStore::AllIds() {
    std::lock_guard lock(mutex_);
    std::vector<Text> ids;
    if (!IsCurrent()) return ids;
    std::int64_t count = engine_.RecordCount();
    for (std::int64_t r = 0; r < count; ++r) {
        if (!engine_.GoToRecord(r)) break;
        DbValue value = engine_.ReadField(PhotoIdField());
        if (LastDbError() != kDbOk) break;  // the file changed under us
        if (const Text* t = std::get_if<Text>(&value)) ids.push_back(*t);
    }
    return ids;
}

void RecordStore::Close() {
    std::lock_guard lock(mutex_);
    if (openPath_.empty()) return;
    engine_.CloseDatabase(openPath_);
    openPath_ = Text();
}

bool RecordStore::IsOpen() {
    std::lock_guard lock(mutex_);
    return IsCurrent();
}

}  // namespace ovx
