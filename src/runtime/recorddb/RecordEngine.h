#pragma once
// The record database engine: single-table databases of fixed-length records in a data file,
// with B-tree index files over their fields.
//
// The engine keeps the list of open databases and the current database (the last one
// opened). Operations report success as a bool and leave their error code as the calling
// thread's last error (LastDbError, 0 after a success). Only ReadField stops the program, when
// there is no current database or no such field.
//
// Several processes can share one database: the record count is read from the file for every
// operation, and byte-range locks guard appending, scanning and checking.

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "runtime/recorddb/DataFileLayout.h"
#include "runtime/recorddb/DbFile.h"
#include "runtime/recorddb/DbTypes.h"

namespace ovx {

class RecordDatabase;

struct DbOpenOptions {
    OptText alias;
    bool readOnly = false;
    int share = kShareDenyNone;  // 1 deny nobody, 2 deny reading, 3 deny writing, 4 exclusive
    OptText password;
    std::vector<Text> indexFiles;
};

struct DbIndexOptions {
    std::optional<int> collation;    // 2 gives kind 1, 3 kind 2, anything else kind 0
    std::optional<int> keyOptions;   // bit 0 ignore ASCII case, bit 1 ignore spaces
    std::optional<int> blockFactor;  // block size 512 times 1 to 100
};

class RecordEngine {
  public:
    explicit RecordEngine(DbFileSystem& fs = PosixFileSystem());
    ~RecordEngine();
    RecordEngine(const RecordEngine&) = delete;
    RecordEngine& operator=(const RecordEngine&) = delete;

    // Writes a new, empty data file (overwriting one of that name); does not open it.
    bool CreateDatabase(const Text& file, const std::vector<DbFieldSpec>& fields);
    // Opens, checks and repairs the data file, then makes it the current database with
    // record 0 current.
    bool OpenDatabase(const Text& file, const DbOpenOptions& options = {});
    // Reads the header and field list of a data file without opening it as a database or
    // changing it (the file is read under a shared lock of the whole file).
    bool InspectDatabase(const Text& file, DataFileStart& start);
    // Scans from the current record for the first record the condition holds for; the
    // condition reads the record under test with ReadField.
    bool FindRecord(const std::function<bool()>& condition);
    // A field of the current record (or of the record under test inside FindRecord). A field
    // the database does not have gives empty text and kDbFieldNotFound.
    DbValue ReadField(const Text& name);
    DbValue ReadField(int number);  // 1-based
    // Appends a record (values in field order) and adds its key to every open index.
    bool AddRecord(const std::vector<DbValue>& values);
    // Closes the database named by alias, file name or full path, or the current one.
    bool CloseDatabase(const OptText& name = std::nullopt);
    // Writes an index over the key fields from the current database's records and opens it
    // as the database's current index.
    bool CreateIndex(const Text& file, const std::vector<Text>& keyFields,
                     const DbIndexOptions& options = {});
    // Looks the key up in the current index, accepting only records at or after the current
    // record; the found record becomes current.
    bool SeekIndex(const std::vector<DbValue>& values);

    // Moves the current record to n (0 to the record count; the count itself is the position
    // after the last record).
    bool GoToRecord(std::int64_t n);
    // The record count of the current database, -1 on failure.
    std::int64_t RecordCount();
    // The current record of the current database, -1 when there is none.
    std::int64_t CurrentRecord();
    bool HasCurrentIndex();
    // Full path of the current database, empty when there is none.
    Text CurrentDatabasePath();

    DbFileSystem& FileSystem() { return fs_; }

    // The data file name with the default extension; an index name with its default
    // extension and, when it has no folder, the data file's folder.
    static Text DataFileName(const Text& name);
    static Text IndexFileName(const Text& name, const Text& dataFile);

  private:
    RecordDatabase* Current();
    int OpenIndexFile(RecordDatabase& db, const Text& name, bool readOnly);
    int BuildIndex(RecordDatabase& db, const Text& path, const std::vector<int>& keyFields,
                   const DbIndexOptions& options);
    int ReadCountAndId(RecordDatabase& db, std::int32_t& count, std::int32_t& nextId);
    int InsertKeys(RecordDatabase& db, const std::uint8_t* record, std::int32_t number);

    DbFileSystem& fs_;
    std::recursive_mutex mutex_;
    std::vector<std::unique_ptr<RecordDatabase>> open_;
    int current_ = -1;  // index into open_
};

// The engine of this process, on the real file system.
RecordEngine& ProcessRecordEngine();

}  // namespace ovx
