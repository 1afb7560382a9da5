#pragma once
// The download record store: one record database per Weibo user, holding the ids of the
// photos already saved, so that later runs can skip them.
//
// Files: <record folder>/<user id>.zdb with one text field "photo_id" of 20 bytes, and its
// index <record folder>/<user id>.ZDX over that field, rebuilt whenever an album opens the
// store. Lookups search the whole database through the index (or, without an index, scan it
// from the first record), so a recorded photo is found whatever order photos come in. An id
// longer than 20 bytes is stored cut to 20 bytes and compared as cut.
//
// A data file laid out otherwise (another program's database, or not a database at all) or
// one whose header counts fewer records than it holds (a damaged count: opening it for
// writing would cut the records off) is never opened: the album runs without records and the
// file stays exactly as it is.
//
// One worker thread at a time may use a store; its calls are serialised by a mutex.

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "runtime/recorddb/RecordEngine.h"

namespace ovx {

class RecordStore {
  public:
    using Log = std::function<void(const Text&)>;

    static constexpr int kPhotoIdWidth = 20;
    static std::vector<DbFieldSpec> Fields();
    static Text DataFilePath(const Text& recordFolder, const Text& userId);
    static Text IndexBasePath(const Text& recordFolder, const Text& userId);

    // The store of a user's database in the record folder.
    static std::unique_ptr<RecordStore> ForUser(const Text& recordFolder, const Text& userId,
                                                Log log = {},
                                                RecordEngine& engine = ProcessRecordEngine());
    // A store over a data file named directly; its index is the name without extension.
    static std::unique_ptr<RecordStore> ForDataFile(const Text& dataFile, Log log = {},
                                                    RecordEngine& engine = ProcessRecordEngine());

    // What the data file is to the store.
    enum class FileVerdict {
        kUsable,
        kAbsent,
        kUnreadable,    // a file error (no rights, not a regular file, locked)
        kForeign,       // not a database, or not laid out as one field "photo_id" of 20 bytes
        kDamagedCount,  // the header counts fewer records than the file holds
    };
    struct FileCheck {
        FileVerdict verdict = FileVerdict::kUsable;
        std::string detail;  // what is wrong, in English (for tools); empty when usable
    };

    RecordStore(Text dataFile, Text indexBase, Log log, RecordEngine& engine);
    ~RecordStore();
    RecordStore(const RecordStore&) = delete;
    RecordStore& operator=(const RecordStore&) = delete;

    const Text& DataFile() const { return dataFile_; }
    Text IndexFile() const;

    // Start of a run: creates the database when there is no data file; silent.
    bool Prepare();
    // Start of an album: creates a missing database (logging the outcome), opens it and
    // rebuilds its index. False when the database could not be opened; the album then
    // runs without records (nothing is found, nothing recorded). A foreign file or one with
    // a damaged count is logged in one line and left untouched.
    bool OpenForAlbum();
    // Opens an existing database for reading only, with its index when one is there. An
    // index may lag behind the records (an add cut short by a crash, mended when the next
    // album rebuilds it), so a miss in it is confirmed by a scan. A foreign file or one with
    // a damaged count is refused (CheckFile says why).
    bool OpenForReading();
    // Looks at the data file without changing it.
    FileCheck CheckFile();
    // True when the photo id is recorded.
    bool Contains(const Text& photoId);
    // Records the photo id unless it is recorded already; true when it is recorded now.
    bool Record(const Text& photoId);
    // Every recorded id, in recording order (the store must be open).
    std::vector<Text> AllIds();
    // End of an album.
    void Close();
    bool IsOpen();

  private:
    bool ContainsLocked(const Text& photoId);
    FileCheck CheckFileLocked();
    bool IsCurrent();

    Text dataFile_;
    Text indexBase_;
    Log log_;
    RecordEngine& engine_;
    std::mutex mutex_;
    Text openPath_;  // full path while open
    bool scanOnMiss_ = false;
};

}  // namespace ovx
