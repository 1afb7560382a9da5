#include "download/RecordStore.h"

#include <string>

#include "runtime/CodePage.h"
#include "runtime/Digest.h"
#include "runtime/TextOps.h"
#include "runtime/recorddb/DbError.h"

namespace ovx {

namespace {

Text FolderOf(const Text& path) {
    std::size_t slash = path.view().rfind('/');
    return slash == std::string_view::npos ? Text() : Text(path.view().substr(0, slash));
}

Text Joined(const Text& folder, const Text& name) {
    if (folder.empty() || folder.view().back() == '/') return folder + name;
    return folder + Text("/") + name;
}

bool EndsWith(const Text& text, const Text& end) {
    return text.size() >= end.size() && text.view().substr(text.size() - end.size()) == end.view();
}

// One text field of the layout's name and width right after the record id: the only layout
// whose records a store of that layout reads and writes.
bool HasLayoutOf(const RecordLayout& layout, const DataFileStart& start) {
    if (start.fields.size() != 1) return false;
    const DbField& f = start.fields[0];
    return f.name == layout.field && f.type == kFieldText && f.size == layout.width &&
           f.offset == 4 && start.header.recordLength == 4 + layout.width;
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

bool RecordStore::IsValidUserId(const Text& userId) {
    return IsAsciiDigits(userId.view(), kMaxUserIdLength);
}

std::vector<DbFieldSpec> RecordStore::Fields(const RecordLayout& layout) {
    return {{layout.field, kFieldText, layout.width}};
}

Text RecordStore::DataFilePath(const Text& recordFolder, const Text& userId,
                               const RecordLayout& layout) {
    Text base = IndexBasePath(recordFolder, userId, layout);
    return base.empty() ? Text() : base + Text(".zdb");
}

Text RecordStore::IndexBasePath(const Text& recordFolder, const Text& userId,
                                const RecordLayout& layout) {
    if (!IsValidUserId(userId)) return Text();
    return Joined(recordFolder, userId + layout.stem);
}

std::unique_ptr<RecordStore> RecordStore::ForUser(const Text& recordFolder, const Text& userId,
                                                  const RecordLayout& layout, Log log,
                                                  RecordEngine& engine) {
    return std::make_unique<RecordStore>(layout, DataFilePath(recordFolder, userId, layout),
                                         IndexBasePath(recordFolder, userId, layout),
                                         std::move(log), engine);
}

std::unique_ptr<RecordStore> RecordStore::ForDataFile(
    const Text& dataFile, const std::vector<const RecordLayout*>& layouts, Log log,
    RecordEngine& engine) {
    Text data = RecordEngine::DataFileName(dataFile);
    std::size_t slash = data.view().rfind('/');
    std::size_t dot = data.view().rfind('.');
    Text base = dot != std::string_view::npos && (slash == std::string_view::npos || dot > slash)
                    ? Text(data.view().substr(0, dot))
                    : data;
    // By the name: the layout whose stem ends it (the longest), else one without a stem.
    const RecordLayout* layout = nullptr;
    for (const RecordLayout* candidate : layouts) {
        if (EndsWith(base, candidate->stem) &&
            (layout == nullptr || candidate->stem.size() > layout->stem.size()))
            layout = candidate;
    }
    DataFileStart start;
    if (engine.FileSystem().Exists(data) && engine.InspectDatabase(data, start)) {
        // By the file itself, when it has one of the layouts.
        for (const RecordLayout* candidate : layouts) {
            if (HasLayoutOf(*candidate, start)) {
                layout = candidate;
                break;
            }
        }
    }
    if (layout == nullptr) layout = layouts.front();
    return std::make_unique<RecordStore>(*layout, data, base, std::move(log), engine);
}

RecordStore::RecordStore(const RecordLayout& layout, Text dataFile, Text indexBase, Log log,
                         RecordEngine& engine)
    : layout_(layout),
      dataFile_(std::move(dataFile)),
      indexBase_(std::move(indexBase)),
      log_(std::move(log)),
      engine_(engine) {}

RecordStore::~RecordStore() {
    Close();
}

Text RecordStore::IndexFile() const {
    if (dataFile_.empty()) return Text();
    return RecordEngine::IndexFileName(indexBase_, dataFile_);
}

bool RecordStore::Accepts(const Text& photoId) const {
    // A digest needs its mark and a few digits.
    constexpr int kShortestDigestField = 9;
    if (photoId.empty()) return false;
    return layout_.cutsLongerIds || photoId.size() <= static_cast<std::size_t>(layout_.width) ||
           layout_.width >= kShortestDigestField;
}

Text RecordStore::StoredKey(const RecordLayout& layout, const Text& photoId) {
    const std::size_t width = static_cast<std::size_t>(std::max(layout.width, 0));
    if (layout.cutsLongerIds || photoId.size() <= width) return photoId;
    const std::string hex = Sha256Hex(photoId.view());
    return Text("#" + hex.substr(0, std::min(hex.size(), width - 1)));
}

void RecordStore::LogCannotOpen(const Text& file, int error) {
    if (log_) {
        log_("防止重复下载数据库打开失败，本相册不做下载记录："_t + file + "（"_t +
             DbErrorMessage(error) + "）\r\n"_t);
    }
}

bool RecordStore::Prepare() {
    std::lock_guard lock(mutex_);
    if (dataFile_.empty()) return false;
    if (engine_.FileSystem().Exists(dataFile_)) return true;
    return engine_.CreateDatabase(dataFile_, Fields(layout_));
}

bool RecordStore::OpenForAlbum() {
    std::lock_guard lock(mutex_);
    if (!openPath_.empty()) {  // an album that was stopped left it open
        engine_.CloseDatabase(openPath_);
        openPath_ = Text();
    }
    if (dataFile_.empty()) {
        if (log_) log_("防止重复下载数据库不可用（用户编号无效），本相册不做下载记录\r\n"_t);
        return false;
    }
    DbFileSystem& fs = engine_.FileSystem();
    if (!fs.Exists(dataFile_)) {
        Text folder = FolderOf(dataFile_);
        if (!folder.empty()) fs.EnsureFolder(folder);
        bool created = engine_.CreateDatabase(dataFile_, Fields(layout_));
        if (log_)
            log_(created ? "防止重复下载数据库创建成功\r\n"_t : "防止重复下载数据库创建失败\r\n"_t);
        if (!created) return false;
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
    if (check.verdict != FileVerdict::kUsable) {
        LogCannotOpen(dataFile_, check.error);
        return false;
    }
    if (!engine_.OpenDatabase(dataFile_)) {
        LogCannotOpen(dataFile_, LastDbError());
        return false;
    }
    openPath_ = engine_.CurrentDatabasePath();
    scanOnMiss_ = false;
    const Text field = layout_.field;
    if (engine_.CreateIndex(indexBase_, {field})) return true;
    // A link in the index's place: neither rebuilt through nor worked around.
    if (LastDbError() == kDbSymbolicLink) {
        engine_.CloseDatabase(openPath_);
        openPath_ = Text();
        LogCannotOpen(IndexFile(), kDbSymbolicLink);
        return false;
    }
    // Another process has the index open (an album of its own, or the records tool): use
    // that index as it is, so the adds of both processes go into it. Without any index the
    // lookups scan the records instead.
    if (fs.Exists(IndexFile())) {
        engine_.CloseDatabase(openPath_);
        openPath_ = Text();
        DbOpenOptions options;
        options.indexFiles = {indexBase_};
        if (!engine_.OpenDatabase(dataFile_, options)) {
            if (LastDbError() == kDbSymbolicLink) {
                LogCannotOpen(IndexFile(), kDbSymbolicLink);
                return false;
            }
            if (!engine_.OpenDatabase(dataFile_)) {
                LogCannotOpen(dataFile_, LastDbError());
                return false;
            }
        }
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
    if (dataFile_.empty()) return false;
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
    if (dataFile_.empty()) {
        check.verdict = FileVerdict::kUnreadable;
        check.detail = "no record file: the user id is not a plain number";
        check.error = kDbBadPath;
        return check;
    }
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
        check.error = content ? 0 : error;
        check.detail = content ? "not a record database: " + LocalToUtf8(DbErrorMessage(error))
                               : LocalToUtf8(DbErrorMessage(error));
        return check;
    }
    if (!HasLayoutOf(layout_, start)) {
        const RecordLayout& layout = layout_;
        check.verdict = FileVerdict::kForeign;
        check.detail = "not a download record database: " + DescribeFields(start.fields) +
                       " where one " + std::to_string(layout.width) + "-byte text field \"" +
                       LocalToUtf8(layout.field) + "\" belongs";
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

bool RecordStore::ContainsLocked(const Text& id) {
    if (!Accepts(id) || !IsCurrent()) return false;
    const Text photoId = StoredKey(layout_, id);
    // Every search starts at the first record: the engine's searches only look from the
    // current record on, which after an add is the last one.
    if (!engine_.GoToRecord(0)) return false;
    if (engine_.HasCurrentIndex()) {
        if (engine_.SeekIndex({photoId})) return true;
        if (!scanOnMiss_ || !engine_.GoToRecord(0)) return false;
    }
    const RecordLayout& layout = layout_;
    // The id as the field holds it.
    const Text stored(photoId.view().substr(0, static_cast<std::size_t>(layout.width)));
    return engine_.FindRecord([&] {
        const DbValue value = engine_.ReadField(layout.field);
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
    if (!Accepts(photoId) || !IsCurrent()) return false;
    if (ContainsLocked(photoId)) return true;
    return engine_.AddRecord({StoredKey(layout_, photoId)});
}

std::vector<Text> RecordStore::AllIds() {
    std::lock_guard lock(mutex_);
    std::vector<Text> ids;
    if (!IsCurrent()) return ids;
    const Text& field = layout_.field;
    std::int64_t count = engine_.RecordCount();
    for (std::int64_t r = 0; r < count; ++r) {
        if (!engine_.GoToRecord(r)) break;
        DbValue value = engine_.ReadField(field);
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
