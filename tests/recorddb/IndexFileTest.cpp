// Index files: their bytes, the B-tree shape after many inserts, seeking, and the checks made
// when an index file is opened with its database.

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>

#include "RecordDbTestUtil.h"
#include "runtime/recorddb/DbCheck.h"
#include "runtime/recorddb/DbError.h"
#include "runtime/recorddb/MemoryDbFile.h"
#include "runtime/recorddb/RecordEngine.h"

namespace ovx {
namespace {

using testing::I32At;
using testing::PhotoFields;
using testing::ReadAll;
using testing::TempFolder;
using testing::TextOf;
using testing::WriteAll;

std::vector<Text> PhotoKey() {
    return {Text("photo_id")};
}

std::string Id(std::uint64_t n) {
    std::string s = std::to_string(n);
    return std::string(16 - std::min<std::size_t>(16, s.size()), '0') + s;
}

class IndexFileTest : public ::testing::Test {
  protected:
    TempFolder dir;
    RecordEngine engine;
    Text db = dir / "77.zdb";
    Text ix = dir / "77.ZDX";

    void SetUp() override {
        ASSERT_TRUE(engine.CreateDatabase(db, PhotoFields()));
        ASSERT_TRUE(engine.OpenDatabase(db));
    }
    bool SeekFromStart(const std::string& id) {
        engine.GoToRecord(0);
        return engine.SeekIndex({Text(id)});
    }
};

TEST_F(IndexFileTest, NewIndexOnEmptyDatabaseIsHeaderAndEmptyLeaf) {
    ASSERT_TRUE(engine.CreateIndex(Text("77"), PhotoKey()));
    std::string b = ReadAll(ix);
    ASSERT_EQ(b.size(), 1024u);
    EXPECT_EQ(b.substr(0, 4), "ZQNX");
    EXPECT_EQ(I32At(b, 4), 0x00010000);
    EXPECT_EQ(I32At(b, 16), 0);  // collation
    EXPECT_EQ(I32At(b, 20), 0);  // options
    EXPECT_EQ(I32At(b, 24), 2);  // blocks
    EXPECT_EQ(I32At(b, 28), 0);  // free blocks
    EXPECT_EQ(I32At(b, 36), 1);  // root
    EXPECT_EQ(I32At(b, 40), 512);
    EXPECT_EQ(I32At(b, 44), 20);  // key length
    EXPECT_EQ(I32At(b, 48), 1);
    EXPECT_EQ(b.substr(52, 17), std::string("photo_id") + std::string(9, '\0'));
    EXPECT_EQ(I32At(b, 188), -20);
    EXPECT_EQ(b.substr(192, 512 - 192), std::string(512 - 192, '\0'));
    EXPECT_EQ(b.substr(512), std::string(512, '\0'));
}

TEST_F(IndexFileTest, FirstLeafSplitMakesARootOverTwoLeaves) {
    ASSERT_TRUE(engine.CreateIndex(Text("77"), PhotoKey()));
    for (int i = 0; i < 21; ++i) ASSERT_TRUE(engine.AddRecord({Text(Id(i * 2))}));
    EXPECT_EQ(ReadAll(ix).size(), 1024u);  // 21 entries fill the root leaf exactly
    ASSERT_TRUE(engine.AddRecord({Text(Id(7))}));
    std::string b = ReadAll(ix);
    ASSERT_EQ(b.size(), 4u * 512u);
    EXPECT_EQ(I32At(b, 36), 3);  // new root
    EXPECT_EQ(static_cast<std::uint8_t>(b[3 * 512]), 1);
    EXPECT_EQ(I32At(b, 3 * 512) >> 16, 1);  // one entry
    EXPECT_EQ(I32At(b, 512) >> 16, 10);     // left half keeps capacity / 2
    EXPECT_EQ(I32At(b, 1024) >> 16, 12);
    // The separator is the greatest key on the left: ids 0,2,4,6,7,8,...,16 are left.
    EXPECT_EQ(b.substr(3 * 512 + 8, 16), Id(16));
    EXPECT_EQ(I32At(b, 3 * 512 + 28), 2);  // trailing child
    auto report = CheckDatabaseFiles(PosixFileSystem(), db, ix);
    EXPECT_TRUE(report.Sound()) << report.problems.front();
}

TEST_F(IndexFileTest, ManyRandomInsertsKeepTheTreeSound) {
    MemoryFileSystem fs;
    RecordEngine mem(fs);
    Text mdb("/m/5.zdb");
    ASSERT_TRUE(mem.CreateDatabase(mdb, PhotoFields()));
    ASSERT_TRUE(mem.OpenDatabase(mdb));
    ASSERT_TRUE(mem.CreateIndex(Text("5"), PhotoKey()));
    std::mt19937_64 rng(42);
    std::vector<std::string> ids;
    std::set<std::string> unique;
    while (ids.size() < 6000) {
        std::string id = Id(rng() % 10000000000000000ULL);
        if (unique.insert(id).second) ids.push_back(id);
    }
    for (const auto& id : ids) ASSERT_TRUE(mem.AddRecord({Text(id)}));
    auto report = CheckDatabaseFiles(fs, mdb, Text("/m/5.ZDX"));
    ASSERT_TRUE(report.Sound()) << report.problems.front();
    EXPECT_EQ(report.capacity, 21);
    EXPECT_EQ(report.indexEntries, 6000);
    EXPECT_GE(report.treeDepth, 4);  // leaf, inner and root splits all happened
    EXPECT_GT(report.innerBlocks, 20);
    for (std::size_t i = 0; i < ids.size(); i += 7) {
        mem.GoToRecord(0);
        ASSERT_TRUE(mem.SeekIndex({Text(ids[i])})) << ids[i];
        EXPECT_EQ(mem.CurrentRecord(), static_cast<std::int64_t>(i));
    }
    mem.GoToRecord(0);
    EXPECT_FALSE(mem.SeekIndex({Text("0000000000000000x")}));

    // A rebuild from the records gives a sound tree too, with every block but the last
    // ones at least half full.
    ASSERT_TRUE(mem.CreateIndex(Text("5"), PhotoKey()));
    auto rebuilt = CheckDatabaseFiles(fs, mdb, Text("/m/5.ZDX"));
    ASSERT_TRUE(rebuilt.Sound()) << rebuilt.problems.front();
    EXPECT_LE(rebuilt.leafBlocks, 6000 / 10 + 1);
}

TEST_F(IndexFileTest, LongIdIsCutAndFoundByItsFullText) {
    ASSERT_TRUE(engine.CreateIndex(Text("77"), PhotoKey()));
    const std::string id25 = "1234567890123456789012345";
    ASSERT_TRUE(engine.AddRecord({Text(id25)}));
    EXPECT_EQ(TextOf(engine.ReadField(1)), Text(id25.substr(0, 20)));
    EXPECT_TRUE(SeekFromStart(id25));
    EXPECT_TRUE(SeekFromStart(id25.substr(0, 20)));
}

TEST_F(IndexFileTest, SeekSeesOnlyRecordsFromTheCurrentOne) {
    ASSERT_TRUE(engine.CreateIndex(Text("77"), PhotoKey()));
    for (const char* id : {"k1", "k2", "k1", "k3"}) ASSERT_TRUE(engine.AddRecord({Text(id)}));
    // Current record is 3: "k2" lies only before it.
    EXPECT_FALSE(engine.SeekIndex({Text("k2")}));
    EXPECT_EQ(engine.CurrentRecord(), 3);
    ASSERT_TRUE(engine.GoToRecord(1));
    EXPECT_TRUE(engine.SeekIndex({Text("k1")}));  // the equal key after record 0
    EXPECT_EQ(engine.CurrentRecord(), 2);
    EXPECT_FALSE(engine.SeekIndex({Text("k1"), Text("extra")}));
    EXPECT_EQ(LastDbError(), kDbKeyCount);
    EXPECT_FALSE(engine.SeekIndex({std::int64_t{5}}));
    EXPECT_EQ(LastDbError(), kDbValueType);
}

// Seeks one after another walk runs of equal keys that span several leaves and single keys in
// between; each finds what a first seek of a fresh opening finds.
TEST_F(IndexFileTest, SeeksInARowFindTheFirstEqualKeyFromTheCurrentRecord) {
    ASSERT_TRUE(engine.CreateIndex(Text("77"), PhotoKey()));
    // 21 entries fit a 512-byte leaf: 70 equal keys span at least four leaves.
    std::vector<std::int64_t> dups;
    for (int i = 0; i < 400; ++i) {
        bool dup = i % 5 == 2 && dups.size() < 70;
        ASSERT_TRUE(engine.AddRecord({Text(dup ? std::string("dup") : Id(i))}));
        if (dup) dups.push_back(i);
    }
    ASSERT_EQ(dups.size(), 70u);
    std::mt19937 rng(7);
    for (int round = 0; round < 300; ++round) {
        std::int64_t from = static_cast<std::int64_t>(rng() % 401);
        ASSERT_TRUE(engine.GoToRecord(from));
        auto next = std::lower_bound(dups.begin(), dups.end(), from);
        EXPECT_EQ(engine.SeekIndex({Text("dup")}), next != dups.end()) << from;
        if (next != dups.end()) {
            // Equal keys are visited in index order, which need not be record order; the
            // record found must be one at or after the current one, and the same a fresh
            // opening finds.
            std::int64_t got = engine.CurrentRecord();
            EXPECT_GE(got, from);
            EXPECT_TRUE(std::binary_search(dups.begin(), dups.end(), got)) << got;
            RecordEngine fresh;
            DbOpenOptions options;
            options.readOnly = true;
            options.indexFiles = {Text("77")};
            ASSERT_TRUE(fresh.OpenDatabase(db, options));
            ASSERT_TRUE(fresh.GoToRecord(from));
            ASSERT_TRUE(fresh.SeekIndex({Text("dup")}));
            EXPECT_EQ(fresh.CurrentRecord(), got) << from;
        }
        // A single key in between: a short walk straight after a long one.
        int single = static_cast<int>(rng() % 400);
        bool isDup = std::binary_search(dups.begin(), dups.end(), single);
        EXPECT_EQ(SeekFromStart(Id(static_cast<std::uint64_t>(single))), !isDup) << single;
        if (!isDup) {
            EXPECT_EQ(engine.CurrentRecord(), single);
        }
        EXPECT_FALSE(SeekFromStart(Id(1000 + static_cast<std::uint64_t>(single))));
    }
}

TEST_F(IndexFileTest, CreateIndexChecksItsArguments) {
    struct Case {
        Text file;
        std::vector<Text> keys;
        int code;
    };
    std::vector<Case> cases = {
        {Text(""), PhotoKey(), kDbFileNotFound},
        {Text("i"), {}, kDbNoFields},
        {Text("i"), {Text("nope")}, kDbFieldNotFound},
        {Text("i"), {Text("photo_id"), Text("PHOTO_ID")}, kDbDuplicateField},
        {Text("i"), {Text("")}, kDbBadFieldName},
        {Text("i"), std::vector<Text>(9, Text("photo_id")), kDbTooManyKeyFields},
    };
    for (const auto& c : cases) {
        EXPECT_FALSE(engine.CreateIndex(c.file, c.keys));
        EXPECT_EQ(LastDbError(), c.code);
    }
    Text wide = dir / "wide.zdb";
    ASSERT_TRUE(
        engine.CreateDatabase(wide, {{Text("a"), kFieldText, 81}, {Text("m"), kFieldLongText, 0}}));
    ASSERT_TRUE(engine.OpenDatabase(wide));
    EXPECT_TRUE(std::filesystem::exists(dir.path() / "wide.ZDT"));
    EXPECT_FALSE(engine.CreateIndex(Text("w"), {Text("a")}));
    EXPECT_EQ(LastDbError(), kDbKeyTooLong);
    EXPECT_FALSE(engine.CreateIndex(Text("w"), {Text("m")}));
    EXPECT_EQ(LastDbError(), kDbKeyFieldBlob);
    ASSERT_TRUE(engine.CloseDatabase());
    // The first database is still open, but closing the current one leaves none current.
    EXPECT_FALSE(engine.CreateIndex(Text("i"), PhotoKey()));
    EXPECT_EQ(LastDbError(), kDbNoCurrentDatabase);
    EXPECT_FALSE(engine.SeekIndex({Text("x")}));
    EXPECT_EQ(LastDbError(), kDbNoCurrentDatabase);
}

TEST_F(IndexFileTest, KeyOptionsAndNumericOrder) {
    Text t = dir / "t.zdb";
    ASSERT_TRUE(
        engine.CreateDatabase(t, {{Text("name"), kFieldText, 10}, {Text("n"), kFieldInt, 0}}));
    ASSERT_TRUE(engine.OpenDatabase(t));
    ASSERT_TRUE(engine.CreateIndex(Text("byname"), {Text("name")},
                                   {.collation = std::nullopt, .keyOptions = 3, .blockFactor = 2}));
    ASSERT_TRUE(engine.AddRecord({Text("ab c"), std::int64_t{1}}));
    ASSERT_TRUE(engine.AddRecord({"中　文"_t, std::int64_t{2}}));
    engine.GoToRecord(0);
    EXPECT_TRUE(engine.SeekIndex({Text("ABC")}));
    engine.GoToRecord(0);
    EXPECT_TRUE(engine.SeekIndex({"中文"_t}));
    EXPECT_EQ(ReadAll(dir / "byname.ZDX").size(), 2048u);

    ASSERT_TRUE(engine.CreateIndex(Text("bynum"), {Text("n")}));
    for (int v : {-5, 300, -70000, 0, 12})
        ASSERT_TRUE(engine.AddRecord({Text("x"), std::int64_t{v}}));
    auto report = CheckDatabaseFiles(PosixFileSystem(), t, dir / "bynum.ZDX");
    EXPECT_TRUE(report.Sound()) << report.problems.front();
    engine.GoToRecord(0);
    EXPECT_TRUE(engine.SeekIndex({-70000.0}));  // numbers convert among themselves
    EXPECT_EQ(engine.CurrentRecord(), 4);
}

TEST_F(IndexFileTest, IndexFilesNamedAtOpenAreChecked) {
    ASSERT_TRUE(engine.CreateIndex(Text("77"), PhotoKey()));
    for (int i = 0; i < 50; ++i) ASSERT_TRUE(engine.AddRecord({Text(Id(i))}));
    ASSERT_TRUE(engine.CloseDatabase());
    DbOpenOptions withIndex;
    withIndex.indexFiles = {Text("77")};
    ASSERT_TRUE(engine.OpenDatabase(db, withIndex));
    EXPECT_TRUE(engine.SeekIndex({Text(Id(33))}));
    ASSERT_TRUE(engine.AddRecord({Text("new")}));  // the named index is kept up to date
    engine.GoToRecord(0);
    EXPECT_TRUE(engine.SeekIndex({Text("new")}));
    ASSERT_TRUE(engine.CloseDatabase());

    std::string good = ReadAll(ix);
    auto expectOpenFails = [&](std::string bytes, int code) {
        WriteAll(ix, bytes);
        EXPECT_FALSE(engine.OpenDatabase(db, withIndex));
        EXPECT_EQ(LastDbError(), code);
    };
    std::string bad = good;
    bad[1] = 'X';
    expectOpenFails(bad, kDbNotIndex);
    bad = good;
    bad[4] = 1;
    expectOpenFails(bad, kDbIndexVersion);
    bad = good;
    bad[52] = 'q';
    expectOpenFails(bad, kDbKeyFieldMissing);
    bad = good;
    bad[188] = static_cast<char>(-19);
    expectOpenFails(bad, kDbKeySizeDiffers);
    bad = good;
    bad[188] = 3;
    bad[189] = bad[190] = bad[191] = 0;
    expectOpenFails(bad, kDbKeyTypeDiffers);
    expectOpenFails(good.substr(0, good.size() - 512), kDbIndexSize);
    WriteAll(ix, good);
    withIndex.indexFiles = {Text("77"), Text("77.ZDX")};
    EXPECT_FALSE(engine.OpenDatabase(db, withIndex));
    EXPECT_EQ(LastDbError(), kDbIndexAlreadyOpen);
    withIndex.indexFiles = std::vector<Text>(11, Text("77"));
    EXPECT_FALSE(engine.OpenDatabase(db, withIndex));
    EXPECT_EQ(LastDbError(), kDbTooManyIndexes);
    withIndex.indexFiles = {Text("absent")};
    EXPECT_FALSE(engine.OpenDatabase(db, withIndex));
    EXPECT_EQ(LastDbError(), kDbIndexOpen);
}

}  // namespace
}  // namespace ovx
