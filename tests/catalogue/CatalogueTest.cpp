// User resolution and the album-list run against the stand-in photo service, recorded through
// a RecordingView; hostile answers from a loopback server of the test's own.

#include <gtest/gtest.h>
#include <httplib.h>

#include <atomic>
#include <chrono>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "EventOrder.h"
#include "RecordingView.h"
#include "ServiceProcess.h"
#include "TestSession.h"
#include "catalogue/Catalogue.h"
#include "catalogue/Protocols.h"
#include "catalogue/webapi/WebPosts.h"
#include "runtime/CodePage.h"
#include "runtime/StopFlag.h"
#include "web/CookieStore.h"
#include "web/WebRequest.h"

namespace ovx {
namespace {

using test::InOrder;
using test::RecordingView;
using test::ServiceProcess;
using test::Starting;
using Events = std::vector<std::string>;

// Album counts 5, 0, 7 and 2: the empty one gets no row. The third has an empty caption (a
// random name) and an empty cover; the fourth has no caption member at all and a cover that
// cannot be fetched.
std::string Scenario(const std::string& extra = "") {
    return R"({
  "users": [
    { "uid": "1642591402", "name": "lvxing", "title": "旅行的意义的微博_微博",
      "albums": [
        { "caption": "2014 云南/之旅 %41", "album_id": "3523466998871412", "type": 3,
          "photos": { "count": 5 } },
        { "caption": "空相册", "type": 3, "photos": [] },
        { "caption": "", "album_id": "3523466998871999", "type": "18", "cover": "",
          "photos": { "count": 7 } },
        { "caption": "x", "album_omit": ["caption"], "album_id": "1000000000000000001",
          "cover": "http://127.0.0.1:1/none.jpg", "photos": { "count": 2 } }
      ] },
    { "uid": "2803301701", "title": "人民日报的微博_微博", "marker": "owner_uid", "albums": [] },
    { "uid": "1642591403", "name": "evil", "marker_value": "1642591402&x=/../victim",
      "albums": [] },
    { "uid": "6120508327", "name": "shiguang", "marker": "none", "albums": [],
      "web": { "screen_name": "时光", "posts": [] } }
  ])" + extra +
           "}";
}

class CatalogueTest : public ::testing::Test {
  protected:
    void Start(const std::string& scenario) {
        ASSERT_NE(test::kServicePath, nullptr);
        ASSERT_GT(service_.Start(scenario), 0);
        // Log in as the browser would: the session cookie lands in the session's store.
        session_.cookies.Clear();
        WebRequest(Text(service_.Url("/login")), {.method = kMethodPost,
                                                  .postText = Text("username=tester"),
                                                  .noRedirect = true,
                                                  .cookieStore = &session_.cookies});
        ASSERT_FALSE(session_.cookies.List().empty());
    }
    Text Service() const { return Text(service_.Url()); }
    // The album service at the stand-in, the protocol chosen automatically.
    ServiceSettings Settings() const {
        return ServiceSettings{Text(), Service(), Text(), Text("自动")};
    }

    test::TestSession session_;

    ServiceProcess service_;
    RecordingView view_;
};

std::string Utf8(const Text& t) {
    return LocalToUtf8(t);
}

TEST_F(CatalogueTest, ResolvesTheUserAndListsTheAlbums) {
    Start(Scenario());
    view_.answers.homePageAddress =
        Text("  127.0.0.1:" + std::to_string(service_.Port()) + "/lvxing ");
    Catalogue catalogue(view_, Settings(), session_.Context());
    ASSERT_TRUE(catalogue.ResolveAndList());

    const ListedUser user = catalogue.User();
    EXPECT_EQ(user.homePageAddress, Text(service_.Url("/lvxing")));
    EXPECT_EQ(user.userId, Text("1642591402"));
    EXPECT_EQ(Utf8(user.userTitle), "旅行的意义的微博_微博");

    const std::vector<AlbumRow> rows = view_.Rows();
    ASSERT_EQ(rows.size(), 3u);
    const std::string randomName = Utf8(rows[1].name);
    EXPECT_TRUE(std::regex_match(randomName, std::regex("未知名称随机数字([0-9]+)")));
    const int number = std::stoi(randomName.substr(std::string("未知名称随机数字").size()));
    EXPECT_GE(number, 100);
    EXPECT_LE(number, 1000);
    // What the user reads, each line in its order.
    const Events events = view_.Events();
    EXPECT_EQ(Starting(events, "log:"),
              (Events{"正努力获取相册列表，耐心等待哈！\r\n\r\n",
                      "-----获取完毕,共计3个\r\n选择要下载的 点击【3下载选中】\r\n\r\n"}));
    EXPECT_EQ(Starting(events, "label:User="),
              (Events{"正在获取 耐心等待！", "要下载用户：旅行的意义的微博_微博"}));
    EXPECT_EQ(Starting(events, "label:Status="),
              (Events{"温馨提示：正在获取相册列表...", "相册获取中，耐心等待...",
                      "相册列表获取完毕,共计3个"}));
    // The user is known before the list starts; the list is emptied before its rows come (in
    // the service's order, none for the empty album), and the totals are told once every row
    // is there and the bar is full.
    EXPECT_TRUE(InOrder(events, {"label:User=要下载用户：旅行的意义的微博_微博",
                                 "label:Status=温馨提示：正在获取相册列表...", "clear"}));
    EXPECT_TRUE(InOrder(
        events,
        {"clear", "progress:0/4", "album:1|2014 云南/之旅 A|5|3523466998871412@@3",
         "album:2|" + randomName + "|7|3523466998871999@@18",
         "album:3|null|2|1000000000000000001@@3", "label:Status=相册列表获取完毕,共计3个"}));
    EXPECT_TRUE(InOrder(
        events, {"progress:4/4", "label:Percent=100%", "label:Status=相册列表获取完毕,共计3个"}));
    EXPECT_EQ(Starting(events, "progress:").back(), "4/4");
    EXPECT_EQ(Starting(events, "label:Percent=").back(), "100%");
    EXPECT_EQ(Utf8(rows[0].coverAddress).rfind(service_.Url("/thumb300/")), 0u);
    for (const AlbumRow& row : rows) {
        EXPECT_FALSE(row.withCover);
        EXPECT_TRUE(row.cover.empty());
    }
}

TEST_F(CatalogueTest, RawNonAsciiAnswersReadTheSame) {
    Start(Scenario(R"(, "escape_unicode": false)"));
    view_.answers.homePageAddress = Text(service_.Url("/u/1642591402"));
    Catalogue catalogue(view_, Settings(), session_.Context());
    ASSERT_TRUE(catalogue.ResolveAndList());
    ASSERT_EQ(view_.Rows().size(), 3u);
    EXPECT_EQ(Utf8(view_.Rows()[0].name), "2014 云南/之旅 A");
    EXPECT_EQ(view_.Events("label:Status=").back(), "label:Status=相册列表获取完毕,共计3个");
}

TEST_F(CatalogueTest, CoversAreFetchedWhenWanted) {
    Start(Scenario());
    view_.answers.homePageAddress = Text(service_.Url("/lvxing"));
    view_.answers.coversWanted = true;
    Catalogue catalogue(view_, Settings(), session_.Context());
    ASSERT_TRUE(catalogue.ResolveAndList());
    const std::vector<AlbumRow> rows = view_.Rows();
    ASSERT_EQ(rows.size(), 3u);
    for (const AlbumRow& row : rows) EXPECT_TRUE(row.withCover);
    ASSERT_GT(rows[0].cover.size(), 2u);  // a JPEG of the service
    EXPECT_EQ(rows[0].cover[0], 0xFF);
    EXPECT_EQ(rows[0].cover[1], 0xD8);
    EXPECT_TRUE(rows[1].coverAddress.empty());
    EXPECT_TRUE(rows[1].cover.empty());
    EXPECT_TRUE(rows[2].cover.empty());  // unreachable: the view shows its placeholder
}

TEST_F(CatalogueTest, OwnerUidMarkerNoAlbumsAndTheAlbumPage) {
    Start(Scenario());
    view_.answers.homePageAddress = Text(service_.Url("/u/2803301701"));
    Catalogue catalogue(view_, Settings(), session_.Context());
    ASSERT_TRUE(catalogue.ResolveAndList());
    EXPECT_EQ(catalogue.User().userId, Text("2803301701"));
    EXPECT_TRUE(view_.Rows().empty());
    EXPECT_EQ(view_.Events("message"), Events{"message[温馨提示]:获取到相册个数为：0"});
    // The status line keeps the waiting text, and nothing is logged after it.
    EXPECT_EQ(view_.Events("label:Status=").back(), "label:Status=相册获取中，耐心等待...");
    EXPECT_EQ(view_.Events().back(), "message[温馨提示]:获取到相册个数为：0");

    // The album-page button shows another user's page, but the listed user stays the one a
    // download saves under.
    EXPECT_EQ(catalogue.AlbumPageAddress(Text(service_.Url("/lvxing"))),
              Text(service_.Url("/1642591402/albums/")));
    EXPECT_EQ(catalogue.User().userId, Text("2803301701"));
    EXPECT_EQ(Utf8(catalogue.User().userTitle), "人民日报的微博_微博");
}

TEST_F(CatalogueTest, EmptyBoxAndPagesWithoutMarkers) {
    Start(Scenario());
    Catalogue catalogue(view_, Settings(), session_.Context());
    EXPECT_FALSE(catalogue.ResolveAndList());
    // The message is all the user sees: no label, log line or row.
    Events shown = view_.Events();
    std::erase_if(shown, [](const std::string& e) { return e.rfind("read:", 0) == 0; });
    EXPECT_EQ(shown, Events{"message[信息：]:请输入网址"});

    // Nothing answers there: no id, no title, and the message names the host and why,
    // without asking for an album list.
    view_.Clear();
    view_.answers.homePageAddress = Text("http://127.0.0.1:1/nobody");
    EXPECT_FALSE(catalogue.ResolveAndList());
    EXPECT_EQ(catalogue.User().userId, Text());
    EXPECT_EQ(view_.Events("label:User="),
              (Events{"label:User=正在获取 耐心等待！", "label:User=要下载用户："}));
    const Events messages = view_.Events("message");
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].rfind("message[温馨提示]:获取主页失败：127.0.0.1: ", 0), 0u)
        << messages[0];
    Text cause;
    EXPECT_EQ(catalogue.LastFailure(&cause), Catalogue::Failure::HomePage);
    EXPECT_FALSE(cause.empty());
    EXPECT_TRUE(view_.Events("clear").empty());

    // A page of the service without markers (its front page), and pages whose marker holds
    // anything but digits: no user id, and the list ends in the no-albums message.
    Catalogue albumService(view_, ServiceSettings{Text(), Service(), Text(), "相册版"_t},
                           session_.Context());
    for (const char* path : {"/", "/evil"}) {
        view_.Clear();
        view_.answers.homePageAddress = Text(service_.Url(path));
        EXPECT_TRUE(albumService.ResolveAndList()) << path;
        EXPECT_EQ(albumService.User().userId, Text()) << path;
        EXPECT_EQ(albumService.LastFailure(), Catalogue::Failure::None);
        EXPECT_EQ(view_.Events("message"), Events{"message[温馨提示]:获取到相册个数为：0"});
    }
}

TEST_F(CatalogueTest, AnswersThatAreNotTheListGiveNoAlbums) {
    // The first answer is cut off halfway, the next one is whole.
    Start(Scenario(
        R"(, "faults": [ { "path": "/albums/get_all", "times": 1, "action": "truncate" } ])"));
    view_.answers.homePageAddress = Text(service_.Url("/lvxing"));
    Catalogue catalogue(view_, Settings(), session_.Context());
    ASSERT_TRUE(catalogue.ResolveUser());
    EXPECT_EQ(catalogue.ListAlbums(), 0);
    EXPECT_EQ(view_.Events("message").size(), 1u);
    EXPECT_EQ(catalogue.ListAlbums(), 3);
    // Logged out, the service answers with its login page.
    session_.cookies.Clear();
    EXPECT_EQ(catalogue.ListAlbums(), 0);
    EXPECT_EQ(view_.Events("message").size(), 2u);
    EXPECT_TRUE(view_.Rows().empty());
}

TEST_F(CatalogueTest, OneRunAtATime) {
    Start(Scenario(R"(, "faults": [ { "path": "/albums/get_all", "delay_ms": 1500 } ])"));
    view_.answers.homePageAddress = Text(service_.Url("/lvxing"));
    Catalogue catalogue(view_, Settings(), session_.Context());
    std::atomic<bool> listing{false};
    view_.onEvent = [&](const std::string& e) {
        if (e == "clear") listing = true;
    };
    std::thread first([&] { EXPECT_TRUE(catalogue.ResolveAndList()); });
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!listing && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_TRUE(catalogue.Busy());
    EXPECT_FALSE(catalogue.ResolveAndList());
    EXPECT_FALSE(catalogue.ResolveUser());
    EXPECT_EQ(catalogue.ListAlbums(), 0);
    first.join();
    EXPECT_FALSE(catalogue.Busy());
    EXPECT_EQ(view_.Events("clear").size(), 1u);
    EXPECT_EQ(view_.Events("read:home").size(), 1u);
    EXPECT_EQ(view_.Rows().size(), 3u);
}

TEST_F(CatalogueTest, StopEndsTheListPromptly) {
    std::string albums;
    for (int i = 0; i < 40; ++i) {
        albums += std::string(i ? "," : "") + R"({"caption": "相册)" + std::to_string(i) +
                  R"(", "photos": {"count": 1}})";
    }
    Start(R"({"users": [{"uid": "77", "albums": [)" + albums + "]}]}");
    view_.answers.homePageAddress = Text(service_.Url("/u/77"));
    Catalogue catalogue(view_, Settings(), session_.Context());
    StopFlag stop;
    view_.onEvent = [&](const std::string& e) {
        if (e.rfind("album:", 0) == 0) stop.Raise();
    };
    std::thread worker([&] {
        ScopedStopFlag scoped(&stop);
        EXPECT_TRUE(catalogue.ResolveAndList());
    });
    worker.join();
    EXPECT_EQ(view_.Rows().size(), 1u);
    EXPECT_TRUE(view_.Events("message").empty());
    EXPECT_EQ(view_.Events("label:Status=").back(), "label:Status=相册获取中，耐心等待...");
}

// A loopback server whose album-list answer the test chooses.
class HostileServer {
  public:
    HostileServer() {
        server_.Get("/home", [](const httplib::Request&, httplib::Response& res) {
            res.set_content("<title>t</title>$CONFIG['oid']='5';", "text/html");
        });
        server_.Get("/albums/get_all", [this](const httplib::Request&, httplib::Response& res) {
            res.set_content(answer, "application/json");
        });
        port_ = server_.bind_to_any_port("127.0.0.1");
        thread_ = std::thread([this] { server_.listen_after_bind(); });
    }
    ~HostileServer() {
        server_.stop();
        thread_.join();
    }
    std::string Url(const std::string& path = "") const {
        return "http://127.0.0.1:" + std::to_string(port_) + path;
    }
    std::string answer;

  private:
    httplib::Server server_;
    std::thread thread_;
    int port_ = 0;
};

TEST(CatalogueHostileTest, HostileAnswersNeverCrash) {
    HostileServer server;
    RecordingView view;
    view.answers.homePageAddress = Text(server.Url("/home"));
    view.answers.coversWanted = true;
    test::TestSession session;
    Catalogue catalogue(view, ServiceSettings{Text(), Text(server.Url()), Text(), Text("自动")},
                        session.Context());
    ASSERT_TRUE(catalogue.ResolveUser());
    EXPECT_EQ(catalogue.User().userId, Text("5"));

    server.answer = std::string(100000, '[');
    EXPECT_EQ(catalogue.ListAlbums(), 0);
    server.answer = R"({"data":{"album_list":[)" + std::string(100u << 20, ' ') + "]}}";
    EXPECT_EQ(catalogue.ListAlbums(), 0);
    server.answer.clear();
    server.answer.shrink_to_fit();
    EXPECT_EQ(view.Events("message").size(), 2u);

    // Members of the wrong kind read as "null" or as their JSON text; every non-"0" count
    // is listed. A cover of another scheme is never fetched.
    server.answer = R"({"data":{"album_list":[1,"x",null,)"
                    R"({"caption":{"a":"b"},"count":[1],"album_id":{},"type":[],)"
                    R"("cover_pic":"file:\/\/\/etc\/passwd"},)"
                    R"({"caption":"z","count":{"photos":"0"}}]}})";
    EXPECT_EQ(catalogue.ListAlbums(), 4);
    const std::vector<AlbumRow> rows = view.Rows();
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[0].albumKey, Text("null@@null"));
    EXPECT_EQ(rows[3].name, Text("{a:b}"));
    EXPECT_EQ(rows[3].albumKey, Text("{}@@[]"));
    EXPECT_EQ(rows[3].coverAddress, Text("file:///etc/passwd"));
    EXPECT_TRUE(rows[3].cover.empty());
}

// Every form of a home-page address the site uses names the same user through the web API.
TEST_F(CatalogueTest, WebAddressFormsNameTheUser) {
    Start(Scenario());
    Catalogue catalogue(view_, ServiceSettings{Text(), Service(), Service(), Text("自动")},
                        session_.Context());
    for (const char* path : {"/u/6120508327", "/6120508327?is_all=1", "/n/%E6%97%B6%E5%85%89",
                             "/shiguang#top", "/profile/6120508327", "/shiguang/"}) {
        view_.Clear();
        view_.answers.homePageAddress = Text(service_.Url(path));
        ASSERT_TRUE(catalogue.ResolveUser()) << path;
        EXPECT_EQ(catalogue.User().userId, Text("6120508327")) << path;
        EXPECT_EQ(Utf8(catalogue.User().userTitle), "时光") << path;
    }
    // No user named, or one the site does not know: no user id.
    for (const char* path : {"/", "/nobody"}) {
        view_.answers.homePageAddress = Text(service_.Url(path));
        catalogue.ResolveUser();
        EXPECT_EQ(catalogue.User().userId, Text()) << path;
    }
}

TEST(WebPostSecondsTest, ReadsTheSitesTimesAndNothingElse) {
    EXPECT_EQ(WebPostSeconds(Text("Tue Dec 08 10:00:00 +0800 2026")), 1796695200);
    EXPECT_EQ(WebPostSeconds(Text("Thu Jan 01 00:00:00 +0000 1970")), 0);
    EXPECT_EQ(WebPostSeconds(Text("Wed Feb 29 23:59:59 -0130 2012")), 1330565399);
    for (const char* bad : {"", "null", "Tue Dec 08 10:00:00 +0800",
                            "Tue Foo 08 10:00:00 +0800 2026", "Tue Dec 32 10:00:00 +0800 2026",
                            "Tue Dec 08 25:00:00 +0800 2026", "Tue Dec 08 10:00 +0800 2026",
                            "Tue Dec 08 10:00:00 0800 2026", "Tue Dec 08 10:00:00 +0800 99999"})
        EXPECT_EQ(WebPostSeconds(Text(bad)), std::nullopt) << bad;
}

// The "接口" values read as the table's protocols; anything else is the automatic choice.
TEST(ProtocolTableTest, SettingValuesNameTheirProtocols) {
    const std::pair<const char*, const char*> cases[] = {{"网页版", "web"},
                                                         {"相册版", "album"},
                                                         {"自动", nullptr},
                                                         {"网页", nullptr},
                                                         {"", nullptr}};
    for (const auto& [value, id] : cases) {
        const ProtocolRow* row = ProtocolForSetting(Utf8ToLocal(value));
        EXPECT_EQ(row != nullptr ? std::string(row->id) : "auto", id ? id : "auto") << value;
    }
    for (const ProtocolRow& row : ProtocolTable()) {
        EXPECT_EQ(ProtocolForSetting(ProtocolSettingOfId(row.id)), &row) << row.id;
        EXPECT_EQ(ProtocolForId(row.id), &row);
    }
    EXPECT_EQ(ProtocolForSetting(ProtocolSettingOfId("auto")), nullptr);
}

}  // namespace
}  // namespace ovx
