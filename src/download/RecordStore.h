#pragma once
// The download record store: one record database per Weibo user and protocol, holding the ids
// of the photos already saved, so that later runs can skip them.
//
// Each protocol gives its layout (Protocol::Records): the end of the file name after the user
// id and the one text field, <record folder>/<user id><stem>.zdb (the album service's is
// <user id>.zdb, one field "photo_id" of 20 bytes; the web API's <user id>-网页版.zdb, one
// field "pic_id" of 40 bytes), each with its index (the data file's name with the extension
// .ZDX) over that field, rebuilt whenever an album opens the store. Lookups search the whole
// database through the index (or, without an index, scan it from the first record), so a
// recorded photo is found whatever order photos come in. An id longer than the field is
// stored cut to it and compared as cut, or, for a layout that does not cut ids, stored and
// looked up as a digest that fits the field ("#" and hexadecimal digits of its SHA-256).
//
// The user id must be a plain number: a store for any other id has no files, creates and
// opens nothing, and says so when an album asks for it.
//
// A data file laid out otherwise than the store's layout (another program's database, another
// protocol's, or not a database at all) or one whose header counts fewer records than it holds (a
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

#include "catalogue/Protocol.h"
#include "runtime/recorddb/RecordEngine.h"

namespace ovx {

class RecordStore {
  public:
    using Log = std::function<void(const Text&)>;

    static constexpr std::size_t kMaxUserIdLength = 64;

    // A user id the store names files after: 1 to kMaxUserIdLength ASCII digits.
    static bool IsValidUserId(const Text& userId);
    static std::vector<DbFieldSpec> Fields(const RecordLayout& layout);
    // The user's files in the record folder; empty when the user id is not valid.
    static Text DataFilePath(const Text& recordFolder, const Text& userId,
                             const RecordLayout& layout);
    static Text IndexBasePath(const Text& recordFolder, const Text& userId,
                              const RecordLayout& layout);

    // The store of a user's database of the layout in the record folder.
    static std::unique_ptr<RecordStore> ForUser(const Text& recordFolder, const Text& userId,
                                                const RecordLayout& layout, Log log,
                                                RecordEngine& engine);
    // A store over a data file named directly; its index is the name without extension. Its
    // layout is the one of `layouts` (not empty) the file has; for a file of none of them (or
    // no file) the one whose stem ends the name, else the first.
    static std::unique_ptr<RecordStore> ForDataFile(const Text& dataFile,
                                                    const std::vector<const RecordLayout*>& layouts,
                                                    Log log, RecordEngine& engine);

    // What the data file is to the store.
    enum class FileVerdict {
        kUsable,
        kAbsent,
        kUnreadable,    // a file error (no rights, not a regular file, locked)
        kForeign,       // not a database, or not laid out as the layout's one field
        kDamagedCount,  // the header counts fewer records than the file holds
    };
    struct FileCheck {
        FileVerdict verdict = FileVerdict::kUsable;
        std::string detail;  // what is wrong, in English (for tools); empty when usable
        int error = 0;       // the record-database error code of kUnreadable
    };

    // A store over the files; an empty data file name makes a store without files.
    // `layout` must outlive the store (the protocols' layouts live as long as the process).
    RecordStore(const RecordLayout& layout, Text dataFile, Text indexBase, Log log,
                RecordEngine& engine);
    ~RecordStore();
    RecordStore(const RecordStore&) = delete;
    RecordStore& operator=(const RecordStore&) = delete;

    const RecordLayout& Layout() const { return layout_; }
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
    // Whether the store can hold the id at all: not empty. Ids it does not accept are neither
    // found nor recorded.
    bool Accepts(const Text& photoId) const;
    // What the field holds for an id: the id itself when it fits (or the layout cuts it),
    // else its digest, as long as the field.
    static Text StoredKey(const RecordLayout& layout, const Text& photoId);
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

    const RecordLayout& layout_;
    Text dataFile_;
    Text indexBase_;
    Log log_;
    RecordEngine& engine_;
    std::mutex mutex_;
    Text openPath_;  // full path while open
    bool scanOnMiss_ = false;
};

}  // namespace ovx
