// Several processes (and openings) on one database.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <set>

#include "RecordDbTestUtil.h"
#include "runtime/recorddb/DbCheck.h"
#include "runtime/recorddb/DbError.h"
#include "runtime/recorddb/RecordEngine.h"

namespace ovx {
namespace {

using testing::PhotoFields;
using testing::TempFolder;
using testing::TextOf;

constexpr int kPerChild = 400;

// Runs in a forked child: waits for the start signal, then appends its ids.
int AppendIds(const Text& db, int pipeIn, int child) {
    char go;
    if (read(pipeIn, &go, 1) != 1) return 10;
    RecordEngine engine;
    DbOpenOptions options;
    options.indexFiles = {Text("shared")};
    if (!engine.OpenDatabase(db, options)) return 11;
    for (int i = 0; i < kPerChild; ++i) {
        std::string id = "c" + std::to_string(child) + "-" + std::to_string(i);
        if (!engine.AddRecord({Text(id)})) return 12;
    }
    return engine.CloseDatabase() ? 0 : 13;
}

TEST(SharedAccessTest, TwoProcessesAppendingAtOnceLoseNothing) {
    TempFolder dir;
    Text db = dir / "shared.zdb";
    {
        RecordEngine engine;
        ASSERT_TRUE(engine.CreateDatabase(db, PhotoFields()));
        ASSERT_TRUE(engine.OpenDatabase(db));
        ASSERT_TRUE(engine.CreateIndex(Text("shared"), {Text("photo_id")}));
        ASSERT_TRUE(engine.CloseDatabase());
    }
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    pid_t children[2];
    for (int c = 0; c < 2; ++c) {
        children[c] = fork();
        ASSERT_GE(children[c], 0);
        if (children[c] == 0) {
            close(fds[1]);
            _exit(AppendIds(db, fds[0], c));
        }
    }
    close(fds[0]);
    ASSERT_EQ(write(fds[1], "gg", 2), 2);  // both start together
    close(fds[1]);
    for (pid_t pid : children) {
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 0);
    }

    auto report = CheckDatabaseFiles(PosixFileSystem(), db, dir / "shared.ZDX");
    EXPECT_TRUE(report.Sound()) << report.problems.front();
    EXPECT_EQ(report.records, 2 * kPerChild);
    EXPECT_EQ(report.indexEntries, 2 * kPerChild);
    RecordEngine engine;
    ASSERT_TRUE(engine.OpenDatabase(db));
    std::set<std::string> ids;
    for (int r = 0; r < 2 * kPerChild; ++r) {
        ASSERT_TRUE(engine.GoToRecord(r));
        ids.insert(TextOf(engine.ReadField(1)).bytes());
    }
    EXPECT_EQ(ids.size(), 2u * kPerChild);
    std::string bytes = testing::ReadAll(db);
    EXPECT_EQ(testing::I32At(bytes, 20), 2 * kPerChild + 1);  // next record id
}

// A lookup made before another opening appends enough to deepen the tree still finds old and
// new keys afterwards, and a key seen missing before is found once the other opening adds it.
TEST(SharedAccessTest, SeeksSeeTheTreeAnotherOpeningGrew) {
    TempFolder dir;
    Text db = dir / "grow.zdb";
    RecordEngine reader, writer;
    ASSERT_TRUE(reader.CreateDatabase(db, PhotoFields()));
    ASSERT_TRUE(writer.OpenDatabase(db));
    ASSERT_TRUE(writer.CreateIndex(Text("grow"), {Text("photo_id")}));
    ASSERT_TRUE(writer.AddRecord({Text("first")}));
    DbOpenOptions options;
    options.indexFiles = {Text("grow")};
    ASSERT_TRUE(reader.OpenDatabase(db, options));
    auto seek = [&](const std::string& id) {
        reader.GoToRecord(0);
        return reader.SeekIndex({Text(id)});
    };
    EXPECT_TRUE(seek("first"));
    EXPECT_FALSE(seek("w-0"));
    for (int i = 0; i < 600; ++i) ASSERT_TRUE(writer.AddRecord({Text("w-" + std::to_string(i))}));
    for (int i = 0; i < 600; i += 7) {
        EXPECT_TRUE(seek("w-" + std::to_string(i))) << i;
        EXPECT_EQ(reader.CurrentRecord(), i + 1);
    }
    EXPECT_TRUE(seek("first"));
    EXPECT_EQ(reader.CurrentRecord(), 0);
    EXPECT_FALSE(seek("w-600"));
    ASSERT_TRUE(writer.AddRecord({Text("w-600")}));
    EXPECT_TRUE(seek("w-600"));
    EXPECT_EQ(reader.CurrentRecord(), 601);
}

TEST(SharedAccessTest, ExclusiveOpeningsShutOthersOut) {
    TempFolder dir;
    Text db = dir / "x.zdb";
    RecordEngine first, second;
    ASSERT_TRUE(first.CreateDatabase(db, PhotoFields()));
    DbOpenOptions exclusive;
    exclusive.share = 4;
    ASSERT_TRUE(first.OpenDatabase(db, exclusive));
    EXPECT_FALSE(second.OpenDatabase(db));
    EXPECT_EQ(LastDbError(), kDbSharing);
    EXPECT_FALSE(second.CreateDatabase(db, PhotoFields()));  // no overwriting under its feet
    ASSERT_TRUE(first.CloseDatabase());
    ASSERT_TRUE(second.OpenDatabase(db));
    ASSERT_TRUE(first.OpenDatabase(db));  // two shared openings are fine
    ASSERT_TRUE(first.AddRecord({Text("from first")}));
    EXPECT_EQ(second.RecordCount(), 1);  // the count is read from the file every time
    ASSERT_TRUE(second.CreateIndex(Text("x"), {Text("photo_id")}));
    EXPECT_FALSE(first.CreateIndex(Text("x"), {Text("photo_id")}));  // open in the other
    EXPECT_EQ(LastDbError(), kDbIndexCreate);
}

}  // namespace
}  // namespace ovx
