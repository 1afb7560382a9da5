// The download record store as the download runs use it.

#include <gtest/gtest.h>

#include "RecordDbTestUtil.h"
#include "TestLayouts.h"
#include "download/RecordStore.h"
#include "runtime/recorddb/DbCheck.h"
#include "runtime/recorddb/MemoryDbFile.h"

namespace ovx {
namespace {

using testing::AlbumRecords;
using testing::BothLayouts;
using testing::TempFolder;
using testing::WebRecords;

std::string P(int i) {
    return "43210000000" + std::to_string(10000 + i);
}  // 16 digits

class RecordStoreTest : public ::testing::Test {
  protected:
    TempFolder dir;
    RecordEngine engine;
    Text folder = dir / "防止重复下载数据库";
    std::vector<Text> log;

    std::unique_ptr<RecordStore> Store(const char* user = "5566") {
        return RecordStore::ForUser(
            folder, Text(user), AlbumRecords(), [this](const Text& t) { log.push_back(t); },
            engine);
    }
    // One album of a run: look each photo up, "download" the new ones, record them all.
    std::vector<std::string> RunAlbum(RecordStore& store, const std::vector<std::string>& photos) {
        std::vector<std::string> downloaded;
        EXPECT_TRUE(store.OpenForAlbum());
        for (const auto& id : photos) {
            if (!store.Contains(Text(id))) downloaded.push_back(id);
            EXPECT_TRUE(store.Record(Text(id)));
        }
        store.Close();
        return downloaded;
    }
};

TEST_F(RecordStoreTest, FileNamesFollowTheUserIdAndKind) {
    EXPECT_EQ(RecordStore::DataFilePath(Text("/r"), Text("123"), AlbumRecords()),
              Text("/r/123.zdb"));
    EXPECT_EQ(
        RecordStore::ForUser(Text("/r/"), Text("123"), AlbumRecords(), {}, engine)->IndexFile(),
        Text("/r/123.ZDX"));
    EXPECT_EQ(RecordStore::DataFilePath(Text("/r"), Text("123"), WebRecords()),
              "/r/123-网页版.zdb"_t);
    EXPECT_EQ(RecordStore::ForUser(Text("/r/"), Text("123"), WebRecords(), {}, engine)->IndexFile(),
              "/r/123-网页版.ZDX"_t);
    EXPECT_EQ(RecordStore::ForDataFile(Text("/x/9.zdb"), BothLayouts(), {}, engine)->IndexFile(),
              Text("/x/9.ZDX"));
}

// An id that is not a plain number names no file: nothing is created or opened for it, and an
// album asking for it is told once.
TEST_F(RecordStoreTest, AnIdThatIsNoNumberTouchesNoFile) {
    ASSERT_TRUE(engine.FileSystem().EnsureFolder(folder));
    const std::vector<Text> ids = {Text(""),      Text("."),     Text(".."),
                                   Text("12/34"), Text("..\\1"), "１２"_t,
                                   Text("12a"),   Text("-5"),    Text(std::string(65, '7'))};
    for (const RecordLayout* kind : BothLayouts()) {
        for (const Text& id : ids) {
            SCOPED_TRACE(id.bytes());
            log.clear();
            auto store = RecordStore::ForUser(
                folder, id, *kind, [this](const Text& t) { log.push_back(t); }, engine);
            EXPECT_TRUE(store->DataFile().empty());
            EXPECT_FALSE(store->Prepare());
            EXPECT_FALSE(store->OpenForAlbum());
            EXPECT_EQ(log.size(), 1u);
            EXPECT_FALSE(store->Record(Text("1")));
            EXPECT_FALSE(store->OpenForReading());
            EXPECT_EQ(store->CheckFile().verdict, RecordStore::FileVerdict::kUnreadable);
            store->Close();
            EXPECT_EQ(log.size(), 1u);
            EXPECT_TRUE(std::filesystem::is_empty(ToPath(folder)));
        }
    }
    EXPECT_FALSE(RecordStore::IsValidUserId(Text(std::string(65, '7'))));
    EXPECT_TRUE(RecordStore::IsValidUserId(Text(std::string(64, '7'))));
}

TEST_F(RecordStoreTest, FirstRunCreatesAtStartAndRecordsEveryPhoto) {
    ASSERT_TRUE(engine.FileSystem().EnsureFolder(folder));
    auto store = Store();
    ASSERT_TRUE(store->Prepare());
    EXPECT_TRUE(std::filesystem::exists(ToPath(folder) / "5566.zdb"));
    auto got = RunAlbum(*store, {P(1), P(2), P(3)});
    EXPECT_EQ(got.size(), 3u);
    EXPECT_TRUE(log.empty());  // created at run start: the album logs nothing
    auto report = CheckDatabaseFiles(engine.FileSystem(), store->DataFile(), store->IndexFile());
    EXPECT_TRUE(report.Sound());
    EXPECT_EQ(report.records, 3);
}

TEST_F(RecordStoreTest, AlbumRecreatesADeletedDatabaseAndSaysSo) {
    auto store = Store();
    ASSERT_TRUE(store->OpenForAlbum());  // the folder does not exist yet either
    store->Close();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0], "防止重复下载数据库创建成功\r\n"_t);
    std::filesystem::remove(ToPath(store->DataFile()));
    ASSERT_TRUE(store->OpenForAlbum());
    EXPECT_EQ(log.size(), 2u);
}

TEST_F(RecordStoreTest, SecondRunDownloadsOnlyTheNewPhotos) {
    auto store = Store();
    std::vector<std::string> first, second = {"N1", "N2"};
    for (int i = 1; i <= 100; ++i) first.push_back(P(i));
    second.insert(second.end(), first.begin(), first.end());
    EXPECT_EQ(RunAlbum(*store, first).size(), 100u);
    EXPECT_EQ(RunAlbum(*store, second), (std::vector<std::string>{"N1", "N2"}));
    // Reverse order, and a third run that has seen them all.
    std::vector<std::string> third(second.rbegin(), second.rend());
    EXPECT_TRUE(RunAlbum(*store, third).empty());
    ASSERT_TRUE(store->OpenForReading());
    EXPECT_EQ(store->AllIds().size(), 102u);  // every photo stored once
}

TEST_F(RecordStoreTest, LookupsScanWhenTheIndexCannotBeMade) {
    auto store = Store();
    ASSERT_TRUE(engine.FileSystem().EnsureFolder(folder));
    ASSERT_TRUE(store->Prepare());
    std::filesystem::create_directory(ToPath(store->IndexFile()));  // blocks the index file
    EXPECT_EQ(RunAlbum(*store, {P(1), P(2), P(3)}).size(), 3u);
    EXPECT_EQ(RunAlbum(*store, {P(4), P(3), P(2), P(1)}), (std::vector<std::string>{P(4)}));
}

TEST_F(RecordStoreTest, LongIdsCompareAsStored) {
    auto store = Store();
    ASSERT_TRUE(store->OpenForAlbum());
    Text a("1234567890123456789012345"), sameStart("12345678901234567890XXXXX");
    EXPECT_TRUE(store->Record(a));
    EXPECT_TRUE(store->Contains(a));
    EXPECT_TRUE(store->Contains(sameStart));  // the stored, cut key is all there is
    EXPECT_TRUE(store->Record(sameStart));
    EXPECT_EQ(store->AllIds(), std::vector<Text>{Text("12345678901234567890")});
    EXPECT_FALSE(store->Record(Text("")));
    EXPECT_FALSE(store->Contains(Text("")));
}

TEST_F(RecordStoreTest, FailedCreationLogsAndTheAlbumRunsWithoutRecords) {
    MemoryFileSystem fs;
    fs.failCreate = true;
    RecordEngine mem(fs);
    auto store = RecordStore::ForUser(
        Text("/rec"), Text("9"), AlbumRecords(), [this](const Text& t) { log.push_back(t); }, mem);
    EXPECT_FALSE(store->Prepare());
    EXPECT_TRUE(log.empty());  // silent at run start
    EXPECT_FALSE(store->OpenForAlbum());
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0], "防止重复下载数据库创建失败\r\n"_t);
    EXPECT_FALSE(store->Contains(Text("x")));
    EXPECT_FALSE(store->Record(Text("x")));
    store->Close();
}

TEST_F(RecordStoreTest, AnAlbumLeftOpenByAStopIsReopened) {
    auto store = Store();
    ASSERT_TRUE(store->OpenForAlbum());
    ASSERT_TRUE(store->Record(Text("a")));
    ASSERT_TRUE(store->OpenForAlbum());  // no Close in between
    EXPECT_TRUE(store->Contains(Text("a")));
}

TEST_F(RecordStoreTest, ReadingSeesRecordsTheIndexMissed) {
    auto store = Store();
    EXPECT_EQ(RunAlbum(*store, {P(1), P(2)}).size(), 2u);
    {
        RecordEngine other;  // appends without the index open, as a crash before its update
        ASSERT_TRUE(other.OpenDatabase(store->DataFile()));
        ASSERT_TRUE(other.AddRecord({Text(P(3))}));
    }
    ASSERT_TRUE(store->OpenForReading());
    EXPECT_TRUE(store->Contains(Text(P(1))));
    EXPECT_TRUE(store->Contains(Text(P(3))));
    EXPECT_FALSE(store->Contains(Text(P(4))));
    store->Close();
    EXPECT_EQ(RunAlbum(*store, {P(3), P(4)}), std::vector<std::string>{P(4)});  // rebuilt index
}

TEST_F(RecordStoreTest, TwoOpeningsShareOneIndex) {
    RecordEngine otherEngine;  // another process, as far as files and locks go
    auto mine = Store();
    auto theirs = RecordStore::ForUser(folder, Text("5566"), AlbumRecords(), {}, otherEngine);
    ASSERT_TRUE(mine->OpenForAlbum());
    ASSERT_TRUE(theirs->OpenForAlbum());  // cannot rebuild the index mine holds open
    ASSERT_TRUE(theirs->Record(Text(P(1))));
    EXPECT_TRUE(mine->Contains(Text(P(1))));
    ASSERT_TRUE(mine->Record(Text(P(2))));
    EXPECT_TRUE(theirs->Contains(Text(P(2))));
    mine->Close();
    theirs->Close();
    auto report = CheckDatabaseFiles(engine.FileSystem(), mine->DataFile(), mine->IndexFile());
    EXPECT_TRUE(report.Sound());
    EXPECT_EQ(report.indexEntries, 2);
}

// A web database holds whole ids of up to 40 bytes in its own file, beside the user's
// album-service database and unseen by it.
TEST_F(RecordStoreTest, WebRecordsKeepWholeIdsInTheirOwnFile) {
    auto album = Store();
    auto web = RecordStore::ForUser(
        folder, Text("5566"), WebRecords(), [this](const Text& t) { log.push_back(t); }, engine);
    const Text forty(std::string(40, 'a')), sameStart(std::string(39, 'a') + "b");
    const Text longer(std::string(41, 'a'));
    EXPECT_EQ(RunAlbum(*album, {P(1)}).size(), 1u);
    EXPECT_EQ(RunAlbum(*web, {P(1), forty.bytes(), sameStart.bytes()}).size(), 3u);

    ASSERT_TRUE(web->OpenForAlbum());
    EXPECT_TRUE(web->Contains(forty));
    EXPECT_TRUE(web->Contains(sameStart));
    // A longer id is never cut to a stored id's length: it is kept as a digest that fits.
    const Text longerStill(std::string(40, 'a') + "b");
    EXPECT_FALSE(web->Contains(longer));
    EXPECT_TRUE(web->Record(longer));
    EXPECT_TRUE(web->Contains(longer));
    EXPECT_FALSE(web->Contains(longerStill));
    EXPECT_FALSE(web->Contains(Text(P(2))));
    const std::vector<Text> ids = web->AllIds();
    ASSERT_EQ(ids.size(), 4u);
    EXPECT_EQ(std::vector<Text>(ids.begin(), ids.begin() + 3),
              (std::vector<Text>{Text(P(1)), forty, sameStart}));
    EXPECT_EQ(ids[3].size(), 40u);
    EXPECT_NE(ids[3], forty);
    web->Close();

    ASSERT_TRUE(album->OpenForAlbum());
    EXPECT_FALSE(album->Contains(forty));
    EXPECT_EQ(album->AllIds(), std::vector<Text>{Text(P(1))});
    album->Close();

    EXPECT_TRUE(std::filesystem::exists(ToPath(folder + "/5566-网页版.zdb"_t)));
    auto report = CheckDatabaseFiles(engine.FileSystem(), web->DataFile(), web->IndexFile());
    EXPECT_TRUE(report.Sound());
    EXPECT_EQ(report.indexEntries, 4);
    // The records tool's way in finds the kind from the file.
    EXPECT_EQ(&RecordStore::ForDataFile(web->DataFile(), BothLayouts(), {}, engine)->Layout(),
              &WebRecords());
    EXPECT_EQ(&RecordStore::ForDataFile(album->DataFile(), BothLayouts(), {}, engine)->Layout(),
              &AlbumRecords());
}

}  // namespace
}  // namespace ovx
