// What a run does when the service or the user gets in its way: pages that do not come,
// images that fail, hostile names, the date filter, pause and stop.

#include <atomic>
#include <thread>

#include "DownloadFixture.h"
#include "runtime/DateTime.h"

namespace ovx::test {
namespace {

std::string User(const std::string& albums, const std::string& faults = "[]",
                 const std::string& title = "甲") {
    return R"({ "require_login": false, "faults": )" + faults +
           R"(, "users": [ { "uid": "2002", "title": ")" + title + R"(", "albums": [)" + albums +
           "] } ] }";
}

std::string Generated(const std::string& id, int count, const std::string& extra = "") {
    return R"({ "caption": "多页", "album_id": ")" + id + R"(", "type": 3, )" + extra +
           R"("photos": { "count": )" + std::to_string(count) + R"(, "caption": "第{n}张" } })";
}

class DownloadFaultTest : public DownloadFixture {
  protected:
    RecordingView& NewView(const std::string& name, const std::string& count,
                           const std::string& key) {
        views_.push_back(std::make_unique<RecordingView>());
        RecordingView& view = *views_.back();
        AddRow(view, "1", name, count, key);
        view.answers.albumOptions.saveLocation = SaveText();
        view.answers.namingOptions = {NamingScheme::CaptionNumber, Numbering::Default};
        return view;
    }
    std::vector<std::unique_ptr<RecordingView>> views_;
};

TEST_F(DownloadFaultTest, PagesAreRetriedAndALostPageIsReportedNotSwallowed) {
    StartService(User(
        Generated("7001", 250) + "," + Generated("7002", 3, R"("reported_count": "1000000000",)"),
        R"([
        { "path": "/photos/get_all", "query": {"page": "1", "album_id": "7001"}, "times": 2, "action": "empty" },
        { "path": "/photos/get_all", "query": {"page": "1", "album_id": "7001"}, "skip": 2, "times": 1, "action": "html" },
        { "path": "/photos/get_all", "query": {"page": "2", "album_id": "7001"}, "action": "status", "status": 500 } ])"));
    RecordingView& view = NewView("多页", "250", "7001@@3");
    DownloadSummary summary = Run(view, Setup("2002", "甲"));
    EXPECT_EQ(Requests("album_id=7001&count=100&page=1&"), 4);
    EXPECT_EQ(Requests("album_id=7001&count=100&page=2&"), 10);
    EXPECT_EQ(summary.pagesLost, 1);
    EXPECT_EQ(summary.saved, 150);
    EXPECT_NE(view.Log().find("相册《多页250》第2页读取失败，已跳过\r\n"), std::string::npos);
    // What was lost is said in the summary, and the run counts as one that left something.
    EXPECT_EQ(LocalToUtf8(SummaryLine(summary)),
              "保存 150 张，跳过 0 张（已有记录），失败 0 张，未能读取 1 页");
    EXPECT_TRUE(LeftSomethingBehind(summary));

    // A count of 10^9: paging ends at the first empty page.
    DownloadSummary huge = Run(NewView("多页", "1000000000", "7002@@3"), Setup("2002", "甲"));
    EXPECT_EQ(huge.saved, 3);
    EXPECT_EQ(Requests("album_id=7002"), 2);
}

// The album service and its image host throttle too: a throttling answer is waited out (as
// its Retry-After says) and asked again, using up neither a page's tries nor an image's.
TEST_F(DownloadFaultTest, ThrottlingAnswersAreWaitedOutNotCountedAsFailures) {
    StartService(User(Generated("7301", 3), R"([
        { "path": "/photos/get_all", "query": {"album_id": "7301"}, "times": 4, "action": "status",
          "status": 503, "retry_after": 0 },
        { "path": "/photos/get_all", "query": {"album_id": "7301"}, "skip": 4, "times": 1,
          "action": "empty" },
        { "path": "/photos/get_all", "query": {"album_id": "7301"}, "skip": 5, "times": 5,
          "action": "status", "status": 503, "retry_after": 0 },
        { "path": "/large/*", "times": 3, "action": "status", "status": 429, "retry_after": 0 } ])"));
    RecordingView& view = NewView("限流", "3", "7301@@3");
    const DownloadSummary summary = Run(view, Setup("2002", "甲"));
    // Ten answers that were no page before the good one: only the empty one was a try.
    EXPECT_EQ(Requests("album_id=7301"), 11);
    EXPECT_EQ(summary.pagesLost, 0);
    EXPECT_EQ(summary.failed, 0);
    EXPECT_EQ(summary.saved, 3);
    const std::string log = view.Log();
    EXPECT_NE(log.find("服务限流（HTTP 503）"), std::string::npos) << log;
    EXPECT_NE(log.find("服务限流（HTTP 429）"), std::string::npos) << log;
}

TEST_F(DownloadFaultTest, AFailedImageIsNeitherSavedNorRecordedAndComesNextRun) {
    StartService(User(R"(
        { "caption": "图", "album_id": "7101", "photos": [
            { "caption": "好", "timestamp": 1400000300, "photo_id": "11" },
            { "caption": "坏", "timestamp": 1400000200, "photo_id": "12", "pic_name": "bad.jpg" },
            { "caption": "网页", "timestamp": 1400000100, "photo_id": "13", "pic_name": "page.jpg" } ] },
        { "caption": "外", "album_id": "7102", "pic_host": "file:///etc",
          "photos": [ { "caption": "本地", "photo_id": "14", "pic_name": "passwd" } ] })",
                      R"([
        { "path": "/large/bad.jpg", "times": 2, "action": "status", "status": 500 },
        { "path": "/large/page.jpg", "times": 1, "action": "html" } ])"));
    auto runBoth = [&] {
        RecordingView& view = NewView("图", "3", "7101@@3");
        AddRow(view, "2", "外", "1", "7102@@3");
        view.answers.albumOptions.downloadRecord = true;
        return Run(view, Setup("2002", "甲"));
    };
    DownloadSummary first = runBoth();
    EXPECT_EQ(first.saved, 1);
    EXPECT_EQ(first.failed, 3);
    EXPECT_EQ(Requests("/large/bad.jpg"), 2);
    const std::string log = views_.back()->Log();
    EXPECT_NE(log.find("图片下载失败：12（状态码 500）\r\n"), std::string::npos) << log;
    EXPECT_NE(log.find("图片下载失败：13（状态码 200，内容不是图片）\r\n"), std::string::npos);
    EXPECT_NE(log.find("图片下载失败：14（状态码 0）\r\n"), std::string::npos);
    EXPECT_EQ(Files(Save() / "甲" / "图3"), std::set<std::string>{"好(1).jpg"});
    EXPECT_EQ(RecordedIds("2002"), std::vector<std::string>{"11"});

    DownloadSummary second = runBoth();
    EXPECT_EQ(second.saved, 2);
    EXPECT_EQ(second.skipped, 1);
    EXPECT_EQ(second.failed, 1);
    EXPECT_EQ(Files(Save() / "甲" / "图3"),
              (std::set<std::string>{"好(1).jpg", "坏(2).jpg", "网页(3).jpg"}));
    EXPECT_FALSE(fs::exists(Save() / "甲" / "外1" / "本地(1).jpg"));
}

TEST_F(DownloadFaultTest, DateFilterReadsMillisecondsAndEndsAtTheStart) {
    StartService(User(R"({ "caption": "毫秒", "album_id": "7201", "timestamp_ms": true, "photos": [
        { "caption": "一", "timestamp": 1400000003 }, { "caption": "二", "timestamp": 1400000000 },
        { "caption": "三", "timestamp": 1399990000 }, { "caption": "四", "timestamp": 1399939200 } ] })"));
    // Off: no bound at all, so millisecond timestamps download, dated in seconds.
    RecordingView& off = NewView("毫秒", "4", "7201@@3");
    off.answers.namingOptions.scheme = NamingScheme::CaptionDate;
    EXPECT_EQ(Run(off, Setup("2002", "甲")).saved, 4);
    EXPECT_TRUE(fs::exists(Save() / "甲" / "毫秒4" / "一(2014年5月14日0时53分23秒).jpg"));
    EXPECT_TRUE(fs::exists(Save() / "甲" / "毫秒4" / "四(2014年5月13日8时).jpg"));

    // On: the newest is after the end and is passed over; the third sits on the start and
    // ends the album.
    fs::remove_all(Save());
    RecordingView& on = NewView("毫秒", "4", "7201@@3");
    on.answers.albumOptions.timeRange = true;
    on.answers.albumOptions.start = MakeDateTime(2014, 5, 13, 22, 6, 40);
    on.answers.albumOptions.end = MakeDateTime(2014, 5, 14, 0, 53, 23);
    EXPECT_EQ(Run(on, Setup("2002", "甲")).saved, 1);
    EXPECT_EQ(Files(Save() / "甲" / "毫秒4"), std::set<std::string>{"二(2).jpg"});
    EXPECT_NE(on.Log().find("该相册【固定时间段】上传的图片下载完毕\r\n"), std::string::npos);
    EXPECT_EQ(Requests("/large/"), 4 + 1);
}

TEST_F(DownloadFaultTest, HostileNamesStayInsideTheSaveFolder) {
    const std::string longCjk = [] {
        std::string s;
        for (int i = 0; i < 10000; ++i) s += "长";
        return s;
    }();
    StartService(User(R"({ "caption": "..", "album_id": "7301", "photos": [
        { "caption": ")" +
                      longCjk + R"(", "photo_id": "../../../逃" },
        { "caption": "../../x" }, { "caption": "\u0001\n\u001fctl" },
        { "caption": ")" +
                      std::string(300, 'a') + R"(中文字" },
        { "caption": ")" +
                      std::string(300, 'b') + R"(" } ] })"));
    RecordingView& view = NewView("..", "..", "7301@@3");
    DownloadSummary summary = Run(view, Setup("2002", "../..\x01/.."));
    EXPECT_EQ(summary.saved, 5);
    // The title cleans away to nothing; ".." + ".." is refused as a folder name.
    EXPECT_EQ(Files(Save() / "_"),
              (std::set<std::string>{"..\\..\\..\\逃.jpg", "x(2).jpg", "u0001nu001fctl(3).jpg",
                                     "中文字(4).jpg", "(5).jpg"}));
    // Nothing anywhere else: only the service's log, the records and the save folder.
    EXPECT_EQ(Files(root_), (std::set<std::string>{"records", "requests.log", "save"}));
    EXPECT_EQ(Files(Save()), std::set<std::string>{"_"});
}

TEST_F(DownloadFaultTest, StopLeavesNoPartialFileAndARerunCompletesTheRest) {
    // The fifth image hangs until the stop cuts the transfer short.
    StartService(User(Generated("7401", 12),
                      R"([{ "path": "/large/*", "skip": 4, "times": 1, "delay_ms": 20000 }])"));
    const fs::path album = Save() / "甲" / "多页12";
    fs::create_directories(album);
    std::ofstream(album / ".ovx-0123456789abcdef.part") << "left by a killed run";
    std::ofstream(album / "keep.part") << "not ours";

    RecordingView& view = NewView("多页", "12", "7401@@3");
    view.answers.albumOptions.downloadRecord = true;
    JobControl control;
    std::thread stopper;
    view.onEvent = [&](const std::string& event) {
        if (event == "label:PhotoCount=12/5") {
            stopper = std::thread([&] {
                std::this_thread::sleep_for(std::chrono::milliseconds(200));
                control.Stop();
            });
        }
    };
    DownloadSummary summary =
        DownloadJob(view, control, session_.Context(), Setup("2002", "甲")).Run();
    stopper.join();
    EXPECT_TRUE(summary.stopped);
    EXPECT_EQ(summary.saved, 4);
    EXPECT_EQ(Files(album), (std::set<std::string>{"keep.part", "第1张(1).jpg", "第2张(2).jpg",
                                                   "第3张(3).jpg", "第4张(4).jpg"}));
    EXPECT_EQ(Requests("/large/"), 5);
    EXPECT_EQ(view.Events("message").size(), 0u);
    EXPECT_EQ(view.Events().back(), "state:Idle");
    EXPECT_EQ(RecordedIds("2002").size(), 4u);

    RecordingView& rerun = NewView("多页", "12", "7401@@3");
    rerun.answers.albumOptions.downloadRecord = true;
    DownloadSummary rest = Run(rerun, Setup("2002", "甲"));
    EXPECT_EQ(rest.saved, 8);
    EXPECT_EQ(rest.skipped, 4);
    EXPECT_EQ(Files(album).size(), 12u + 1u);
}

TEST_F(DownloadFaultTest, PauseHoldsTheRunAndContinueFetchesNothingTwice) {
    StartService(User(Generated("7501", 5)));
    RecordingView& view = NewView("多页", "5", "7501@@3");
    JobControl control;
    std::atomic<bool> paused{false};
    view.onEvent = [&](const std::string& event) {
        if (event == "label:PhotoCount=5/3") {
            control.Pause();
            paused = true;
        }
    };
    DownloadSummary summary;
    std::thread worker([&] {
        summary = DownloadJob(view, control, session_.Context(), Setup("2002", "甲")).Run();
    });
    for (int i = 0; i < 1000 && !paused; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_TRUE(paused);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(Requests("/large/"), 2);  // held before the third image
    control.Continue();
    worker.join();
    EXPECT_EQ(summary.saved, 5);
    EXPECT_EQ(Requests("/large/"), 5);

    // A stop while paused ends the run at once.
    RecordingView& again = NewView("多页", "5", "7501@@3");
    JobControl second;
    again.onEvent = [&](const std::string& event) {
        if (event == "label:PhotoCount=5/2") second.Pause();
    };
    std::thread stopped([&] {
        summary = DownloadJob(again, second, session_.Context(), Setup("2002", "甲")).Run();
    });
    for (int i = 0; i < 1000 && !second.Paused(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    second.Stop();
    stopped.join();
    EXPECT_TRUE(summary.stopped);
    EXPECT_EQ(Requests("/large/"), 5 + 1);
}

}  // namespace
}  // namespace ovx::test
