// Damaged, hostile and half-written files: errors or "not found", never a crash, a hang or a
// record reported that is not there.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "RecordDbTestUtil.h"
#include "runtime/recorddb/DbCheck.h"
#include "runtime/recorddb/DbError.h"
#include "runtime/recorddb/MemoryDbFile.h"
#include "runtime/recorddb/RecordEngine.h"

namespace ovx {
namespace {

using testing::PhotoFields;
using testing::TextOf;

const Text kDb("/r/8.zdb");
const Text kIx("/r/8.ZDX");

std::string Id(int i) {
    return "8800000000" + std::to_string(100000 + i);
}

// A database of n photo ids with its index, in memory.
void Build(MemoryFileSystem& fs, int n) {
    RecordEngine engine(fs);
    ASSERT_TRUE(engine.CreateDatabase(kDb, PhotoFields()));
    ASSERT_TRUE(engine.OpenDatabase(kDb));
    ASSERT_TRUE(engine.CreateIndex(Text("8"), {Text("photo_id")}));
    for (int i = 0; i < n; ++i) ASSERT_TRUE(engine.AddRecord({Text(Id(i))}));
}

DbOpenOptions WithIndex() {
    DbOpenOptions o;
    o.indexFiles = {Text("8")};
    return o;
}

bool SeekFromStart(RecordEngine& engine, const std::string& id) {
    engine.GoToRecord(0);
    return engine.SeekIndex({Text(id)});
}

void PutI32(Bytes& b, std::size_t at, std::int32_t v) {
    std::uint32_t u = static_cast<std::uint32_t>(v);
    std::uint8_t bytes[4] = {static_cast<std::uint8_t>(u), static_cast<std::uint8_t>(u >> 8),
                             static_cast<std::uint8_t>(u >> 16),
                             static_cast<std::uint8_t>(u >> 24)};
    std::memcpy(b.data() + at, bytes, 4);
}

// An add cut short after every possible number of write calls, as by a killed process:
// the files open again with every earlier record, and the index never names the new record
// unless it was counted.
TEST(CrashTest, AnAddCutShortAnywhereLeavesUsableFiles) {
    MemoryFileSystem base;
    Build(base, 21 * 11);  // the next key splits a full leaf and its parent
    const Bytes db0 = *base.Find(kDb), ix0 = *base.Find(kIx);
    const std::string fresh = "8800000000100017x";  // sorts inside a full leaf
    bool completed = false;
    for (std::int64_t calls = 0; !completed; ++calls) {
        MemoryFileSystem fs;
        fs.Put(kDb, db0);
        fs.Put(kIx, ix0);
        {
            RecordEngine doomed(fs);
            ASSERT_TRUE(doomed.OpenDatabase(kDb, WithIndex()));
            fs.writeCallsLeft = calls;
            completed = doomed.AddRecord({Text(fresh)});
        }
        fs.writeCallsLeft = -1;
        RecordEngine engine(fs);
        ASSERT_TRUE(engine.OpenDatabase(kDb, WithIndex())) << calls;
        std::int64_t count = engine.RecordCount();
        ASSERT_TRUE(count == 231 || count == 232) << calls;
        for (int i = 0; i < 231; i += 5)
            ASSERT_TRUE(SeekFromStart(engine, Id(i))) << calls << " " << i;
        if (SeekFromStart(engine, fresh)) {
            EXPECT_EQ(count, 232) << calls;
        }
        ASSERT_TRUE(engine.GoToRecord(0));
        EXPECT_EQ(TextOf(engine.ReadField(1)), Text(Id(0)));
        // A rebuilt index is exact again.
        ASSERT_TRUE(engine.CreateIndex(Text("8"), {Text("photo_id")}));
        EXPECT_EQ(SeekFromStart(engine, fresh), count == 232) << calls;
        ASSERT_TRUE(engine.CloseDatabase());
        EXPECT_TRUE(CheckDatabaseFiles(fs, kDb, kIx).Sound()) << calls;
    }
}

TEST(DamagedIndexTest, CyclesAndBadBlocksEndInNotFound) {
    MemoryFileSystem fs;
    Build(fs, 30);  // root 3 over leaves 1 and 2
    const Bytes ix0 = *fs.Find(kIx);
    auto tryIt = [&](const char* what, const std::function<void(Bytes&)>& damage) {
        Bytes ix = ix0;
        damage(ix);
        fs.Put(kIx, ix);
        RecordEngine engine(fs);
        ASSERT_TRUE(engine.OpenDatabase(kDb, WithIndex())) << what;
        EXPECT_FALSE(SeekFromStart(engine, Id(25))) << what;
        EXPECT_EQ(LastDbError(), kDbIndexUpdate) << what;
        EXPECT_FALSE(engine.AddRecord({Text("more")})) << what;  // the record is kept ...
        EXPECT_EQ(engine.RecordCount(), 31) << what;             // ... the index is not updated
        engine.CloseDatabase();
        EXPECT_FALSE(CheckDatabaseFiles(fs, kDb, kIx).Sound()) << what;
        fs.Put(kDb, Bytes());  // restore the data file for the next case
        MemoryFileSystem fresh;
        Build(fresh, 30);
        fs.Put(kDb, *fresh.Find(kDb));
    };
    tryIt("inner cycle", [](Bytes& ix) {
        PutI32(ix, 3 * 512 + 4 + 24, 3);  // the root's trailing child is the root
    });
    tryIt("two-block cycle", [](Bytes& ix) {
        PutI32(ix, 3 * 512 + 4 + 24, 2);
        Bytes leafAsInner(512, 0);
        leafAsInner[0] = 1;
        PutI32(leafAsInner, 4, 3);  // block 2 turns into an inner node pointing at the root
        std::memcpy(ix.data() + 2 * 512, leafAsInner.data(), 512);
    });
    tryIt("count above capacity", [](Bytes& ix) { ix[2 * 512 + 2] = 22; });
    tryIt("negative count", [](Bytes& ix) { ix[2 * 512 + 3] = 0x80; });
    tryIt("child outside the file", [](Bytes& ix) { PutI32(ix, 3 * 512 + 4 + 24, 4000); });
    tryIt("free block in the tree", [](Bytes& ix) { ix[2 * 512] = 2; });

    Bytes ix = ix0;
    PutI32(ix, 36, 9);  // a root outside the file is caught when the index is opened
    fs.Put(kIx, ix);
    RecordEngine engine(fs);
    EXPECT_FALSE(engine.OpenDatabase(kDb, WithIndex()));
    EXPECT_EQ(LastDbError(), kDbNotIndex);
}

TEST(DamagedIndexTest, EntriesForRecordsNotThereAreNotTakenAsFound) {
    MemoryFileSystem fs;
    Build(fs, 3);
    // The data file lost its last record (an add that never got counted) and another record
    // changed its id; the index still names both.
    Bytes db = *fs.Find(kDb);
    db.resize(188 + 2 * 24);
    PutI32(db, 16, 2);
    db[188 + 4] = '9';
    fs.Put(kDb, db);
    RecordEngine engine(fs);
    ASSERT_TRUE(engine.OpenDatabase(kDb, WithIndex()));
    EXPECT_FALSE(SeekFromStart(engine, Id(2)));
    EXPECT_FALSE(SeekFromStart(engine, Id(0)));
    EXPECT_TRUE(SeekFromStart(engine, Id(1)));
    engine.CloseDatabase();
    auto report = CheckDatabaseFiles(fs, kDb, kIx);
    EXPECT_EQ(report.problems.size(), 2u);  // an entry beyond the data, one with a wrong key
}

TEST(DamagedDataTest, HostileHeadersAreRejected) {
    MemoryFileSystem fs;
    Build(fs, 2);
    const Bytes good = *fs.Find(kDb);
    struct Case {
        const char* what;
        std::size_t at;
        std::int32_t value;
    };
    for (const Case& c :
         {Case{"huge record length", 24, 0x7FFFFFFF}, Case{"negative count", 16, -5},
          Case{"field count in the millions", 112, 3000000}, Case{"negative field offset", 140, -4},
          Case{"field offset past the record", 140, 0x7FFFFFF0},
          Case{"text width past the record", 144, 0x40000000}, Case{"bad field type", 136, 13}}) {
        Bytes db = good;
        PutI32(db, c.at, c.value);
        fs.Put(kDb, db);
        RecordEngine engine(fs);
        EXPECT_FALSE(engine.OpenDatabase(kDb)) << c.what;
        EXPECT_EQ(LastDbError(), kDbNotDatabase) << c.what;
        EXPECT_FALSE(CheckDatabaseFiles(fs, kDb, Text()).Sound()) << c.what;
    }
    // An absurd count in a read-write open is corrected to the records there are.
    Bytes db = good;
    PutI32(db, 16, 0x7FFFFFFF);
    fs.Put(kDb, db);
    RecordEngine engine(fs);
    ASSERT_TRUE(engine.OpenDatabase(kDb));
    EXPECT_EQ(engine.RecordCount(), 2);
    ASSERT_TRUE(engine.CloseDatabase());

    // An index whose key type is the most negative number (minus a text width that has no
    // positive counterpart) is refused like any other mismatch.
    fs.Put(kDb, good);
    Bytes ix = *fs.Find(kIx);
    PutI32(ix, 188, INT32_MIN);
    fs.Put(kIx, ix);
    EXPECT_FALSE(engine.OpenDatabase(kDb, WithIndex()));
    EXPECT_EQ(LastDbError(), kDbKeySizeDiffers);
    EXPECT_FALSE(CheckDatabaseFiles(fs, kDb, kIx).Sound());
}

TEST(FailingFileTest, ReadAndWriteFailuresAreReported) {
    MemoryFileSystem fs;
    Build(fs, 5);
    RecordEngine engine(fs);
    ASSERT_TRUE(engine.OpenDatabase(kDb, WithIndex()));
    fs.Data(kDb)->failLocks = true;
    EXPECT_FALSE(engine.AddRecord({Text("x")}));
    EXPECT_EQ(LastDbError(), kDbLockFile);
    EXPECT_FALSE(engine.FindRecord([] { return true; }));
    EXPECT_EQ(LastDbError(), kDbLockFile);
    fs.Data(kDb)->failLocks = false;
    fs.Data(kDb)->writeBudget = 0;
    EXPECT_FALSE(engine.AddRecord({Text("x")}));
    EXPECT_EQ(LastDbError(), kDbDiskFull);
    fs.Data(kDb)->writeBudget = -1;
    fs.Data(kDb)->failReads = true;
    EXPECT_FALSE(engine.AddRecord({Text("x")}));
    EXPECT_EQ(LastDbError(), kDbCountUnreadable);
    fs.Data(kDb)->failReads = false;
    EXPECT_EQ(engine.RecordCount(), 5);
}

}  // namespace
}  // namespace ovx
