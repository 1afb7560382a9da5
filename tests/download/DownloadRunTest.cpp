// Whole download runs against the stand-in service: folders, file names per scheme and
// numbering, records, and the order of what the user is told.

#include <algorithm>

#include "DownloadFixture.h"
#include "EventOrder.h"

namespace ovx::test {
namespace {

// 旅行: five photos newest first; two share a caption and an upload second.
std::string TravelPhotos(const std::string& extra = "") {
    return R"([)" + extra + R"(
        { "caption": "Hello, World? 2014", "timestamp": 1400000003, "photo_id": "1000000000000001" },
        { "caption": "", "timestamp": 1400000000, "photo_id": "1000000000000002" },
        { "caption": "同一秒", "timestamp": 1399990000, "photo_id": "1000000000000003" },
        { "caption": "同一秒", "timestamp": 1399990000, "photo_id": "1000000000000004" },
        { "caption": "动图", "timestamp": 1399939200, "gif": true, "photo_id": "1000000000000005" }
      ])";
}

std::string Scenario(const std::string& travel = TravelPhotos()) {
    return R"({ "require_login": false, "users": [ { "uid": "1001", "title": "旅行者/的微博",
      "albums": [
        { "caption": "旅行", "album_id": "5000000000000001", "type": 3, "photos": )" +
           travel + R"( },
        { "caption": "多页", "album_id": "5000000000000002", "type": 3,
          "photos": { "count": 103, "caption": "第{n}张" } } ] } ] })";
}

class DownloadRunTest : public DownloadFixture {
  protected:
    DownloadSummary RunTravel(NamingScheme scheme, Numbering numbering, const std::string& sub,
                              bool withSecondAlbum = false, bool records = false) {
        RecordingView view;
        AddRow(view, "1", "旅行", "5", "5000000000000001@@3");
        if (withSecondAlbum) AddRow(view, "2", "多页", "103", "5000000000000002@@3");
        view.answers.namingOptions = {scheme, numbering};
        view.answers.downloadRecord = records;
        view.answers.albumOptions.downloadRecord = records;
        view.answers.albumOptions.saveLocation = SaveText(sub);
        DownloadSummary summary = Run(view, Setup("1001", "旅行者/的微博"));
        lastView_ = view.Events();
        return summary;
    }
    fs::path Album(const std::string& sub, const std::string& album = "旅行5") const {
        return Save() / sub / "旅行者的微博" / album;
    }
    std::vector<std::string> lastView_;
};

TEST_F(DownloadRunTest, EverySchemeNamesTheFilesItsWay) {
    StartService(Scenario());

    DownloadSummary summary = RunTravel(NamingScheme::CaptionNumber, Numbering::Default, "a");
    EXPECT_EQ(summary.saved, 5);
    EXPECT_EQ(Files(Album("a")),
              (std::set<std::string>{"Hello,World2014(1).jpg", "(2).jpg", "同一秒(3).jpg",
                                     "同一秒(4).jpg", "动图(5).gif"}));

    RunTravel(NamingScheme::NumberCaption, Numbering::Cycle, "b", true);
    EXPECT_EQ(Files(Album("b")),
              (std::set<std::string>{"(1-1)Hello,World2014.jpg", "(1-2).jpg", "(1-3)同一秒.jpg",
                                     "(1-4)同一秒.jpg", "(1-5)动图.gif"}));
    std::set<std::string> many = Files(Album("b", "多页103"));
    EXPECT_EQ(many.size(), 103u);
    EXPECT_TRUE(many.count("(2-3)第103张.jpg"));
    EXPECT_TRUE(many.count("(1-100)第100张.jpg"));

    RunTravel(NamingScheme::CaptionDate, Numbering::Default, "c");
    EXPECT_EQ(Files(Album("c")),
              (std::set<std::string>{
                  "Hello,World2014(2014年5月14日0时53分23秒).jpg", "(2014年5月14日0时53分20秒).jpg",
                  "同一秒(2014年5月13日22时6分40秒).jpg",
                  "（4）同一秒(2014年5月13日22时6分40秒).jpg", "动图(2014年5月13日8时).gif"}));

    RunTravel(NamingScheme::Caption, Numbering::Default, "d");
    EXPECT_EQ(Files(Album("d")),
              (std::set<std::string>{"Hello,World2014.jpg", "(2).jpg", "同一秒.jpg",
                                     "同一秒(4).jpg", "动图.gif"}));

    // Records are kept with protection off too, one per photo.
    std::vector<std::string> ids = RecordedIds("1001");
    EXPECT_EQ(std::count(ids.begin(), ids.end(), "1000000000000003"), 1);
    EXPECT_EQ(ids.size(), 5u + 103u);
}

TEST_F(DownloadRunTest, TellsTheUserEachStepInOrder) {
    StartService(Scenario());
    RunTravel(NamingScheme::CaptionNumber, Numbering::Default, "a");
    const std::vector<std::string>& events = lastView_;

    // The log, whole and in its order.
    EXPECT_EQ(Starting(events, "log:"),
              (std::vector<std::string>{
                  "未勾选了防止重复下载功能\r\n\r\n", "【未启用】 固定时间段内的下载\r\n\r\n",
                  "当前被选择相册编号:1、\r\n\r\n", "准备下载相册《旅行》\r\n\r\n",
                  "---完成相册《旅行5》下载\r\n\r\n", "-------全部下载完毕--------\r\n\r\n"}));
    // The album's labels stand before its photos are counted, each photo is counted, and the
    // album is logged as done once the count is complete.
    EXPECT_TRUE(InOrder(
        events, {"state:Running", "label:AlbumCount=总共需下载[1]个相册",
                 "label:CurrentAlbum=下载到第[1]个相册", "progress:0/100", "label:PhotoCount=5/1",
                 "label:PhotoCount=5/2", "label:PhotoCount=5/3", "label:PhotoCount=5/4",
                 "label:PhotoCount=5/5", "log:---完成相册《旅行5》下载\r\n\r\n"}));
    // The bar only moves forward.
    std::vector<std::string> progress = Starting(events, "progress:");
    ASSERT_FALSE(progress.empty());
    EXPECT_TRUE(std::is_sorted(
        progress.begin(), progress.end(),
        [](const std::string& a, const std::string& b) { return std::stoi(a) < std::stoi(b); }));
    // When the closing message comes up, the window already shows the finished run.
    EXPECT_EQ(progress.back(), "100/100");
    EXPECT_EQ(Starting(events, "label:Percent=").back(), "100%");
    EXPECT_EQ(Starting(events, "label:PhotoCount=").back(), "下载完成");
    EXPECT_TRUE(InOrder(events, {"log:-------全部下载完毕--------\r\n\r\n",
                                 "label:PhotoCount=下载完成", "message[信息：]:全部下载完毕"}));
    EXPECT_TRUE(InOrder(events, {"state:Idle", "sound", "message[信息：]:全部下载完毕"}));
    EXPECT_EQ(events.back(), "message[信息：]:全部下载完毕");
}

TEST_F(DownloadRunTest, RecordedPhotosAreNotFetchedAgainButNewOnesAre) {
    StartService(Scenario());
    EXPECT_EQ(RunTravel(NamingScheme::CaptionNumber, Numbering::Default, "a", false, true).saved,
              5);
    EXPECT_EQ(Requests("/large/"), 5);

    DownloadSummary again =
        RunTravel(NamingScheme::CaptionNumber, Numbering::Default, "a", false, true);
    EXPECT_EQ(again.saved, 0);
    EXPECT_EQ(again.skipped, 5);
    EXPECT_EQ(Requests("/large/"), 5);
    // The labels still advance over skipped photos.
    EXPECT_NE(std::find(lastView_.begin(), lastView_.end(), "label:PhotoCount=5/5"),
              lastView_.end());

    // Two photos uploaded since: only they are fetched.
    StartService(Scenario(TravelPhotos(R"(
        { "caption": "新的", "timestamp": 1400100000, "photo_id": "1000000000000007" },
        { "caption": "新的", "timestamp": 1400090000, "photo_id": "1000000000000006" },)")));
    DownloadSummary third =
        RunTravel(NamingScheme::CaptionNumber, Numbering::Default, "a", false, true);
    EXPECT_EQ(third.saved, 2);
    EXPECT_EQ(third.skipped, 5);
    EXPECT_EQ(Requests("/large/"), 5 + 2);
    EXPECT_EQ(RecordedIds("1001").size(), 7u);
}

// Without a listed user (an id of digits) there is nothing to save under: the run refuses
// before it makes a record file or a folder.
TEST_F(DownloadRunTest, ARunWithoutAUserRefuses) {
    StartService(Scenario());
    for (const char* uid : {"", "1001&x=/../a"}) {
        RecordingView view;
        AddRow(view, "1", "旅行", "5", "5000000000000001@@3");
        view.answers.albumOptions.saveLocation = SaveText();
        view.answers.downloadRecord = true;
        const DownloadSummary summary = Run(view, Setup(uid, "旅行者"));
        EXPECT_TRUE(summary.stopped) << uid;
        EXPECT_EQ(view.Events("message").size(), 1u) << uid;
        EXPECT_TRUE(Files(Save()).empty()) << uid;
        EXPECT_TRUE(Files(Save() / ".." / "records").empty()) << uid;
    }
}

TEST_F(DownloadRunTest, CheckedRowsBecomeWholeWorkItems) {
    StartService(Scenario());
    RecordingView view;
    AddRow(view, "1", "a--@@--b", "5", "5000000000000001@@3");  // a separator inside a name
    AddRow(view, "2", "旅行", "", "5000000000000001@@3");       // no count: a folder without
    AddRow(view, "3", "　 ", "5", "5000000000000001@@3");       // blank: a random name
    AddRow(view, "4", "多页", "103", "5000000000000002@@3");
    view.SetChecked(3, false);
    view.answers.albumOptions.saveLocation = SaveText();
    DownloadSummary summary = Run(view, Setup("1001", "旅行者"));

    EXPECT_EQ(summary.saved, 15);
    EXPECT_NE(view.Log().find("当前被选择相册编号:1、2、3、\r\n"), std::string::npos);
    EXPECT_EQ(view.Events("label:AlbumCount"),
              std::vector<std::string>{"label:AlbumCount=总共需下载[3]个相册"});
    std::set<std::string> folders = Files(Save() / "旅行者");
    ASSERT_EQ(folders.size(), 3u);
    EXPECT_TRUE(folders.count("a--@@--b5"));
    EXPECT_TRUE(folders.count("旅行"));
    folders.erase("a--@@--b5");
    folders.erase("旅行");
    EXPECT_EQ(folders.begin()->rfind("未知相册_随机名称", 0), 0u) << *folders.begin();

    // Nothing checked: straight to the end of the run.
    RecordingView none;
    AddRow(none, "1", "旅行", "5", "5000000000000001@@3");
    none.SetChecked(0, false);
    Run(none, Setup("1001", "旅行者"));
    EXPECT_NE(none.Log().find("当前未选择任何相册\r\n\r\n"), std::string::npos);
    EXPECT_EQ(none.Events("message").size(), 1u);
}

}  // namespace
}  // namespace ovx::test
