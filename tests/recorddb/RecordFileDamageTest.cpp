// Record files the store must not write to: another program's database (or no database at
// all) and a file whose header counts fewer records than it holds. Both are refused and left
// byte for byte as they are, the album goes on without records, and nothing ends the process;
// the records tool says what is wrong.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>

#include "RecordDbTestUtil.h"
#include "TestLayouts.h"
#include "download/RecordStore.h"
#include "runtime/recorddb/DbCheck.h"
#include "runtime/recorddb/DbError.h"

namespace ovx {
namespace {

using testing::I32At;
using testing::ReadAll;
using testing::TempFolder;
using testing::TextOf;
using testing::WriteAll;
using Verdict = RecordStore::FileVerdict;

const char kForeignLine[] = "防止重复下载数据库格式不符，本相册不做下载记录：";
const char kDamagedLine[] = "防止重复下载数据库记录数已损坏，本相册不做下载记录：";

std::string Id(int i) {
    return "4400000000" + std::to_string(100000 + i);
}

void SetCount(std::string& bytes, std::int32_t count) {
    for (int i = 0; i < 4; ++i) bytes[16 + i] = static_cast<char>(count >> (8 * i));
}

bool Exists(const Text& path) {
    return std::filesystem::exists(ToPath(path));
}

class RecordFileDamageTest : public ::testing::Test {
  protected:
    TempFolder dir;
    RecordEngine engine;
    std::vector<Text> log;

    std::unique_ptr<RecordStore> Store(const char* user = "77") {
        return RecordStore::ForUser(
            dir / "", Text(user), testing::AlbumRecords(),
            [this](const Text& t) { log.push_back(t); }, engine);
    }
    // A database of the store's layout holding n ids, with its index.
    std::unique_ptr<RecordStore> Filled(int n) {
        auto store = Store();
        EXPECT_TRUE(store->OpenForAlbum());
        for (int i = 0; i < n; ++i) EXPECT_TRUE(store->Record(Text(Id(i))));
        store->Close();
        log.clear();
        return store;
    }
    // The album's view of a refused file: nothing found, nothing recorded, nothing written.
    void ExpectRefused(RecordStore& store, const char* line, Verdict verdict) {
        const std::string data = ReadAll(store.DataFile());
        const bool hadIndex = Exists(store.IndexFile());
        const std::string index = hadIndex ? ReadAll(store.IndexFile()) : std::string();
        log.clear();
        EXPECT_FALSE(store.OpenForAlbum());
        ASSERT_EQ(log.size(), 1u);
        EXPECT_EQ(log[0], Utf8ToLocal(line) + store.DataFile() + Text("\r\n"));
        EXPECT_FALSE(store.IsOpen());
        EXPECT_FALSE(store.Contains(Text(Id(1))));
        EXPECT_FALSE(store.Record(Text(Id(1))));
        EXPECT_FALSE(store.OpenForReading());
        EXPECT_EQ(store.CheckFile().verdict, verdict);
        store.Close();
        EXPECT_EQ(log.size(), 1u);
        EXPECT_EQ(ReadAll(store.DataFile()), data);
        EXPECT_EQ(Exists(store.IndexFile()), hadIndex);  // no index made for it
        if (hadIndex) {
            EXPECT_EQ(ReadAll(store.IndexFile()), index);
        }
    }
};

TEST_F(RecordFileDamageTest, ForeignFilesAreLoggedOnceAndLeftUntouched) {
    const std::vector<std::vector<DbFieldSpec>> layouts = {
        {{Text("photo_ix"), kFieldText, 20}},                                    // other name
        {{Text("photo_id"), kFieldInt, 0}},                                      // other type
        {{Text("photo_id"), kFieldText, 32}},                                    // other width
        {{Text("photo_id"), kFieldText, 20}, {Text("caption"), kFieldText, 8}},  // two fields
    };
    for (const auto& fields : layouts) {
        SCOPED_TRACE(fields.size() == 2 ? "two fields" : LocalToUtf8(fields[0].name));
        auto store = Store();
        ASSERT_TRUE(engine.CreateDatabase(store->DataFile(), fields));
        ASSERT_TRUE(engine.OpenDatabase(store->DataFile()));
        DbValue value =
            fields[0].type == kFieldText ? DbValue(Text("x")) : DbValue(std::int64_t{5});
        ASSERT_TRUE(engine.AddRecord({value}));
        // A field the file does not have is an error for the engine, not the end.
        EXPECT_EQ(TextOf(engine.ReadField(3)), Text(""));
        EXPECT_EQ(LastDbError(), kDbFieldNotFound);
        ASSERT_TRUE(engine.CloseDatabase());
        // Trailing bytes that opening for writing would cut off.
        WriteAll(store->DataFile(), ReadAll(store->DataFile()) + "tail");
        ExpectRefused(*store, kForeignLine, Verdict::kForeign);
        std::filesystem::remove(ToPath(store->DataFile()));
    }
    auto store = Store();
    WriteAll(store->DataFile(), std::string(300, 'Z'));  // no database at all
    ExpectRefused(*store, kForeignLine, Verdict::kForeign);
}

TEST_F(RecordFileDamageTest, ADamagedCountKeepsEveryRecord) {
    auto store = Filled(10);
    std::string bytes = ReadAll(store->DataFile());
    SetCount(bytes, 5);
    WriteAll(store->DataFile(), bytes);
    ExpectRefused(*store, kDamagedLine, Verdict::kDamagedCount);
    EXPECT_EQ(store->CheckFile().detail, "header count 5 but the file holds 10 records");

    // The engine itself will not cut such a file either; reading it is harmless.
    EXPECT_FALSE(engine.OpenDatabase(store->DataFile()));
    EXPECT_EQ(LastDbError(), kDbDataSize);
    EXPECT_EQ(ReadAll(store->DataFile()), bytes);
    DbCheckReport report = CheckDatabaseFiles(engine.FileSystem(), store->DataFile(), Text());
    ASSERT_FALSE(report.Sound());
    EXPECT_EQ(report.problems[0].rfind("header count 5 but the file holds 10 records", 0), 0u);

    // Mending the count gives every record back.
    SetCount(bytes, 10);
    WriteAll(store->DataFile(), bytes);
    log.clear();
    ASSERT_TRUE(store->OpenForAlbum());
    EXPECT_TRUE(log.empty());
    for (int i = 0; i < 10; ++i) EXPECT_TRUE(store->Contains(Text(Id(i)))) << i;
}

TEST_F(RecordFileDamageTest, OneRecordBeyondTheCountIsAnAppendCutShort) {
    auto store = Filled(10);
    std::string bytes = ReadAll(store->DataFile());
    SetCount(bytes, 9);
    WriteAll(store->DataFile(), bytes + "part");  // one whole record and a partial one
    EXPECT_EQ(store->CheckFile().verdict, Verdict::kUsable);
    ASSERT_TRUE(store->OpenForAlbum());
    EXPECT_TRUE(log.empty());
    EXPECT_EQ(store->AllIds().size(), 9u);
    EXPECT_FALSE(store->Contains(Text(Id(9))));
    store->Close();
    bytes = ReadAll(store->DataFile());
    EXPECT_EQ(bytes.size(), 188u + 24u * 9u);
    EXPECT_EQ(I32At(bytes, 16), 9);
}

// Each kind's store takes only its own layout: the other kind's file at its name is foreign.
TEST_F(RecordFileDamageTest, EachKindRefusesTheOthersLayout) {
    for (const RecordLayout* kind : testing::BothLayouts()) {
        const RecordLayout& other =
            kind == &testing::WebRecords() ? testing::AlbumRecords() : testing::WebRecords();
        auto store = RecordStore::ForUser(
            dir / "", Text("77"), *kind, [this](const Text& t) { log.push_back(t); }, engine);
        ASSERT_TRUE(engine.CreateDatabase(store->DataFile(), RecordStore::Fields(other)));
        ExpectRefused(*store, kForeignLine, Verdict::kForeign);
        std::filesystem::remove(ToPath(store->DataFile()));
    }
}

// A symbolic link in place of the data file or the index is never opened, written or
// replaced, whether it points at a file elsewhere or at nothing: the album goes on without
// records after one line naming the link and why.
TEST_F(RecordFileDamageTest, LinksInPlaceOfRecordFilesAreLeftAlone) {
    namespace fs = std::filesystem;
    const fs::path outside = dir.path() / "elsewhere";
    fs::create_directory(outside);
    for (bool indexLink : {false, true}) {
        for (bool dangling : {false, true}) {
            SCOPED_TRACE(std::string(indexLink ? "index" : "data") +
                         (dangling ? ", dangling" : ", to a file"));
            auto store = Filled(3);
            const Text link = indexLink ? store->IndexFile() : store->DataFile();
            const fs::path target = outside / "target";
            fs::remove(ToPath(link));
            fs::remove(target);
            if (!dangling) WriteAll(FromPath(target), "not yours");
            fs::create_symlink(target, ToPath(link));

            log.clear();
            EXPECT_TRUE(store->Prepare());  // something is there: nothing is created
            EXPECT_FALSE(store->OpenForAlbum());
            ASSERT_EQ(log.size(), 1u);
            EXPECT_NE(log[0].view().find(link.view()), std::string_view::npos);
            EXPECT_NE(log[0].view().find(DbErrorMessage(kDbSymbolicLink).view()),
                      std::string_view::npos);
            EXPECT_FALSE(store->IsOpen());
            EXPECT_FALSE(store->Record(Text(Id(9))));
            // Reading goes without an index that is a link, never through it.
            EXPECT_EQ(store->OpenForReading(), indexLink);
            if (indexLink) {
                EXPECT_TRUE(store->Contains(Text(Id(1))));
                store->Close();
            } else {
                EXPECT_FALSE(engine.CreateDatabase(link, testing::PhotoFields()));
                EXPECT_EQ(LastDbError(), kDbSymbolicLink);
                EXPECT_EQ(store->CheckFile().verdict, Verdict::kUnreadable);
            }
            EXPECT_EQ(log.size(), 1u);
            EXPECT_TRUE(fs::is_symlink(ToPath(link)));
            EXPECT_EQ(fs::read_symlink(ToPath(link)), target);
            if (dangling)
                EXPECT_FALSE(fs::exists(fs::symlink_status(target)));
            else
                EXPECT_EQ(ReadAll(FromPath(target)), "not yours");
            fs::remove(ToPath(link));
            fs::remove(ToPath(store->DataFile()));
            fs::remove(ToPath(store->IndexFile()));
        }
    }
}

TEST_F(RecordFileDamageTest, ADatabaseHeldExclusivelyIsSaidOnceWithTheReason) {
    auto store = Filled(2);
    RecordEngine other;  // another process, as far as files and locks go
    DbOpenOptions exclusive;
    exclusive.share = kShareExclusive;
    ASSERT_TRUE(other.OpenDatabase(store->DataFile(), exclusive));
    EXPECT_FALSE(store->OpenForAlbum());
    ASSERT_EQ(log.size(), 1u);
    EXPECT_NE(log[0].view().find(store->DataFile().view()), std::string_view::npos);
    EXPECT_NE(log[0].view().find(DbErrorMessage(kDbSharing).view()), std::string_view::npos);
    ASSERT_TRUE(other.CloseDatabase());
    log.clear();
    EXPECT_TRUE(store->OpenForAlbum());
    EXPECT_TRUE(store->Contains(Text(Id(1))));
    EXPECT_TRUE(log.empty());
}

#ifdef OVX_RECORDS_TOOL
// Runs ovatrix-records with the arguments; its exit status, and stdout and stderr together.
int RunTool(const std::string& args, std::string& output) {
    std::string command = std::string("'") + OVX_RECORDS_TOOL + "' " + args + " 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return -1;
    output.clear();
    char buffer[512];
    while (std::size_t n = fread(buffer, 1, sizeof buffer, pipe)) output.append(buffer, n);
    int status = pclose(pipe);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST_F(RecordFileDamageTest, RecordsToolRefusesAndNamesTheProblem) {
    const std::string data = LocalToUtf8(dir / "a.zdb");
    const std::string file = "'" + data + "'";
    std::string out, ids;
    for (int i = 0; i < 10; ++i) ids += " " + Id(i);
    ASSERT_EQ(RunTool("add " + file + ids, out), 0) << out;

    std::string bytes = ReadAll(Utf8ToLocal(data));
    SetCount(bytes, 5);
    WriteAll(Utf8ToLocal(data), bytes);
    EXPECT_EQ(RunTool("add " + file + " 777", out), 2) << out;
    EXPECT_NE(out.find("header count 5 but the file holds 10 records"), std::string::npos) << out;
    EXPECT_EQ(RunTool("has " + file + " " + Id(7), out), 2) << out;
    EXPECT_EQ(ReadAll(Utf8ToLocal(data)), bytes);
    EXPECT_EQ(RunTool("check " + file, out), 1) << out;
    EXPECT_NE(out.find("header count 5 but the file holds 10 records"), std::string::npos) << out;

    SetCount(bytes, 10);
    WriteAll(Utf8ToLocal(data), bytes);
    EXPECT_EQ(RunTool("add " + file + " 777", out), 0) << out;
    EXPECT_EQ(RunTool("has " + file + " " + Id(7), out), 0) << out;
    EXPECT_EQ(RunTool("check " + file, out), 0) << out;

    // Another program's database: refused, never the fatal end (status 255) it once was.
    const Text foreign = dir / "b.zdb";
    ASSERT_TRUE(engine.CreateDatabase(foreign, {{Text("name"), kFieldText, 20}}));
    const std::string foreignBytes = ReadAll(foreign);
    const std::string foreignFile = "'" + LocalToUtf8(foreign) + "'";
    EXPECT_EQ(RunTool("has " + foreignFile + " x", out), 2) << out;
    EXPECT_NE(out.find("not a download record database"), std::string::npos) << out;
    EXPECT_EQ(RunTool("add " + foreignFile + " x", out), 2) << out;
    EXPECT_EQ(RunTool("check " + foreignFile, out), 1) << out;
    EXPECT_NE(out.find("not a download record database"), std::string::npos) << out;
    EXPECT_EQ(ReadAll(foreign), foreignBytes);
}

// Web databases are told by their layout (a new one by its name) and keep whole ids, a longer
// one as the digest a download records; a link given as the file is refused like any file
// that cannot be opened.
TEST_F(RecordFileDamageTest, RecordsToolTakesWebDatabasesAndRefusesLinks) {
    const std::string web = "'" + LocalToUtf8(dir / "") + "5-网页版.zdb'";
    const std::string forty(40, '4'), longer(41, '4');
    std::string out;
    EXPECT_EQ(RunTool("add " + web + " " + forty + " " + longer, out), 0) << out;
    EXPECT_EQ(RunTool("has " + web + " " + forty, out), 0) << out;
    EXPECT_EQ(RunTool("has " + web + " " + longer, out), 0) << out;
    EXPECT_EQ(RunTool("has " + web + " " + forty.substr(0, 20), out), 1) << out;
    EXPECT_EQ(RunTool("list " + web, out), 0) << out;
    EXPECT_EQ(out, forty + "\n" +
                       RecordStore::StoredKey(testing::WebRecords(), Text(longer)).bytes() + "\n");
    EXPECT_EQ(RunTool("check " + web, out), 0) << out;

    // A web layout under any name is a web database.
    const Text plain = dir / "plain.zdb";
    ASSERT_TRUE(engine.CreateDatabase(plain, RecordStore::Fields(testing::WebRecords())));
    const std::string plainFile = "'" + LocalToUtf8(plain) + "'";
    EXPECT_EQ(RunTool("add " + plainFile + " " + forty, out), 0) << out;
    EXPECT_EQ(RunTool("check " + plainFile, out), 0) << out;

    const std::filesystem::path target = dir.path() / "target";
    WriteAll(FromPath(target), "not yours");
    const Text link = dir / "link.zdb";
    std::filesystem::create_symlink(target, ToPath(link));
    const std::string linkFile = "'" + LocalToUtf8(link) + "'";
    EXPECT_EQ(RunTool("add " + linkFile + " 1", out), 2) << out;
    EXPECT_EQ(RunTool("list " + linkFile, out), 2) << out;
    EXPECT_EQ(ReadAll(FromPath(target)), "not yours");
    EXPECT_TRUE(std::filesystem::is_symlink(ToPath(link)));
}
#endif

}  // namespace
}  // namespace ovx
