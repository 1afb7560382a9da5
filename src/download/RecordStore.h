#pragma once
// The download record store: one record database per Weibo user and protocol, holding the ids
// of the photos already saved, so that later runs can skip them.
//
// Files, by kind:
//   album service  <record folder>/<user id>.zdb, one text field "photo_id" of 20 bytes;
//   web            <record folder>/<user id>-网页版.zdb, one text field "pic_id" of 40 bytes;
// each with its index (the data file's name with the extension .ZDX) over that field, rebuilt
// whenever an album opens the store. Lookups search the whole database through the index (or,
// without an index, scan it from the first record), so a recorded photo is found whatever
// order photos come in. In an album-service database an id longer than 20 bytes is stored cut
// to 20 bytes and compared as cut; in a web database an id longer than 40 bytes is neither
// recorded nor found.
//
// The user id must be a plain number: a store for any other id has no files, creates and
// opens nothing, and says so when an album asks for it.
//
// A data file laid out otherwise than the store's kind (another program's database, the other
// kind's, or not a database at all) or one whose header counts fewer records than it holds (a
// damaged count: opening it for writing would cut the records off) is never opened: the album
// runs without records and the file stays exactly as it is. Neither are files that cannot be
// opened (locked, unreadable, a symbolic link, which is never followed); every such refusal is
// one line of the log, naming the file and the reason.
//
// One worker thread at a time may use a store; its calls are serialised by a mutex.

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "runtime/recorddb/RecordEngine.h"

namespace ovx {

// Which protocol's records a store holds.
enum class RecordKind {
    kAlbumService,  // <user id>.zdb, "photo_id", 20 bytes
    kWeb,           // <user id>-网页版.zdb, "pic_id", 40 bytes
};

class RecordStore {
  public:
    using Log = std::function<void(const Text&)>;

    static constexpr int kPhotoIdWidth = 20;
    static constexpr int kPicIdWidth = 40;
    static constexpr std::size_t kMaxUserIdLength = 64;

    // A user id the store names files after: 1 to kMaxUserIdLength ASCII digits.
    static bool IsValidUserId(const Text& userId);
    static std::vector<DbFieldSpec> Fields(RecordKind kind = RecordKind::kAlbumService);
    // The user's files in the record folder; empty when the user id is not valid.
    static Text DataFilePath(const Text& recordFolder, const Text& userId,
                             RecordKind kind = RecordKind::kAlbumService);
    static Text IndexBasePath(const Text& recordFolder, const Text& userId,
                              RecordKind kind = RecordKind::kAlbumService);

    // The store of a user's album-service database in the record folder.
    static std::unique_ptr<RecordStore> ForUser(const Text& recordFolder, const Text& userId,
                                                Log log = {},
                                                RecordEngine& engine = ProcessRecordEngine());
    // The store of a user's database of the kind in the record folder.
    static std::unique_ptr<RecordStore> ForUser(const Text& recordFolder, const Text& userId,
                                                RecordKind kind, Log log = {},
                                                RecordEngine& engine = ProcessRecordEngine());
    // A store over a data file named directly; its index is the name without extension. Its
    // kind is the one whose layout the file has; a file of neither layout (or none) is a web
    // database when its name ends in "-网页版", else an album-service one.
    static std::unique_ptr<RecordStore> ForDataFile(const Text& dataFile, Log log = {},
                                                    RecordEngine& engine = ProcessRecordEngine());

    // What the data file is to the store.
    enum class FileVerdict {
        kUsable,
        kAbsent,
        kUnreadable,    // a file error (no rights, not a regular file, locked)
        kForeign,       // not a database, or not laid out as the kind's one field
        kDamagedCount,  // the header counts fewer records than the file holds
    };
    struct FileCheck {
        FileVerdict verdict = FileVerdict::kUsable;
        std::string detail;  // what is wrong, in English (for tools); empty when usable
        int error = 0;       // the record-database error code of kUnreadable
    };

    // A store over the files; an empty data file name makes a store without files.
    RecordStore(RecordKind kind, Text dataFile, Text indexBase, Log log, RecordEngine& engine);
    ~RecordStore();
    RecordStore(const RecordStore&) = delete;
    RecordStore& operator=(const RecordStore&) = delete;

    RecordKind Kind() const { return kind_; }
    // Empty for a store without files.
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
    // Records the photo id unless it is recorded already; true when it is recorded now. False
    // when the store is not open, the id is not accepted, or the write failed (LastDbError
    // says why).
    bool Record(const Text& photoId);
    // Whether the store can hold the id at all: not empty and, in a web database, at most
    // kPicIdWidth bytes. Ids it does not accept are neither found nor recorded.
    bool Accepts(const Text& photoId) const;
    // Every recorded id, in recording order (the store must be open).
    std::vector<Text> AllIds();
    // End of an album.
    void Close();
    bool IsOpen();

  private:
    bool ContainsLocked(const Text& photoId);
    FileCheck CheckFileLocked();
    bool IsCurrent();
    // Logs that the file could not be opened, with the reason the error code gives.
    void LogCannotOpen(const Text& file, int error);

    RecordKind kind_;
    Text dataFile_;
    Text indexBase_;
    Log log_;
    RecordEngine& engine_;
    std::mutex mutex_;
    Text openPath_;  // full path while open
    bool scanOnMiss_ = false;
};

}  // namespace ovx
