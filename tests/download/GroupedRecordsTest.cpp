// Placed photos are made durable and recorded a group at a time: what a stop, a pause and a
// group's lost records leave behind, and that no record comes before its folder's sync.

#include <atomic>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "ListedAlbumFixture.h"
#include "download/AlbumDownload.h"
#include "download/PhotoNaming.h"
#include "runtime/DurableFile.h"

namespace ovx::test {
namespace {

class GroupedRecordsTest : public ListedAlbumFixture {
  protected:
    // Pictures g1..gN, each with bytes of its own; every `liveEvery`-th a live photo, every
    // `goneEvery`-th gone (404, never saved).
    std::vector<PhotoItem> Pictures(int count, int liveEvery = 0, int goneEvery = 0) {
        std::vector<PhotoItem> items;
        for (int i = 1; i <= count; ++i) {
            const std::string n = std::to_string(i);
            if (goneEvery > 0 && i % goneEvery == 0) {
                Serve("/p" + n + ".jpg", {404, "", {}});
            } else {
                Serve("/p" + n + ".jpg", {200, kJpeg + n, {}});
            }
            items.push_back(Picture("g" + n, Url("/p" + n + ".jpg"), i));
            if (liveEvery > 0 && i % liveEvery == 0) {
                Serve("/p" + n + ".mov", {200, kMov + n, {}});
                items.back().videoAddress = Text(Url("/p" + n + ".mov"));
            }
        }
        return items;
    }

    // The ids the album folder's files belong to ("(7)图.jpg" is g7, "(7)图.mov" g7.mov);
    // a temporary or any other name shows as itself.
    std::set<std::string> FileIds() const {
        std::set<std::string> ids;
        for (const std::string& name : Files()) {
            const std::size_t close = name.find(')');
            const std::string rest = close == std::string::npos ? "" : name.substr(close + 1);
            if (name.front() != '(' || (rest != "图.jpg" && rest != "图.mov")) {
                ids.insert(name);
                continue;
            }
            ids.insert("g" + name.substr(1, close - 1) + (rest == "图.mov" ? ".mov" : ""));
        }
        return ids;
    }
    std::set<std::string> RecordedSet() {
        const std::vector<std::string> ids = Recorded();
        return {ids.begin(), ids.end()};
    }
};

TEST_F(GroupedRecordsTest, AStopInTheMiddleOfAGroupRecordsEveryPlacedPhotoAndLeavesNoTemporary) {
    struct Case {
        int stopAt;     // the picture whose turn the stop comes at
        int liveEvery;  // live photos: their videos are files and records too
        std::size_t files;
    };
    const std::vector<Case> cases = {
        {5, 0, 4},        // in the first group
        {37, 0, 36},      // four into the second
        {12, 3, 11 + 3},  // stills and videos
        {33, 0, 32},      // right after a full group
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("stop at " + std::to_string(c.stopAt));
        std::error_code ec;
        fs::remove_all(Album(), ec);
        fs::remove_all(root_ / "records", ec);
        fs::create_directories(root_ / "records");
        const std::vector<PhotoItem> items = Pictures(40, c.liveEvery);

        RecordingView view;
        JobControl control;
        const std::string turn = "label:PhotoCount=" + std::to_string(c.stopAt);
        view.onEvent = [&](const std::string& event) {
            if (event == turn) control.Stop();
        };
        const DownloadSummary stopped = Run(items, true, &view, &control);
        EXPECT_TRUE(stopped.stopped);
        const std::set<std::string> placed = FileIds();
        EXPECT_EQ(placed.size(), c.files);
        EXPECT_EQ(RecordedSet(), placed);  // and so no temporary among the files

        // The next run fetches only what the stop left.
        const std::size_t asked = RequestLog().size();
        Run(items);
        EXPECT_EQ(RequestLog().size() - asked,
                  items.size() + (c.liveEvery ? 40 / c.liveEvery : 0) - c.files);
        EXPECT_EQ(RecordedSet(), FileIds());
    }
}

TEST_F(GroupedRecordsTest, TheRecordsAreTheFilesOnTheDiskAfterARun) {
    struct Case {
        std::string name;
        int pictures, liveEvery, goneEvery;
        int recordsKept;  // < 0: all; else a crash lost every record after the first ones
        int parallel = 1;
    };
    const std::vector<Case> cases = {
        {"three groups", 70, 0, 0, -1},
        {"live photos", 70, 4, 0, -1},
        {"gone pictures", 70, 0, 9, -1},
        {"the last group's records lost", 70, 5, 0, 64},
        {"every record lost", 40, 0, 7, 0},
        {"side by side: live photos and gone pictures", 70, 4, 9, -1, 4},
        {"side by side: the last group's records lost", 70, 5, 0, 64, 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        parallelImages_ = c.parallel;
        std::error_code ec;
        fs::remove_all(Album(), ec);
        fs::remove_all(root_ / "records", ec);
        fs::create_directories(root_ / "records");
        const std::vector<PhotoItem> items = Pictures(c.pictures, c.liveEvery, c.goneEvery);
        Run(items);
        const std::set<std::string> files = FileIds();
        EXPECT_EQ(RecordedSet(), files);
        if (c.recordsKept < 0) continue;

        // What the database holds when a crash came before the later groups' folder syncs.
        const std::vector<std::string> all = Recorded();
        fs::remove_all(root_ / "records", ec);
        fs::create_directories(root_ / "records");
        {
            RecordEngine engine;
            auto store = RecordStore::ForUser(FromPath(root_ / "records") + Text("/"), Text("42"),
                                              Layout(), {}, engine);
            ASSERT_TRUE(store->OpenForAlbum());
            for (int i = 0; i < c.recordsKept; ++i) ASSERT_TRUE(store->Record(Text(all[i])));
        }
        // Those files are fetched again and found under their names with the same bytes:
        // recorded, no second copy.
        const DownloadSummary again = Run(items);
        EXPECT_EQ(FileIds(), files);
        EXPECT_EQ(RecordedSet(), files);
        EXPECT_EQ(again.failed, 0);
    }
}

TEST_F(GroupedRecordsTest, NoRecordIsWrittenBeforeItsGroupsFolderSync) {
    // At each sync: what is recorded, and which files are there to be made durable.
    std::vector<std::set<std::string>> recordedAt, filesAt;
    syncFolder_ = [&](const Text& folder) {
        recordedAt.push_back(RecordedSet());
        filesAt.push_back(FileIds());
        EXPECT_EQ(folder, FromPath(Album()));
        return SyncFolder(ToPath(folder));
    };
    const std::vector<PhotoItem> items = Pictures(75, 6);
    Run(items);

    ASSERT_FALSE(filesAt.empty());
    const std::set<std::string> files = FileIds();
    EXPECT_EQ(filesAt.back(), files);  // the last group synced too
    EXPECT_EQ(RecordedSet(), files);
    EXPECT_GE(filesAt.size(),
              (files.size() + AlbumDownload::kGroupFiles - 1) / AlbumDownload::kGroupFiles);
    std::set<std::string> synced;
    for (std::size_t k = 0; k < filesAt.size(); ++k) {
        SCOPED_TRACE("sync " + std::to_string(k + 1));
        // Recorded by now: only files an earlier sync made durable.
        for (const std::string& id : recordedAt[k]) EXPECT_EQ(synced.count(id), 1u) << id;
        EXPECT_LE(filesAt[k].size() - synced.size(), AlbumDownload::kGroupFiles);
        synced = filesAt[k];
    }
}

TEST_F(GroupedRecordsTest, APauseDoesNotHoldTheOpenGroupsRecords) {
    for (int parallel : {1, 4}) {
        SCOPED_TRACE(parallel);
        parallelImages_ = parallel;
        std::error_code ec;
        fs::remove_all(Album(), ec);
        fs::remove_all(root_ / "records", ec);
        fs::create_directories(root_ / "records");
        const std::vector<PhotoItem> items = Pictures(10);
        RecordingView view;
        JobControl control;
        std::atomic<bool> paused{false};
        view.onEvent = [&](const std::string& event) {
            if (event == "label:PhotoCount=6") {
                control.Pause();
                paused = true;
            }
        };
        std::thread worker([&] { Run(items, true, &view, &control); });
        for (int i = 0; i < 1000 && !paused; ++i) std::this_thread::sleep_for(10ms);
        ASSERT_TRUE(paused);
        // While the run is held, every photo whose transfer ended is named and recorded: one
        // at a time the five before it, side by side those whose transfers had begun. A fetch
        // the pause holds has only its empty temporary.
        const auto named = [&] {
            std::set<std::string> ids = FileIds();
            std::erase_if(ids, [](const std::string& n) { return IsPhotoTemporaryName(Text(n)); });
            return ids;
        };
        // Once the folder has stood still for half a second (no transfer starts while held):
        std::set<std::string> recorded, files;
        for (int still = 0, i = 0; still < 50 && i < 2000; ++i) {
            std::this_thread::sleep_for(10ms);
            std::set<std::string> nowRecorded = RecordedSet(), nowFiles = FileIds();
            still = nowRecorded == recorded && nowFiles == files ? still + 1 : 0;
            recorded = std::move(nowRecorded);
            files = std::move(nowFiles);
        }
        EXPECT_EQ(recorded, named());
        if (parallel == 1) {
            EXPECT_EQ(recorded, FileIds());
            EXPECT_EQ(recorded.size(), 5u);
        }
        EXPECT_LT(recorded.size(), 10u);
        control.Continue();
        worker.join();
        EXPECT_EQ(RecordedSet().size(), 10u);
        EXPECT_EQ(RecordedSet(), FileIds());
    }
}

}  // namespace
}  // namespace ovx::test
