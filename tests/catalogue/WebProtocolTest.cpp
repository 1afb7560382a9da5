// The web protocol against a stand-in for the site behind its request routine (FakeSite), with
// a governor whose waits cost no time: how one call is judged, posts asked for on their own,
// where the timeline stops, where an album's cursor ends, and captions.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "FakeSite.h"
#include "VirtualClock.h"
#include "catalogue/webapi/WebProtocol.h"
#include "runtime/CodePage.h"
#include "web/CookieStore.h"
#include "web/RequestGovernor.h"

namespace ovx {
namespace {

using test::FakeAnswer;
using test::Json;
using Step = PhotoCursor::Step;

constexpr int kMaxThrottled = 3;
const std::string kUid = "1000000001";
const std::string kInfo = "/ajax/profile/info", kWall = "/ajax/profile/getImageWall",
                  kAlbum = "/ajax/profile/getAlbumDetail", kTimeline = "/ajax/statuses/mymblog",
                  kShow = "/ajax/statuses/show";

std::string Mid(int n) {
    return std::to_string(5000000000000000LL + n);
}
std::string Pic(int n) {
    return "pic" + std::to_string(n);
}
// An album entry: a picture, with its post when `post` is not 0.
std::string Entry(int pic, int post = 0) {
    return R"({"pid":")" + Pic(pic) + (post ? R"(","mid":")" + Mid(post) : "") + "\"}";
}
std::string Since(const std::string& cursor) {
    return R"(,"since_id":")" + cursor + "\"";
}
std::string Page(const std::vector<std::string>& items, const std::string& tail = "") {
    std::string list;
    for (const std::string& i : items) list += (list.empty() ? "" : ",") + i;
    return R"({"ok":1,"data":{"list":[)" + list + "]" + tail + "}}";
}
// Post n with its one picture, by the user unless `author` says otherwise.
std::string Post(int n, const std::string& extra = "", const std::string& author = kUid,
                 const std::string& text = "post") {
    return R"({"mid":")" + Mid(n) + R"(","idstr":")" + Mid(n) + R"(","text_raw":")" + text +
           R"(","created_at":"Tue Dec 08 10:00:00 +0800 2026","pic_ids":[")" + Pic(n) +
           R"("],"pic_infos":{")" + Pic(n) +
           R"(":{"type":"pic","largest":{"url":"https://wx2.sinaimg.cn/large/)" + Pic(n) +
           R"(.jpg"}}},"user":{"idstr":")" + author + "\"}" + extra + "}";
}
// statuses/show's answer: the post at the top level.
std::string Shown(int n, const std::string& text = "post") {
    return R"({"ok":1,)" + Post(n, "", kUid, text).substr(1);
}

bool Has(const Text& text, const std::string& utf8) {
    return LocalToUtf8(text).find(utf8) != std::string::npos;
}

// One protocol, its session and the site it speaks to.
struct Rig {
    Rig() {
        hooks.pageRetryWait = std::chrono::milliseconds(0);
        hooks.albumTitle = "头像"_t;
        hooks.log = [this](const Text& line) { log.push_back(LocalToUtf8(line)); };
        hooks.pageLost = [this] { ++lost; };
    }
    static GovernorSettings Pacing() {
        GovernorSettings s;
        s.interval = std::chrono::milliseconds(0);
        s.throttleWait = s.maxWait = std::chrono::seconds(1);
        s.maxThrottled = kMaxThrottled;
        return s;
    }
    int Logged(const std::string& part) const {
        return static_cast<int>(std::count_if(log.begin(), log.end(), [&](const std::string& l) {
            return l.find(part) != std::string::npos;
        }));
    }
    std::unique_ptr<PhotoCursor> Open(const std::string& key) {
        return protocol.OpenAlbum(user, AlbumListing{"头像"_t, Text(), Text(), Text(key)}, hooks);
    }
    // Every picture up to the cursor's last step (bounded: a cursor that never ends fails).
    static std::vector<PhotoItem> Drain(PhotoCursor& cursor, Step* last = nullptr) {
        std::vector<PhotoItem> items;
        PhotoItem item;
        Step s = Step::Photo;
        for (int k = 0; k < 500 && (s = cursor.Next(item)) == Step::Photo; ++k)
            items.push_back(item);
        if (last) *last = s;
        return items;
    }
    std::vector<PhotoItem> Walk(const std::string& key, Step* last = nullptr) {
        return Drain(*Open(key), last);
    }

    test::VirtualClock clock;
    CookieStore cookies;
    RequestGovernor governor{Pacing(), &clock};
    test::FakeSite site;
    WebProtocol protocol{Text("https://weibo.com"),
                         ServiceSettings{Text(), Text(), Text("https://wx1.sinaimg.cn"), Text()},
                         SessionContext{cookies, governor}, site.Routine()};
    ListedUser user{Text("https://weibo.com/u/" + kUid), Text(kUid), Text()};
    RunHooks hooks;
    std::vector<std::string> log;
    int lost = 0;
};

// What a call's answers come to, alike for the profile, the album list and an album's pages.
TEST(WebProtocol, JudgesEachCall) {
    using enum ServiceOutcome;
    const FakeAnswer usual{-1, "", "", ""};  // the endpoint's ordinary answer
    const FakeAnswer redirect{302, "", "\r\nLocation: https://weibo.com/login.php", ""};
    const FakeAnswer error{500, "Internal error", "", ""};
    const FakeAnswer errorSaid{500, R"({"ok":0,"msg":"内部错误"})", "", ""};
    const FakeAnswer html = Json("\r\n<!DOCTYPE html><html><body>登录</body></html>");
    const FakeAnswer login = Json(R"({"ok":0,"msg":"前方有点拥堵，请登录后使用"})");
    const FakeAnswer login403{403, login.body, "", ""};
    const FakeAnswer often = Json(R"({"ok":0,"msg":"操作过于频繁"})");
    const FakeAnswer later = Json(R"({"ok":0,"msg":"请稍后再试"})");
    const FakeAnswer jammed = Json(R"({"ok":0,"msg":"网络拥堵"})");
    const FakeAnswer noUser = Json(R"({"ok":0,"msg":"用户不存在"})");
    const FakeAnswer again = Json(R"({"ok":-100,"url":"https://weibo.com/login.php"})");
    const FakeAnswer nothing{0, "", "", "weibo.com: Connection refused"};
    struct Case {
        const char* label;
        std::vector<FakeAnswer> answers;
        ServiceOutcome resolve;
        int resolveCalls;
        ServiceOutcome list;  // also how an album's first page ends
        int calls;            // of the list, and of the album's page
        int frontVisits;
        std::string failure;  // in the failure text and the lost page's log line
    };
    const Case cases[] = {
        {"redirect", {redirect}, NotLoggedIn, 1, NotLoggedIn, 1, 0, ""},
        {"HTTP 500", {error}, Failed, 10, Failed, 10, 0, "HTTP 500"},
        {"HTTP 500 with a message", {errorSaid}, Failed, 10, Failed, 10, 0, "内部错误"},
        {"not JSON", {Json("ok=1")}, Failed, 10, Failed, 10, 0, ""},
        {"no ok member", {Json(R"({"data":{}})")}, Failed, 10, Failed, 10, 0, ""},
        {"HTML page", {html}, NotLoggedIn, 1, NotLoggedIn, 1, 0, ""},
        // A server's error page is an error, not a login page.
        {"HTTP 500 with its page",
         {FakeAnswer{500, html.body, "", ""}},
         Failed,
         10,
         Failed,
         10,
         0,
         "HTTP 500"},
        {"login asked in words", {login}, NotLoggedIn, 1, NotLoggedIn, 1, 0, ""},
        {"login asked with 403", {login403}, NotLoggedIn, 1, NotLoggedIn, 1, 0, ""},
        {"too often, then answered", {often, usual}, Done, 2, Done, 2, 0, ""},
        {"try later, then answered", {later, usual}, Done, 2, Done, 2, 0, ""},
        {"congested throughout", {jammed}, Refused, kMaxThrottled, Refused, kMaxThrottled, 0, ""},
        {"declined", {noUser}, Declined, 1, Failed, 10, 0, "用户不存在"},
        {"ok:-100 once", {again, usual}, Done, 2, Done, 2, 1, ""},
        {"ok:-100 twice", {again}, NotLoggedIn, 2, NotLoggedIn, 2, 1, ""},
        {"nothing arrives", {nothing}, Unreachable, 10, Unreachable, 10, 0, "Connection refused"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        const auto serve = [&c](Rig& rig, const std::string& path, const std::string& ordinary) {
            std::vector<FakeAnswer> answers = c.answers;
            for (FakeAnswer& a : answers) {
                if (a.status == -1) a = Json(ordinary);
            }
            rig.site.On(path, {}, answers);
        };
        const auto expectFailure = [&c](ServiceOutcome outcome, const Text& failure) {
            if (outcome != Done && outcome != NotLoggedIn && outcome != Refused) {
                EXPECT_FALSE(failure.empty());
            }
            if (!c.failure.empty()) {
                EXPECT_TRUE(Has(failure, c.failure)) << LocalToUtf8(failure);
            }
        };
        {
            Rig rig;
            serve(rig, kInfo,
                  R"({"ok":1,"data":{"user":{"idstr":")" + kUid + R"(","screen_name":"某人"}}})");
            ListedUser user;
            Text failure;
            EXPECT_EQ(rig.protocol.ResolveUser(rig.user.homePageAddress, std::nullopt, rig.hooks,
                                               user, failure),
                      c.resolve);
            EXPECT_EQ(rig.site.Count(kInfo, {"uid=" + kUid}), c.resolveCalls);
            EXPECT_EQ(rig.site.Count("/"), c.frontVisits);
            EXPECT_EQ(user.userId, c.resolve == Done ? Text(kUid) : Text());
            expectFailure(c.resolve, failure);
        }
        {
            Rig rig;
            serve(rig, kWall,
                  Page({Entry(1, 1)},
                       Since("0") +
                           R"(,"album_list":[{"containerid":"album1","pic_title":"头像"}])"));
            std::vector<AlbumListing> albums;
            Text failure;
            EXPECT_EQ(rig.protocol.ListAlbums(rig.user, rig.hooks, albums, failure), c.list);
            EXPECT_EQ(rig.site.Count(kWall, {"has_album=true"}), c.calls);
            EXPECT_EQ(rig.site.Count("/"), c.frontVisits);
            EXPECT_EQ(albums.size(), c.list == Done ? 2u : 0u);
            expectFailure(c.list, failure);
        }
        {
            Rig rig;
            serve(rig, kAlbum, Page({Entry(1)}, Since("0")));
            // A page that could not be read ends the album as lost; the run ends for the rest.
            const bool lost = c.list == Failed || c.list == Unreachable;
            const Step step = c.list == NotLoggedIn ? Step::NotLoggedIn
                              : c.list == Refused   ? Step::Refused
                                                    : Step::End;
            Step last;
            const auto items = rig.Walk("album1", &last);
            EXPECT_EQ(last, step);
            EXPECT_EQ(items.size(), c.list == Done ? 1u : 0u);
            EXPECT_EQ(rig.lost, lost ? 1 : 0);
            EXPECT_EQ(rig.site.Count(kAlbum), c.calls);
            EXPECT_EQ(rig.site.Count("/"), c.frontVisits);
            if (lost && !c.failure.empty()) {
                EXPECT_EQ(rig.Logged(c.failure), 1);
            }
        }
    }
}

// A picture whose post the timeline does not give: the post asked for on its own, once a run.
TEST(WebProtocol, AsksForAPostOnItsOwnOncePerRun) {
    struct Case {
        const char* label;
        FakeAnswer show;
        std::size_t given;  // of the post's two pictures
        bool unreadable;
        bool captioned;
        int asks;  // statuses/show requests a run
    };
    const Case cases[] = {
        {"answered", Json(Shown(7)), 2, false, true, 1},
        {"followers only", Json(R"({"ok":0,"message":"暂无查看权限","error_code":20112})"), 0,
         false, false, 1},
        {"deleted", Json(R"({"ok":0,"errno":"20101","msg":"该微博不存在"})"), 2, false, false, 1},
        {"failing", {500, "busy", "", ""}, 2, true, false, 10},
        {"another post's answer", Json(Shown(8)), 2, true, false, 10},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        Rig rig;
        rig.site.On(kTimeline, {}, {Json(Page({}))});
        rig.site.On(kAlbum, {}, {Json(Page({Entry(1, 7), Entry(2, 7), Entry(3)}))});
        rig.site.On(kShow, {"id=" + Mid(7)}, {c.show});
        // Twice in one run, then once more in the next.
        for (int pass = 1; pass <= 3; ++pass) {
            SCOPED_TRACE(pass);
            if (pass == 3) rig.protocol.BeginRun();
            Step last;
            auto items = rig.Walk("album1", &last);
            EXPECT_EQ(last, Step::End);
            ASSERT_FALSE(items.empty());
            // The post's pictures count for the positions whether given or not.
            EXPECT_EQ(items.back().photoId, Text(Pic(3)));
            EXPECT_EQ(items.back().position, 3);
            items.pop_back();
            EXPECT_EQ(items.size(), c.given);
            for (const PhotoItem& item : items) {
                EXPECT_EQ(item.unreadable, c.unreadable);
                EXPECT_EQ(!item.caption.empty(), c.captioned);
                EXPECT_EQ(item.uploadSeconds.has_value(), c.captioned);
            }
            EXPECT_EQ(rig.site.Count(kShow), c.asks * (pass == 3 ? 2 : 1));
            if (pass == 1) {
                EXPECT_EQ(rig.Logged(Mid(7)), c.given == 0 ? 1 : 0);
            }
        }
    }
}

// The timeline's pages (page n answers pages[n-1], later ones an empty list) and an album of
// the `wanted` posts' pictures: which posts statuses/show is asked for, how many pages are read.
struct TimelineCase {
    const char* label;
    std::vector<FakeAnswer> pages;
    std::vector<int> wanted;
    std::vector<int> shown;
    int pagesRead;
};

void ExpectTimeline(const TimelineCase& c) {
    SCOPED_TRACE(c.label);
    Rig rig;
    rig.site.On(kTimeline, {}, {Json(Page({}))});
    for (std::size_t k = 0; k < c.pages.size(); ++k)
        rig.site.On(kTimeline, {"page=" + std::to_string(k + 1)}, {c.pages[k]});
    std::vector<std::string> entries;
    for (int n : c.wanted) {
        entries.push_back(Entry(n, n));
        rig.site.On(kShow, {"id=" + Mid(n)}, {Json(Shown(n))});
    }
    rig.site.On(kAlbum, {}, {Json(Page(entries))});
    Step last;
    const auto items = rig.Walk("album1", &last);
    EXPECT_EQ(last, Step::End);
    EXPECT_EQ(items.size(), c.wanted.size());
    for (int n : c.wanted) {
        const bool shown = std::count(c.shown.begin(), c.shown.end(), n) > 0;
        EXPECT_EQ(rig.site.Count(kShow, {"id=" + Mid(n)}), shown ? 1 : 0) << "post " << n;
    }
    EXPECT_EQ(rig.site.Count(kTimeline), c.pagesRead);
}

// Newest first: reading stops at a post older than the wanted one, but a pinned post on top,
// a liked post and another author's post neither match nor stop anything.
TEST(WebProtocol, TimelineStopsOnlyAtTheUsersOwnUnpinnedPosts) {
    // Page 1: the odd post (older than the wanted 300) and a newer one; page 2: post 300.
    const auto odd = [](const std::string& extra, const std::string& author = kUid) {
        return std::vector<FakeAnswer>{
            Json(Page({Post(100, extra, author), Post(400)}, Since("s1"))),
            Json(Page({Post(300)}, Since("s2")))};
    };
    const TimelineCase cases[] = {
        {"isTop 1", odd(R"(,"isTop":1)"), {300, 100}, {}, 2},
        {"isTop true", odd(R"(,"isTop":true)"), {300, 100}, {}, 2},
        {"isTop \"1\"", odd(R"(,"isTop":"1")"), {300, 100}, {}, 2},
        {"mblogtype 2", odd(R"(,"mblogtype":2)"), {300, 100}, {}, 2},
        {"not pinned", odd(R"(,"isTop":0)"), {300, 100}, {300}, 1},
        {"liked", odd(R"(,"title":{"text":"赞过"})"), {300, 100}, {100}, 3},
        {"another author's", odd("", "2000000002"), {300, 100}, {100}, 3},
    };
    for (const TimelineCase& c : cases) ExpectTimeline(c);
}

TEST(WebProtocol, TimelineEndsOnAnEmptyOrStalePage) {
    const auto of = [](const std::vector<int>& posts, const std::string& tail = "") {
        std::vector<std::string> items;
        for (int n : posts) items.push_back(Post(n));
        return Json(Page(items, tail));
    };
    const FakeAnswer both = of({400, 300}, Since("s1"));
    const TimelineCase cases[] = {
        {"pages without since_id, then an empty one", {of({400}), of({300})}, {300, 100}, {100}, 3},
        {"a page with no new post", {both, both, of({200})}, {300, 200}, {200}, 2},
        {"an unreadable timeline", {{500, "busy", "", ""}}, {300, 100}, {300, 100}, 10},
    };
    for (const TimelineCase& c : cases) ExpectTimeline(c);
}

TEST(WebProtocol, ReadsTheTimelineOncePerRunForAllAlbums) {
    Rig rig;
    rig.site.On(kTimeline, {}, {Json(Page({}))});
    rig.site.On(kTimeline, {"page=1"}, {Json(Page({Post(300), Post(100)}, Since("s1")))});
    rig.site.On(kAlbum, {"containerid=album1"}, {Json(Page({Entry(300, 300)}))});
    rig.site.On(kAlbum, {"containerid=album2"}, {Json(Page({Entry(100, 100)}))});
    const auto first = rig.Open("album1"), second = rig.Open("album2");
    EXPECT_EQ(Rig::Drain(*first).size(), 1u);
    EXPECT_EQ(Rig::Drain(*second).size(), 1u);
    EXPECT_EQ(rig.site.Count(kTimeline, {"page=1"}), 1);
    EXPECT_EQ(rig.site.Count(kShow), 0);
    rig.protocol.BeginRun();
    EXPECT_EQ(rig.Walk("album2").size(), 1u);
    EXPECT_EQ(rig.site.Count(kTimeline, {"page=1"}), 2);
}

// The wall's first page, read for the album list, is not asked for again by the same run's
// download; a later run reads it afresh.
TEST(WebProtocol, TheListsWallPageIsTheDownloadsFirstPage) {
    Rig rig;
    rig.site.On(kTimeline, {}, {Json(Page({}))});
    rig.site.On(kWall, {"sinceid=0"}, {Json(Page({Entry(300, 300)}, Since("c1")))});
    rig.site.On(kWall, {"sinceid=c1"}, {Json(Page({Entry(200, 200)}, Since("0")))});
    std::vector<AlbumListing> albums;
    Text failure;
    ASSERT_EQ(rig.protocol.ListAlbums(rig.user, rig.hooks, albums, failure), ServiceOutcome::Done);
    ASSERT_FALSE(albums.empty());
    for (int run = 1; run <= 2; ++run) {
        rig.protocol.BeginRun();
        EXPECT_EQ(Rig::Drain(*rig.protocol.OpenAlbum(rig.user, albums[0], rig.hooks)).size(), 2u);
        EXPECT_EQ(rig.site.Count(kWall, {"sinceid=0"}), run) << run;
    }
}

// Where an album's cursor ends: each picture given once, and no endless paging.
TEST(WebProtocol, CursorEndsWithoutLoopingOrRepeating) {
    // The k-th request is answered with cursors[k-1] ("*": a new one each time) and lists[k-1]
    // (both their last for good), or with HTTP 500 from request `lostFrom` on.
    struct Case {
        const char* label;
        bool wall;
        std::vector<std::string> cursors;
        std::vector<std::vector<int>> lists;
        int lostFrom;
        int requests;
        std::vector<int> pictures;
    };
    const Case cases[] = {
        {"the same cursor on every page", true, {"C1"}, {{1, 2}}, 0, 2, {1, 2}},
        {"a cursor given before", true, {"C1", "C2", "C1"}, {{1}, {2}, {3}}, 0, 3, {1, 2, 3}},
        {"fresh cursors, the same pictures", true, {"*"}, {{1, 2}}, 0, 4, {1, 2}},
        {"something new on the third page", true, {"*"}, {{1}, {1}, {1, 2}}, 0, 6, {1, 2}},
        {"an end cursor", true, {"0"}, {{1}}, 0, 1, {1}},
        {"an empty list", true, {"*"}, {{1}, {}}, 0, 2, {1}},
        {"the wall's second page lost", true, {"*"}, {{1}}, 2, 11, {1}},
        {"an album's second page lost", false, {"*"}, {{1}}, 2, 11, {1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        Rig rig;
        const std::string path = c.wall ? kWall : kAlbum;
        auto k = std::make_shared<int>(0);
        rig.site.On(path, {}, [&c, k](const std::string&) {
            const std::size_t n = ++*k;
            if (c.lostFrom && n >= static_cast<std::size_t>(c.lostFrom))
                return FakeAnswer{500, "x", "", ""};
            std::string cursor = c.cursors[std::min(n, c.cursors.size()) - 1];
            if (cursor == "*") cursor = "C" + std::to_string(n);
            std::vector<std::string> entries;
            for (int p : c.lists[std::min(n, c.lists.size()) - 1]) entries.push_back(Entry(p));
            return Json(Page(entries, Since(cursor)));
        });
        Step last;
        const auto items = rig.Walk(c.wall ? WebProtocol::WallKey().bytes() : "album1", &last);
        EXPECT_EQ(last, Step::End);
        std::vector<int> pictures;
        for (const PhotoItem& item : items)
            pictures.push_back(std::stoi(item.photoId.bytes().substr(3)));
        EXPECT_EQ(pictures, c.pictures);
        EXPECT_EQ(rig.site.Count(path), c.requests);
        EXPECT_EQ(rig.lost, c.lostFrom ? 1 : 0);
        EXPECT_EQ(rig.Logged("余下的照片未能读取"), c.lostFrom ? 1 : 0);
    }
}

TEST(WebProtocol, CaptionsHoldNoControlCharacters) {
    const std::string text = R"(第一行\n第二行\t尾)";
    struct Case {
        const char* label;
        std::string timeline;
        std::string show;
    };
    const Case cases[] = {
        {"from the timeline", Page({Post(5, "", kUid, text)}, Since("s1")), Shown(5)},
        {"from the post itself", Page({}), Shown(5, text)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        Rig rig;
        rig.site.On(kTimeline, {}, {Json(Page({}))});
        rig.site.On(kTimeline, {"page=1"}, {Json(c.timeline)});
        rig.site.On(kShow, {}, {Json(c.show)});
        rig.site.On(kAlbum, {}, {Json(Page({Entry(5, 5)}))});
        const auto items = rig.Walk("album1");
        ASSERT_EQ(items.size(), 1u);
        EXPECT_EQ(items[0].caption, "第一行 第二行 尾"_t);
    }
}

}  // namespace
}  // namespace ovx
