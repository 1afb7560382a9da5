// What a run does with what the image hosts answer: bodies that are no picture, pictures that
// are gone, shards that refuse, live photos whose video comes later, ids too long for their
// field, posts that could not be read, and a stop in the middle of a body. The pictures come
// from a protocol of the test's own and a loopback server that answers as each case says.

#include <atomic>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "ListedAlbumFixture.h"
#include "download/PhotoNaming.h"
#include "runtime/DateTime.h"

namespace ovx::test {
namespace {

class ImageFetchTest : public ListedAlbumFixture {};

TEST_F(ImageFetchTest, OnlyPicturesAreSavedAndTheirBytesNameTheirKind) {
    struct Case {
        std::string id, path, body;
        bool fromContent;
        std::string file;    // saved as; empty: not saved
        std::string reason;  // the log's reason when not saved
    };
    const std::vector<Case> cases = {
        {"p1", "/a.jpg", kJpeg, true, "(1)图.jpg", ""},
        // The query is no part of the name: a PNG stays a PNG.
        {"p2", "/b.jpg", kPng, true, "(2)图.png", ""},
        {"p3", "/c", kWebp, true, "(3)图.webp", ""},
        {"p4", "/d.gif", kGif, true, "(4)图.gif", ""},
        // The album service's extension is kept as given.
        {"p5", "/e.jpg", kPng, false, "(5)图.jpg", ""},
        {"p6", "/f.jpg", R"({"ok":0,"msg":"not found"})", true, "", "（状态码 200，内容不是图片）"},
        {"p7", "/g.jpg", "<html><body>login</body></html>", false, "",
         "（状态码 200，内容不是图片）"},
        {"p8", "/h.jpg", "", true, "", "（状态码 200，内容为空）"},
    };
    std::vector<PhotoItem> items;
    for (std::size_t i = 0; i < cases.size(); ++i) {
        Serve(cases[i].path, {200, cases[i].body, {}});
        const std::string query = cases[i].id == "p2" ? "?name=x.gif" : "";
        items.push_back(Picture(cases[i].id, Url(cases[i].path + query), static_cast<int>(i) + 1));
        items.back().extensionFromContent = cases[i].fromContent;
    }
    // A body that declares more than 256 MiB is refused before any of it is written.
    handlers_["/huge.jpg"] = [](const httplib::Request&, httplib::Response& res) {
        res.set_content_provider(std::size_t{300} << 20, "image/jpeg",
                                 [](std::size_t, std::size_t, httplib::DataSink& sink) {
                                     const std::string chunk(65536, '\xFF');
                                     return sink.write(chunk.data(), chunk.size());
                                 });
    };
    items.push_back(Picture("p9", Url("/huge.jpg"), 9));

    const DownloadSummary summary = Run(items);
    std::set<std::string> saved;
    std::vector<std::string> recorded;
    for (const Case& c : cases) {
        if (!c.file.empty()) {
            saved.insert(c.file);
            recorded.push_back(c.id);
        } else {
            EXPECT_TRUE(Logged("图片下载失败：" + c.id + c.reason + "\r\n")) << c.id << log_;
        }
    }
    EXPECT_TRUE(Logged("图片下载失败：p9（内容超过 256 MiB）\r\n")) << log_;
    EXPECT_EQ(Files(), saved);  // and no temporary
    EXPECT_EQ(Recorded(), recorded);
    EXPECT_EQ(summary.saved, static_cast<int>(saved.size()));
    EXPECT_EQ(summary.failed, static_cast<int>(cases.size() - saved.size()) + 1);
    EXPECT_EQ(summary.gone, 0);
    EXPECT_TRUE(LeftSomethingBehind(summary));
}

TEST_F(ImageFetchTest, GonePicturesAreCountedApartAndAskedForAgain) {
    struct Case {
        std::string id, path;
        Answer answer;
        std::string reason;
    };
    const std::vector<Case> cases = {
        {"g1",
         "/g1.jpg",
         {302, "", {{"Location", "/images/default_h_large.gif"}}},
         "跳转到 /images/default_h_large.gif"},
        {"g2",
         "/g2.jpg",
         {301, "", {{"Location", Url("/images/default_s.gif?x=1", "wx3.sinaimg.cn")}}},
         "跳转到 /images/default_s.gif"},
        {"g3", "/g3.jpg", {200, kGif, {{"x-image-errno", "101"}}}, "x-image-errno: 101"},
        {"g4", "/g4.jpg", {404, "", {}}, "状态码 404"},
        {"g5", "/g5.jpg", {410, "", {}}, "状态码 410"},
    };
    std::vector<PhotoItem> items;
    for (const Case& c : cases) {
        Serve(c.path, c.answer);
        items.push_back(Picture(c.id, Url(c.path), static_cast<int>(items.size()) + 1));
    }
    // Any other redirect is followed (by hand) to its picture.
    Serve("/moved.jpg", {302, "", {{"Location", Url("/real.jpg")}}});
    Serve("/real.jpg", {200, kJpeg, {}});
    items.push_back(Picture("m1", Url("/moved.jpg"), 6));
    // A live photo whose video is gone: the still is saved and recorded.
    Serve("/live.jpg", {200, kJpeg, {}});
    Serve("/live.mov", {404, "", {}});
    items.push_back(Picture("l1", Url("/live.jpg"), 7, "海"));
    items.back().videoAddress = Text(Url("/live.mov"));

    const DownloadSummary first = Run(items);
    for (const Case& c : cases)
        EXPECT_TRUE(Logged("图片已失效：" + c.id + "（" + c.reason + "）\r\n")) << c.id << log_;
    EXPECT_TRUE(Logged("视频已失效：l1（状态码 404）\r\n")) << log_;
    EXPECT_EQ(first.gone, 6);
    EXPECT_EQ(first.failed, 0);
    EXPECT_EQ(first.saved, 2);
    EXPECT_FALSE(LeftSomethingBehind(first));
    EXPECT_EQ(Files(), (std::set<std::string>{"(6)图.jpg", "(7)海.jpg"}));
    EXPECT_EQ(Recorded(), (std::vector<std::string>{"m1", "l1"}));
    // The placeholders themselves were never asked for.
    for (const std::string& request : RequestLog())
        EXPECT_EQ(request.find("/images/"), std::string::npos) << request;

    // Gone is not recorded: the next run asks again, for the live photo only its video.
    const DownloadSummary second = Run(items);
    EXPECT_EQ(second.gone, 6);
    EXPECT_EQ(second.skipped, 1);
    EXPECT_EQ(Requests("127.0.0.1/g4.jpg"), 2);
    EXPECT_EQ(Requests("127.0.0.1/live.jpg"), 1);
    EXPECT_EQ(Requests("127.0.0.1/live.mov"), 2);
}

// A 403 of one of wx1..wx4 is asked once of each of the other three before it fails; a 403 of
// any other host is asked once more, as any failing answer is.
TEST_F(ImageFetchTest, AShardsRefusalIsAskedOfTheOtherShards) {
    struct Case {
        std::string id, host;
        std::set<std::string> refusing;  // hosts that answer 403
        int requests;
        bool saved;
    };
    const std::vector<Case> cases = {
        {"s1", "wx2.sinaimg.cn", {"wx2.sinaimg.cn", "wx1.sinaimg.cn", "wx3.sinaimg.cn"}, 4, true},
        {"s2", "wx4.sinaimg.cn", {"wx4.sinaimg.cn"}, 2, true},
        {"s3",
         "wx1.sinaimg.cn",
         {"wx1.sinaimg.cn", "wx2.sinaimg.cn", "wx3.sinaimg.cn", "wx4.sinaimg.cn"},
         4,
         false},
        {"s4", "127.0.0.1", {"127.0.0.1"}, 2, false},
    };
    std::vector<PhotoItem> items;
    for (const Case& c : cases) {
        const std::string path = "/large/" + c.id + ".jpg";
        Serve(path, {200, kJpeg, {}});
        for (const std::string& host : c.refusing) Serve(host + path, {403, "", {}});
        items.push_back(Picture(c.id, Url(path, c.host), static_cast<int>(items.size()) + 1));
    }
    const DownloadSummary summary = Run(items);
    const std::vector<std::string> recorded = Recorded();
    for (const Case& c : cases) {
        int requests = 0;
        for (const std::string& request : RequestLog())
            requests += request.find("/large/" + c.id + ".jpg") != std::string::npos;
        EXPECT_EQ(requests, c.requests) << c.id;
        EXPECT_EQ(std::count(recorded.begin(), recorded.end(), c.id), c.saved ? 1 : 0) << c.id;
        if (!c.saved) {
            EXPECT_TRUE(Logged("图片下载失败：" + c.id + "（状态码 403）\r\n")) << log_;
        }
    }
    EXPECT_EQ(summary.saved, 2);
    EXPECT_EQ(summary.failed, 2);
    // Image requests never carry the session's cookies or the site's token.
    EXPECT_EQ(cookies_, 0);
}

TEST_F(ImageFetchTest, ALivePhotosStillIsRecordedOnceAndALaterRunFetchesOnlyItsVideo) {
    const std::string longId(60, 'z');
    Serve("/live.jpg", {200, kJpeg, {}});
    Serve("/live.mov", {500, "", {}});
    Serve("/long.jpg", {200, kPng, {}});
    Serve("/long.mp4", {200, kMov, {}});
    std::vector<PhotoItem> items = {Picture("L1", Url("/live.jpg"), 1, "海浪"),
                                    Picture(longId, Url("/long.jpg"), 2, "长")};
    items[0].videoAddress = Text(Url("/live.mov"));
    items[1].videoAddress = Text(Url("/long.mp4?type=mp4"));
    items[1].extensionFromContent = true;

    const DownloadSummary first = Run(items);
    EXPECT_EQ(first.saved, 2);
    EXPECT_EQ(first.failed, 1);
    EXPECT_TRUE(Logged("图片下载失败：L1（状态码 500）\r\n")) << log_;
    EXPECT_EQ(Files(), (std::set<std::string>{"(1)海浪.jpg", "(2)长.png", "(2)长.mp4"}));
    // The long id and its video's are kept as digests that fit the field.
    std::vector<std::string> ids = Recorded();
    ASSERT_EQ(ids.size(), 3u);
    EXPECT_EQ(ids[0], "L1");
    EXPECT_EQ(ids[1].size(), 40u);
    EXPECT_EQ(ids[2].size(), 40u);
    EXPECT_NE(ids[1], ids[2]);

    // The video comes now: only it is asked for, and it goes beside the still.
    Serve("/live.mov", {200, kMov, {}});
    const DownloadSummary second = Run(items);
    EXPECT_EQ(second.saved, 1);
    EXPECT_EQ(second.skipped, 1);
    EXPECT_EQ(second.failed, 0);
    EXPECT_EQ(Requests("127.0.0.1/live.jpg"), 1);
    EXPECT_EQ(Requests("127.0.0.1/live.mov"), 3);
    EXPECT_EQ(Requests("127.0.0.1/long.jpg"), 1);
    EXPECT_EQ(Files(),
              (std::set<std::string>{"(1)海浪.jpg", "(1)海浪.mov", "(2)长.png", "(2)长.mp4"}));
    EXPECT_EQ(Recorded().size(), 4u);
    EXPECT_EQ(Recorded()[3], "L1.mov");

    // Everything recorded: nothing is asked for.
    const std::size_t asked = RequestLog().size();
    EXPECT_EQ(Run(items).skipped, 2);
    EXPECT_EQ(RequestLog().size(), asked);

    // Without records both come again each run; the same bytes under a name are that file.
    const DownloadSummary unrecorded = Run(items, false);
    EXPECT_EQ(unrecorded.saved, 2);
    EXPECT_EQ(RequestLog().size(), asked + 4);
    EXPECT_EQ(Files().size(), 4u);
}

TEST_F(ImageFetchTest, UnreadablePostsFailAndUndatedPicturesStayOutOfAPeriod) {
    Serve("/a.jpg", {200, kJpeg, {}});
    std::vector<PhotoItem> items = {
        Picture("u1", Url("/a.jpg"), 1), Picture("d1", Url("/a.jpg"), 2),
        Picture("d2", Url("/a.jpg"), 3), Picture("ok", Url("/a.jpg"), 4)};
    items[0].unreadable = true;
    items[0].uploadSeconds.reset();
    items[1].uploadSeconds.reset();
    items[2].uploadSeconds.reset();

    // Without a period the undated pictures are saved; the unreadable one never is.
    DownloadSummary open = Run(items, false);
    EXPECT_EQ(open.saved, 3);
    EXPECT_EQ(open.failed, 1);
    EXPECT_TRUE(Logged("图片下载失败：u1（所在微博读取失败）\r\n")) << log_;

    fs::remove_all(root_ / "save");
    RecordingView view;
    view.answers.albumOptions.timeRange = true;
    view.answers.albumOptions.start = MakeDateTime(2014, 1, 1);
    view.answers.albumOptions.end = MakeDateTime(2015, 1, 1);
    const DownloadSummary period = Run(items, false, &view);
    EXPECT_EQ(period.saved, 1);
    EXPECT_EQ(period.failed, 1);
    EXPECT_EQ(period.undated, 2);
    EXPECT_EQ(Files(), std::set<std::string>{"(4)图.jpg"});
    EXPECT_TRUE(Logged("相册《相册》有 2 张图片没有上传时间，不在固定时间段内，未下载\r\n"))
        << log_;
    EXPECT_EQ(Requests("127.0.0.1/a.jpg"), 3 + 1);
}

TEST_F(ImageFetchTest, AStopInTheMiddleOfABodyLeavesNoFileBehind) {
    std::atomic<bool> begun{false};
    handlers_["/slow.jpg"] = [&](const httplib::Request&, httplib::Response& res) {
        res.set_content_provider(std::size_t{1} << 20, "image/jpeg",
                                 [&](std::size_t offset, std::size_t, httplib::DataSink& sink) {
                                     if (offset == 0) {
                                         const std::string head = kJpeg + std::string(4096, 'x');
                                         begun = true;
                                         return sink.write(head.data(), head.size());
                                     }
                                     std::this_thread::sleep_for(20ms);
                                     return sink.is_writable();
                                 });
    };
    JobControl control;
    std::thread stopper([&] {
        for (int i = 0; i < 1000 && !begun; ++i) std::this_thread::sleep_for(10ms);
        std::this_thread::sleep_for(100ms);
        control.Stop();
    });
    const DownloadSummary summary =
        Run({Picture("s1", Url("/slow.jpg"), 1)}, true, nullptr, &control);
    stopper.join();
    EXPECT_TRUE(begun);
    EXPECT_TRUE(summary.stopped);
    EXPECT_TRUE(Files().empty());
    EXPECT_TRUE(Recorded().empty());
}

// A login the service wants in the middle of a run ends it, and the window turns to its login
// page; what was saved before is recorded.
TEST_F(ImageFetchTest, ALoginLostDuringARunTurnsToTheLoginPage) {
    struct LoginView : RecordingView {
        void ShowLoginPage() override { ++shown; }
        int shown = 0;
    };
    Serve("/a.jpg", {200, kJpeg, {}});
    for (const PhotoCursor::Step last : {PhotoCursor::Step::End, PhotoCursor::Step::NotLoggedIn}) {
        LoginView view;
        const DownloadSummary summary =
            Run({Picture("a1", Url("/a.jpg"), 1)}, true, &view, nullptr, last);
        const bool lost = last == PhotoCursor::Step::NotLoggedIn;
        EXPECT_EQ(view.shown, lost ? 1 : 0);
        EXPECT_EQ(summary.notLoggedIn, lost);
        EXPECT_EQ(summary.stopped, lost);
        EXPECT_EQ(Recorded(), std::vector<std::string>{"a1"});
    }
}

// The window's log and ovatrix-cli end with the same line: the figures in their order, the
// two last ones only when there are any.
TEST(DownloadSummaryTest, TheSummaryLineNamesOnlyWhatHappened) {
    struct Case {
        DownloadSummary summary;
        std::string line;
    };
    const std::vector<Case> cases = {
        {{.saved = 3, .skipped = 2, .failed = 0}, "保存 3 张，跳过 2 张（已有记录），失败 0 张"},
        {{.saved = 1, .failed = 2, .gone = 4},
         "保存 1 张，跳过 0 张（已有记录），失败 2 张，已失效 4 张"},
        {{.gone = 1, .pagesLost = 5},
         "保存 0 张，跳过 0 张（已有记录），失败 0 张，已失效 1 张，未能读取 5 页"},
        {{.pagesLost = 1}, "保存 0 张，跳过 0 张（已有记录），失败 0 张，未能读取 1 页"},
    };
    for (const Case& c : cases) EXPECT_EQ(LocalToUtf8(SummaryLine(c.summary)), c.line);
}

}  // namespace
// With the records on, an album ends after N recorded pictures in a row; a pinned post's
// recorded pictures, on top whatever their age, neither count nor break the row.
TEST_F(ImageFetchTest, RecordedPicturesInARowEndTheAlbumPinnedOnesApart) {
    std::vector<PhotoItem> items;
    for (int n = 1; n <= 6; ++n) {
        Serve("/p" + std::to_string(n) + ".jpg", {200, kJpeg + std::to_string(n), {}});
        items.push_back(
            Picture("p" + std::to_string(n), Url("/p" + std::to_string(n) + ".jpg"), n));
    }
    // A first run saves 2, 3, 5 and 6; 1 is pinned.
    std::vector<PhotoItem> first = {items[1], items[2], items[4], items[5]};
    ASSERT_EQ(Run(first).saved, 4);
    items[0].pinned = true;
    Run({items[0]});
    struct Case {
        int stopAt;
        int saved;
        int skipped;
    };
    const Case cases[] = {
        {2, 0, 3},  // 1 is pinned: 2 and 3 make the row, 4 is not reached
        {3, 1, 5},  // 4 is new and breaks the row: the album goes to its end
        {0, 0, 6},  // off: every picture looked at
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stopAt);
        RecordingView view;
        view.answers.albumOptions.stopAtRecorded = c.stopAt;
        const DownloadSummary summary = Run(items, true, &view);
        EXPECT_EQ(summary.saved, c.saved);
        EXPECT_EQ(summary.skipped, c.skipped);
    }
}

}  // namespace ovx::test
