// ovatrix-cli as a user runs it: a child process against the stand-in photo service, with
// the program folder, the save location and the cookies in a fresh temporary folder.

#include <gtest/gtest.h>
#include <httplib.h>
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "../runtime/TempFolder.h"
#include "../support/ServiceProcess.h"
#include "CliProcess.h"
#include "download/PhotoNaming.h"
#include "runtime/CodePage.h"
#include "runtime/SettingsFile.h"
#include "web/CookieStore.h"

namespace ovx::test {
namespace {

namespace fs = std::filesystem;
using testing_support::TempFolder;
using namespace std::chrono_literals;

#ifdef OVX_RECORDS_PATH
const char* const kRecordsTool = OVX_RECORDS_PATH;
#else
const char* const kRecordsTool = nullptr;
#endif

// User 1001 has two albums; the photos of the first are newest first, a week apart around
// mid-December 2014 (noon in UTC+8). User 2002 has only an empty album.
const char* const kScenario = R"({
  "users": [
    { "uid": "1001", "title": "测试用户的微博", "albums": [
        { "caption": "风景", "album_id": "5000000000000001", "type": 3, "photos": [
            { "caption": "风景 一", "timestamp": 1419739200,
              "photo_id": "4000000000000001", "pic_name": "p1.jpg" },
            { "caption": "风景：二", "timestamp": 1419048000,
              "photo_id": "4000000000000002", "pic_name": "p2.jpg" },
            { "caption": "Hello, World? 2014", "timestamp": 1418616000,
              "photo_id": "4000000000000003", "pic_name": "p3.jpg" },
            { "caption": "动图", "timestamp": 1417752000, "gif": true,
              "photo_id": "4000000000000004", "pic_name": "p4.gif" } ] },
        { "caption": "旅行日记", "album_id": "5000000000000002", "type": "5",
          "photos": { "count": 3, "caption": "旅行{n}" } } ] },
    { "uid": "2002", "title": "空的微博", "albums": [ { "caption": "空相册", "photos": [] } ] }
  ],
  "image_bytes": 3000
})";

// Photos "第N张" (image sN.jpg, 12 unless asked) whose images trickle out (by default at about
// four a second), to stop a run in the middle.
std::string SlowScenario(int bytesPerSecond = 120000, int count = 12) {
    std::string photos;
    for (int n = 1; n <= count; ++n) {
        photos += std::string(n > 1 ? "," : "") + R"({ "caption": "第)" + std::to_string(n) +
                  R"(张", "timestamp": )" + std::to_string(1400000000 - n * 3600) +
                  R"(, "pic_name": "s)" + std::to_string(n) + R"(.jpg" })";
    }
    return R"({ "users": [ { "uid": "3003", "title": "慢", "albums": [
        { "caption": "慢相册", "photos": [ )" +
           photos + R"( ] } ] } ],
      "image_bytes": 30000, "require_login": false,
      "faults": [ { "path": "/large/*", "bytes_per_second": )" +
           std::to_string(bytesPerSecond) + R"( } ] })";
}

std::string U8(const fs::path& path) {
    return path.string();
}

class CliTest : public ::testing::Test {
  protected:
    void SetUp() override {
        programFolder_ = temp_.path() / "program";
        saveFolder_ = temp_.path() / "photos";
        fs::create_directories(programFolder_);
    }

    // Starts the service and points the settings file at it.
    void StartService(const char* scenario) {
        ASSERT_GT(service_.Start(scenario), 0) << service_.Output();
        SettingsFile settings(SettingsFile::PathFor(FromPath(programFolder_)));
        ASSERT_TRUE(settings.Write(SettingKey::PhotoService, Utf8ToLocal(service_.Url())));
    }

    // Logs in through the login form and writes the session cookie into a cookies.txt.
    fs::path LogIn() {
        httplib::Client client("127.0.0.1", service_.Port());
        auto answer = client.Post("/login", "username=tester&password=x",
                                  "application/x-www-form-urlencoded");
        EXPECT_TRUE(answer);
        if (!answer) return {};
        std::string setCookie = answer->get_header_value("Set-Cookie");
        std::size_t equals = setCookie.find('='), semicolon = setCookie.find(';');
        EXPECT_NE(equals, std::string::npos) << setCookie;
        Cookie cookie;
        cookie.name = setCookie.substr(0, equals);
        cookie.value = setCookie.substr(equals + 1, semicolon - equals - 1);
        cookie.domain = "127.0.0.1";
        cookie.httpOnly = true;
        fs::path file = temp_.path() / "cookies.txt";
        std::ofstream(file) << "# Netscape HTTP Cookie File\n" << FormatCookieLine(cookie) << "\n";
        return file;
    }

    std::vector<std::string> Args(std::vector<std::string> extra, const std::string& user) {
        std::vector<std::string> args{"--program-folder", U8(programFolder_), "--save",
                                      U8(saveFolder_)};
        args.insert(args.end(), extra.begin(), extra.end());
        args.push_back(service_.Url(user));
        return args;
    }

    // Runs ovatrix-cli to its end; returns its exit status.
    int Run(const std::vector<std::string>& args) {
        CliProcess cli(temp_.path());
        EXPECT_TRUE(cli.Start(OVX_CLI_PATH, args));
        int status = cli.Wait();
        out_ = cli.Out();
        err_ = cli.Err();
        return status;
    }

    fs::path AlbumFolder(const std::string& title, const std::string& album) const {
        return saveFolder_ / title / album;
    }

    // The names in a folder; temporaries apart.
    static std::set<std::string> FinalNames(const fs::path& folder, int* temporaries = nullptr) {
        std::set<std::string> names;
        if (temporaries) *temporaries = 0;
        std::error_code ec;
        for (const auto& entry : fs::directory_iterator(folder, ec)) {
            std::string name = entry.path().filename().string();
            if (IsPhotoTemporaryName(Utf8ToLocal(name))) {
                if (temporaries) ++*temporaries;
            } else {
                names.insert(name);
            }
        }
        return names;
    }

  public:
    // The image the service serves for a file name of the scenario.
    std::string Image(const std::string& picName) {
        httplib::Client client("127.0.0.1", service_.Port());
        client.set_read_timeout(30);
        auto answer = client.Get("/large/" + picName);
        return answer && answer->status == 200 ? answer->body : std::string();
    }

  protected:
    // `ovatrix-records check` on the user's record file; its `list` output into `ids`.
    int CheckRecords(const std::string& userId, std::string* ids = nullptr) {
        if (!kRecordsTool) return -1;
        fs::path file = programFolder_ / "防止重复下载数据库" / (userId + ".zdb");
        fs::path output = temp_.path() / "records-tool";
        fs::create_directories(output);
        CliProcess tool(output);
        tool.Start(kRecordsTool, {"check", U8(file)});
        int status = tool.Wait();
        if (status != 0) ADD_FAILURE() << tool.Out() << tool.Err();
        if (ids) {
            tool.Start(kRecordsTool, {"list", U8(file)});
            tool.Wait();
            *ids = tool.Out();
        }
        return status;
    }

    TempFolder temp_;
    ServiceProcess service_;
    fs::path programFolder_;
    fs::path saveFolder_;
    std::string out_;
    std::string err_;
};

std::string ReadFile(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

int CountLines(const std::string& text) {
    return static_cast<int>(std::count(text.begin(), text.end(), '\n'));
}

TEST_F(CliTest, BadArgumentsExitWithTwoAndOneLine) {
    const std::vector<std::vector<std::string>> cases = {
        {"--bogus", "http://127.0.0.1:1/u/1"},
        {"http://127.0.0.1:1/u/1", "--albums"},
        {"--naming", "名字", "http://127.0.0.1:1/u/1"},
        {"--numbering", "3", "http://127.0.0.1:1/u/1"},
        {"--records", "yes", "http://127.0.0.1:1/u/1"},
        {"--albums", "1,,2", "http://127.0.0.1:1/u/1"},
        {"--albums", "0", "http://127.0.0.1:1/u/1"},
        {"--albums", "3-1", "http://127.0.0.1:1/u/1"},
        {"--albums", "99999999999", "http://127.0.0.1:1/u/1"},
        {"--period", "2014-12-25,2014-12-10", "http://127.0.0.1:1/u/1"},
        {"--period", "2014-02-30,2014-03-01", "http://127.0.0.1:1/u/1"},
        {"--period", "2014-12-10", "http://127.0.0.1:1/u/1"},
        {"--list=yes", "http://127.0.0.1:1/u/1"},
        {"--cookies", "/nonexistent/cookies.txt", "http://127.0.0.1:1/u/1"},
        {"--cookies", "/dev/zero", "http://127.0.0.1:1/u/1"},
        {"--list"},
        {"   "},
        // Album numbers are one user's; several users take none.
        {"--albums", "1", "http://127.0.0.1:1/u/1", "http://127.0.0.1:1/u/2"},
        {"--stop-at-recorded", "x", "http://127.0.0.1:1/u/1"},
        {"--records", "off", "--stop-at-recorded", "5", "http://127.0.0.1:1/u/1"},
        {"--input-file", "/nonexistent/users.txt", "http://127.0.0.1:1/u/1"},
        {"--parallel", "0", "http://127.0.0.1:1/u/1"},
        {"--parallel", "9", "http://127.0.0.1:1/u/1"},
    };
    for (const auto& args : cases) {
        std::vector<std::string> withFolder = args;
        withFolder.insert(withFolder.begin(), {"--program-folder", U8(programFolder_)});
        EXPECT_EQ(Run(withFolder), 2) << args[0] << " " << err_;
        EXPECT_EQ(CountLines(err_), 1) << args[0] << ": " << err_;
        EXPECT_EQ(err_.rfind("ovatrix-cli: ", 0), 0u) << err_;
        EXPECT_EQ(out_, "") << args[0];
    }
}

TEST_F(CliTest, HelpGroupsOptionsAndEndsWithTwoExamplesVersionNamesItself) {
    ASSERT_EQ(Run({"--help"}), 0);
    for (const char* group : {"What to download:", "Where and how to save:", "Session and files:",
                              "Other:", "--period START,END"}) {
        EXPECT_NE(out_.find(group), std::string::npos) << group;
    }
    // Two examples close the text, each a command line of its own.
    std::string examples = out_.substr(out_.find("\nExamples:\n"));
    int commands = 0;
    for (std::size_t at = 0; (at = examples.find("\n      ovatrix-cli ", at)) != std::string::npos;
         ++at) {
        ++commands;
    }
    EXPECT_EQ(commands, 2) << examples;
    EXPECT_TRUE(examples.ends_with("https://weibo.com/u/1642591402\n")) << examples;
    ASSERT_EQ(Run({"--version", "--bogus"}), 0);
    EXPECT_EQ(out_.rfind("ovatrix-cli ", 0), 0u);
    EXPECT_EQ(CountLines(out_), 2);  // the version, then the licence
}

TEST_F(CliTest, NoUserIdExitsThreeNoAlbumsExitsFour) {
    StartService(kScenario);
    // Not logged in: the service answers with its login page.
    EXPECT_EQ(Run(Args({}, "/u/1001")), 3) << err_;
    EXPECT_NE(err_.find("no user id found on the home page: not logged in, or a wrong address"),
              std::string::npos)
        << err_;
    fs::path cookies = LogIn();
    // A wrong address: a page without the markers.
    EXPECT_EQ(Run(Args({"--cookies", U8(cookies)}, "/nobody")), 3) << err_;
    EXPECT_EQ(Run(Args({"--cookies", U8(cookies)}, "/u/2002")), 4) << err_;
    EXPECT_NE(err_.find("has no albums"), std::string::npos) << err_;
    EXPECT_FALSE(fs::exists(saveFolder_));

    // Nothing answers: the statuses stay, the message names the host and the reason.
    EXPECT_EQ(Run({"--program-folder", U8(programFolder_), "http://127.0.0.1:1/u/1001"}), 3);
    EXPECT_NE(err_.find("cannot fetch the home page http://127.0.0.1:1/u/1001: 127.0.0.1: "),
              std::string::npos)
        << err_;
    SettingsFile settings(SettingsFile::PathFor(FromPath(programFolder_)));
    ASSERT_TRUE(settings.Write(SettingKey::PhotoService, Text("http://127.0.0.1:1")));
    EXPECT_EQ(Run(Args({"--cookies", U8(cookies), "--list"}, "/u/2002")), 4) << err_;
    EXPECT_NE(err_.find("cannot fetch the album list of the user 空的微博: 127.0.0.1: "),
              std::string::npos)
        << err_;
}

// What a hostile page or a planted link can reach: nothing outside the program folder and
// the save folder changes, whatever the run does inside them.
TEST_F(CliTest, HostilePagesAndLinksLeaveFilesOutsideUntouched) {
    const fs::path victim = temp_.path() / "victim";
    fs::create_directories(victim);
    const std::string kept = "kept as it was\n";
    for (const char* name : {".bashrc", "data", "index"}) std::ofstream(victim / name) << kept;

    const std::string scenario = std::string(kScenario).insert(
        std::string(kScenario).find("    { \"uid\": \"2002\""),
        R"(    { "uid": "1002", "name": "evil", "marker_value": "1001&x=/../../../victim/.bashrc",
      "albums": [] },
)");
    StartService(scenario.c_str());
    const fs::path cookies = LogIn();

    // A marker that is not all digits is no user id: exit 3, nothing written anywhere.
    SettingsFile settings(SettingsFile::PathFor(FromPath(programFolder_)));
    ASSERT_TRUE(settings.Write(SettingKey::Protocol, "相册版"_t));
    EXPECT_EQ(Run(Args({"--cookies", U8(cookies), "--records", "on"}, "/evil")), 3) << err_;
    EXPECT_NE(err_.find("no user id found"), std::string::npos) << err_;
    EXPECT_FALSE(fs::exists(saveFolder_));

    // Links in place of the record files, one to a sound record database outside and one
    // dangling: the album goes on without records, the links and their targets stay as they
    // are.
    ASSERT_EQ(Run(Args({"--cookies", U8(cookies), "--records", "on", "--albums", "2"}, "/u/1001")),
              0)
        << err_;
    const fs::path records = programFolder_ / "防止重复下载数据库";
    fs::rename(records / "1001.zdb", victim / "data");
    fs::remove(records / "1001.ZDX");
    const std::string database = ReadFile(victim / "data");
    fs::create_symlink(victim / "data", records / "1001.zdb");
    fs::create_symlink(victim / "absent", records / "1001.ZDX");
    EXPECT_EQ(Run(Args({"--cookies", U8(cookies), "--records", "on", "--albums", "1"}, "/u/1001")),
              0)
        << err_;
    EXPECT_EQ(FinalNames(AlbumFolder("测试用户的微博", "风景4")).size(), 4u);
    EXPECT_TRUE(fs::is_symlink(records / "1001.zdb"));
    EXPECT_TRUE(fs::is_symlink(records / "1001.ZDX"));
    EXPECT_FALSE(fs::exists(victim / "absent"));
    EXPECT_EQ(ReadFile(victim / "data"), database);
    for (const char* name : {".bashrc", "index"}) EXPECT_EQ(ReadFile(victim / name), kept);
}

// A user the site's web API serves (no markers on the home page): a pinned old post, a live
// photo, a followers-only post, a post beyond the timeline's reach, an avatar album with a
// post that lists only its id. Images need the site's Referer.
const char* const kWebScenario = R"({
  "users": [ { "uid": "6120508327", "name": "shiguang", "marker": "none", "albums": [],
    "web": { "screen_name": "时光", "timeline_reach": 4, "posts": [
      { "text": "置顶", "created_at": 1767225600, "pinned": true, "pics": 1 },
      { "text": "初雪", "created_at": 1796000000, "pics": 3 },
      { "text": "海浪", "created_at": 1795900000, "pics": [{ "type": "livephoto" }] },
      { "text": "花絮", "created_at": 1795800000, "followers_only": true, "pics": 2 },
      { "text": "银杏", "created_at": 1795300000, "pics": 2 },
      { "text": "旧照片", "created_at": 1780000000, "pics": 2 } ],
      "albums": [ { "title": "头像", "posts": [
        { "text": "新头像", "created_at": 1790000000, "pics": 1 },
        { "text": "旧头像", "created_at": 1780000000, "pics": 1, "mid_only": true } ] } ] } } ],
  "require_referer": true, "wall_page_size": 4, "timeline_page_size": 2
})";

TEST_F(CliTest, WebApiUserIsDownloadedWithoutNamingTheProtocol) {
    const fs::path log = temp_.path() / "requests.log";
    ASSERT_GT(service_.Start(kWebScenario, {"--request-log", U8(log)}), 0) << service_.Output();
    SettingsFile settings(SettingsFile::PathFor(FromPath(programFolder_)));
    ASSERT_TRUE(settings.Write(SettingKey::ImageService, Utf8ToLocal(service_.Url())));
    ASSERT_TRUE(settings.Write(SettingKey::RequestInterval, Text("20")));
    const auto count = [&](const std::string& prefix) {
        const std::string text = ReadFile(log);
        int n = 0;
        for (std::size_t at = text.find("GET " + prefix); at != std::string::npos;
             at = text.find("GET " + prefix, at + 1))
            ++n;
        return n;
    };

    // Not logged in: the site redirects its JSON calls; nothing is written.
    EXPECT_EQ(Run(Args({}, "/u/6120508327")), 3) << err_;
    EXPECT_NE(err_.find("not logged in"), std::string::npos) << err_;
    EXPECT_FALSE(fs::exists(saveFolder_));

    const fs::path cookies = LogIn();
    std::ofstream(log, std::ios::trunc).close();
    ASSERT_EQ(Run(Args({"--cookies", U8(cookies), "--records", "on"}, "/u/6120508327")), 0) << err_;
    // Wall: 1 + 3 + 1 (+ video) + 2 + 2, the followers-only post's 2 positions skipped.
    const std::set<std::string> wall = FinalNames(AlbumFolder("时光", "微博配图"));
    EXPECT_EQ(wall,
              (std::set<std::string>{"(1)初雪.jpg", "(2)初雪.jpg", "(3)初雪.jpg", "(4)海浪.jpg",
                                     "(4)海浪.mov", "(7)银杏.jpg", "(8)银杏.jpg", "(9)旧照片.jpg",
                                     "(10)旧照片.jpg", "(11)置顶.jpg"}))
        << err_;
    EXPECT_EQ(FinalNames(AlbumFolder("时光", "头像")).size(), 2u) << err_;
    const fs::path records = programFolder_ / "防止重复下载数据库";
    EXPECT_TRUE(fs::exists(records / "6120508327-网页版.zdb"));
    EXPECT_FALSE(fs::exists(records / "6120508327.zdb"));
    // Posts come from the timeline as far as it reaches; only the ones it does not give (the
    // old one, the followers-only one, the two avatar posts) are asked for alone.
    EXPECT_EQ(count("/ajax/statuses/show"), 4);
    EXPECT_LE(count("/ajax/statuses/mymblog"), 4);
    const int images = count("/large/");
    EXPECT_EQ(images, 11);

    // Again with the records: no image is fetched again, nor a post asked for; without live
    // photos no video.
    fs::remove_all(saveFolder_);
    const int shown = count("/ajax/statuses/show");
    ASSERT_EQ(Run(Args({"--cookies", U8(cookies), "--records", "on"}, "/u/6120508327")), 0);
    EXPECT_EQ(count("/large/"), images);
    // Only the followers-only post and the one the avatar album lists by its id alone.
    EXPECT_EQ(count("/ajax/statuses/show") - shown, 2);
    EXPECT_NE(out_.find("跳过 11 张"), std::string::npos) << out_;
    ASSERT_EQ(Run(Args({"--cookies", U8(cookies), "--live-photos", "off"}, "/u/6120508327")), 0);
    EXPECT_TRUE(fs::exists(AlbumFolder("时光", "微博配图") / "(4)海浪.jpg"));
    EXPECT_FALSE(fs::exists(AlbumFolder("时光", "微博配图") / "(4)海浪.mov"));
    // Every JSON call after the one that set the site's XSRF cookie carried its token.
    const std::string requests = ReadFile(log);
    EXPECT_NE(requests.find("xsrf=match"), std::string::npos);
    EXPECT_EQ(requests.find("xsrf=wrong"), std::string::npos);

    // The date filter reads the posts' upload times: only the pictures of 22 November.
    fs::remove_all(saveFolder_);
    ASSERT_EQ(
        Run(Args({"--cookies", U8(cookies), "--period", "2026-11-20,2026-11-29"}, "/u/6120508327")),
        0);
    EXPECT_EQ(FinalNames(AlbumFolder("时光", "微博配图")),
              (std::set<std::string>{"(7)银杏.jpg", "(8)银杏.jpg"}));
    EXPECT_TRUE(FinalNames(AlbumFolder("时光", "头像")).empty());
}

// The web user again behind a service that bans after a few quick JSON calls (418, with
// Retry-After on every second refusal), under short waits.
class ThrottledWebTest : public CliTest {
  protected:
    void StartThrottled(const std::string& throttle, ServiceProcess* service = nullptr) {
        if (service == nullptr) service = &service_;
        std::string scenario = kWebScenario;
        scenario.insert(scenario.rfind('}'),
                        R"(, "require_login": false, "throttle": )" + throttle);
        ASSERT_GT(service->Start(scenario, {"--request-log", U8(log_)}), 0) << service->Output();
        SettingsFile settings(SettingsFile::PathFor(FromPath(programFolder_)));
        for (auto [key, value] : {std::pair{SettingKey::ImageService, service->Url()},
                                  {SettingKey::RequestInterval, std::string("50")},
                                  {SettingKey::ThrottleWait, std::string("1")},
                                  {SettingKey::ThrottleMaxWait, std::string("2")},
                                  {SettingKey::ThrottleRetries, std::string("4")}})
            ASSERT_TRUE(settings.Write(key, Utf8ToLocal(value)));
    }
    // (seconds, status) of every request to the address, in order.
    std::vector<std::pair<double, int>> Answers(const std::string& address) {
        std::vector<std::pair<double, int>> answers;
        std::istringstream in(ReadFile(log_));
        std::string method, target;
        int status;
        double seconds;
        for (std::string line; std::getline(in, line);) {
            std::istringstream fields(line);
            if (fields >> method >> target >> status >> seconds && target == address)
                answers.emplace_back(seconds, status);
        }
        return answers;
    }
    fs::path log_ = temp_.path() / "requests.log";
};

TEST_F(ThrottledWebTest, BansAreWaitedOutWithNothingLost) {
    StartThrottled(R"({ "max_requests": 3, "window_seconds": 1, "ban_seconds": 1,
                        "retry_after_every": 2 })");
    ASSERT_EQ(Run(Args({"--records", "on"}, "/u/6120508327")), 0) << err_;
    EXPECT_NE(out_.find("保存 11 张"), std::string::npos) << out_;
    EXPECT_EQ(out_.find("读取失败"), std::string::npos) << out_;
    EXPECT_NE(out_.find("服务限流（HTTP 418）"), std::string::npos) << out_;
    // Every refused call is asked again no sooner than the wait its answer called for:
    // Retry-After (the ban's second) or 1 s doubling to 2 s.
    int refused = 0;
    std::istringstream in(ReadFile(log_));
    std::set<std::string> addresses;
    for (std::string line; std::getline(in, line);) {
        std::istringstream fields(line);
        std::string method, target;
        if (fields >> method >> target && target.rfind("/ajax/", 0) == 0) addresses.insert(target);
    }
    for (const std::string& address : addresses) {
        const auto answers = Answers(address);
        for (std::size_t i = 0; i + 1 < answers.size(); ++i) {
            if (answers[i].second != 418) continue;
            ++refused;
            const double wait = answers[i + 1].first - answers[i].first;
            EXPECT_GE(wait, 0.95) << address;
        }
        ASSERT_FALSE(answers.empty());
        EXPECT_EQ(answers.back().second, 200) << address;
    }
    EXPECT_GT(refused, 0);
}

TEST_F(ThrottledWebTest, ABanThatNeverLiftsEndsWithFiveAndTheNextRunGoesOn) {
    StartThrottled(R"({ "max_requests": 6, "window_seconds": 60, "ban_seconds": 1,
                        "forever": true })");
    ASSERT_EQ(Run(Args({"--records", "on"}, "/u/6120508327")), 5) << err_;
    EXPECT_NE(out_.find("服务一直拒绝请求（HTTP 418）"), std::string::npos) << out_;
    std::string ids;
    ASSERT_EQ(CheckRecords("6120508327-网页版", &ids), 0) << ids;
    // Every file saved is recorded, the live photo's video under a record of its own.
    const int recorded = CountLines(ids);
    const int videos = static_cast<int>(std::count(ids.begin(), ids.end(), '.'));
    int temporaries = -1;
    EXPECT_EQ(static_cast<int>(FinalNames(AlbumFolder("时光", "微博配图"), &temporaries).size()),
              recorded);
    EXPECT_EQ(temporaries, 0);
    // A picture is passed over when it is recorded whole: the live photo only with its video.
    const int stills = recorded - videos;
    const int skipped = stills >= 4 && videos == 0 ? stills - 1 : stills;

    // The ban over (a service without it), the next run saves the rest.
    ServiceProcess unbanned;
    StartThrottled(R"({ "max_requests": 1000, "window_seconds": 1, "ban_seconds": 1 })", &unbanned);
    ASSERT_EQ(Run({"--program-folder", U8(programFolder_), "--save", U8(saveFolder_), "--records",
                   "on", unbanned.Url("/u/6120508327")}),
              0)
        << err_;
    EXPECT_NE(out_.find("跳过 " + std::to_string(skipped) + " 张"), std::string::npos) << out_;
    ASSERT_EQ(CheckRecords("6120508327-网页版", &ids), 0);
    EXPECT_EQ(CountLines(ids), 11 + 1);
}

// The site asks once for a visit to its front page ("ok":-100); asked again, the login is gone.
TEST_F(ThrottledWebTest, AVisitRenewsTheSessionOnceAndNotTwice) {
    StartThrottled(R"({ "max_requests": 1000, "window_seconds": 1, "ban_seconds": 1 },
                     "ok_minus_100": 1)");
    ASSERT_EQ(Run(Args({"--list"}, "/u/6120508327")), 0) << err_;
    EXPECT_NE(ReadFile(log_).find("GET / "), std::string::npos);
    ServiceProcess lost;
    StartThrottled(R"({ "max_requests": 1000, "window_seconds": 1, "ban_seconds": 1 },
                     "ok_minus_100": -1)",
                   &lost);
    EXPECT_EQ(Run({"--program-folder", U8(programFolder_), "--list", lost.Url("/u/6120508327")}),
              3);
    EXPECT_NE(err_.find("not logged in"), std::string::npos) << err_;
}

TEST_F(ThrottledWebTest, StopEndsAWaitAtOnce) {
    StartThrottled(R"({ "max_requests": 2, "window_seconds": 60, "ban_seconds": 600 })");
    SettingsFile(SettingsFile::PathFor(FromPath(programFolder_)))
        .Write(SettingKey::ThrottleWait, Text("600"));
    CliProcess cli(temp_.path());
    ASSERT_TRUE(cli.Start(OVX_CLI_PATH, Args({}, "/u/6120508327")));
    for (int i = 0; i < 300 && ReadFile(log_).find(" 418 ") == std::string::npos; ++i)
        std::this_thread::sleep_for(20ms);
    ASSERT_NE(ReadFile(log_).find(" 418 "), std::string::npos);
    cli.Signal(SIGTERM);
    // The wait would be minutes: only a wait cut short ends within the bound.
    EXPECT_EQ(cli.Wait(10s), 130) << cli.Err();
}

TEST_F(CliTest, ListPrintsOneRowPerAlbumAndAlbumsOutsideItAreRefused) {
    StartService(kScenario);
    fs::path cookies = LogIn();
    ASSERT_EQ(Run(Args({"--cookies", U8(cookies), "--list"}, "/u/1001")), 0) << err_;
    EXPECT_EQ(out_,
              "1\t风景\t4\t5000000000000001@@3\n"
              "2\t旅行日记\t3\t5000000000000002@@5\n");
    // --verbose: a line per request on standard error, the output unchanged, no cookie.
    const std::string rows = out_;
    ASSERT_EQ(Run(Args({"--cookies", U8(cookies), "--verbose", "--list"}, "/u/1001")), 0) << err_;
    EXPECT_EQ(out_, rows);
    EXPECT_NE(err_.find("GET " + service_.Url("/u/1001") + " -> 200, "), std::string::npos) << err_;
    EXPECT_NE(err_.find("GET " + service_.Url("/albums/get_all?")), std::string::npos) << err_;
    std::string session = ReadFile(cookies);
    session = session.substr(session.rfind('\t') + 1);
    session.pop_back();  // the line break
    ASSERT_FALSE(session.empty());
    EXPECT_EQ(err_.find(session), std::string::npos) << session;

    // Without --cookies the window browser's cookies below the program folder serve.
    fs::create_directories(programFolder_ / "浏览器数据");
    fs::copy_file(cookies, programFolder_ / "浏览器数据" / "cookies.txt");
    EXPECT_EQ(Run(Args({"--list"}, "/u/1001")), 0) << err_;
    EXPECT_EQ(CountLines(out_), 2);

    EXPECT_EQ(Run(Args({"--albums", "1,2-3"}, "/u/1001")), 2) << err_;
    EXPECT_NE(err_.find("album number 3 names no album"), std::string::npos) << err_;
    EXPECT_FALSE(fs::exists(saveFolder_));
}

TEST_F(CliTest, DownloadsChosenAlbumThenSkipsEverythingRecorded) {
    StartService(kScenario);
    fs::path cookies = LogIn();
    ASSERT_EQ(
        Run(Args({"--cookies", U8(cookies), "--albums", "1", "--naming", "内容加序号"}, "/u/1001")),
        0)
        << err_;
    fs::path album = AlbumFolder("测试用户的微博", "风景4");
    const std::set<std::string> expected = {"风景一(1).jpg", "风景二(2).jpg",
                                            "Hello,World2014(3).jpg", "动图(4).gif"};
    int temporaries = -1;
    EXPECT_EQ(FinalNames(album, &temporaries), expected);
    EXPECT_EQ(temporaries, 0);
    EXPECT_EQ(ReadFile(album / "风景一(1).jpg"), Image("p1.jpg"));
    EXPECT_EQ(ReadFile(album / "动图(4).gif"), Image("p4.gif"));
    EXPECT_FALSE(fs::exists(AlbumFolder("测试用户的微博", "旅行日记3")));
    // The log on standard output, UTF-8 with plain line breaks, the summary last.
    EXPECT_NE(out_.find("准备下载相册《风景》\n"), std::string::npos) << out_;
    EXPECT_EQ(out_.find('\r'), std::string::npos);
    EXPECT_NE(err_.find("全部下载完毕"), std::string::npos) << err_;
    EXPECT_TRUE(out_.ends_with("保存 4 张，跳过 0 张（已有记录），失败 0 张\n")) << out_;
    std::string ids;
    EXPECT_EQ(CheckRecords("1001", &ids), 0);
    EXPECT_EQ(CountLines(ids), 4) << ids;

    // Records on: nothing is fetched again.
    fs::remove(album / "风景一(1).jpg");
    ASSERT_EQ(Run(Args({"--cookies", U8(cookies), "--albums", "1", "--records", "on"}, "/u/1001")),
              0)
        << err_;
    EXPECT_TRUE(out_.ends_with("保存 0 张，跳过 4 张（已有记录），失败 0 张\n")) << out_;
    EXPECT_FALSE(fs::exists(album / "风景一(1).jpg"));
}

// Exit 6 says that a run went to its end but left something for the next run; pictures the
// host says are deleted are counted apart and leave nothing to fetch again.
TEST_F(CliTest, ARunThatLeftSomethingBehindExitsSixDeletedPicturesDoNot) {
    struct Case {
        std::string faults;
        int exit;
        std::string summary;
    };
    const std::vector<Case> cases = {
        {R"([{ "path": "/photos/get_all", "query": {"album_id": "5000000000000001"},
               "action": "status", "status": 500 }])",
         6, "保存 0 张，跳过 0 张（已有记录），失败 0 张，未能读取 1 页"},
        {R"([{ "path": "/large/p2.jpg", "action": "status", "status": 500 }])", 6,
         "保存 3 张，跳过 0 张（已有记录），失败 1 张"},
        {R"([{ "path": "/large/p2.jpg", "action": "status", "status": 302,
               "headers": {"Location": "http://{host}:{port}/images/default_h_large.gif"} },
             { "path": "/large/p3.jpg", "headers": {"x-image-errno": "101"} },
             { "path": "/large/p4.gif", "action": "status", "status": 410 }])",
         0, "保存 1 张，跳过 0 张（已有记录），失败 0 张，已失效 3 张"},
    };
    for (const Case& c : cases) {
        std::string scenario = kScenario;
        scenario.insert(scenario.rfind('}'), R"(, "require_login": false, "faults": )" + c.faults);
        ServiceProcess service;
        ASSERT_GT(service.Start(scenario), 0) << service.Output();
        SettingsFile settings(SettingsFile::PathFor(FromPath(programFolder_)));
        ASSERT_TRUE(settings.Write(SettingKey::PhotoService, Utf8ToLocal(service.Url())));
        fs::remove_all(saveFolder_);
        fs::remove_all(programFolder_ / "防止重复下载数据库");
        EXPECT_EQ(Run({"--program-folder", U8(programFolder_), "--save", U8(saveFolder_),
                       "--albums", "1", "--records", "on", service.Url("/u/1001")}),
                  c.exit)
            << err_;
        EXPECT_TRUE(out_.ends_with(c.summary + "\n")) << out_;
        std::string ids;
        EXPECT_EQ(CheckRecords("1001", &ids), 0);
        EXPECT_EQ(CountLines(ids), std::stoi(c.summary.substr(c.summary.find(' ') + 1))) << ids;
    }
}

TEST_F(CliTest, PeriodTakesOnlyPhotosBetweenTheDates) {
    StartService(kScenario);
    fs::path cookies = LogIn();
    ASSERT_EQ(Run(Args({"--cookies", U8(cookies), "--albums", "1", "--naming", "序号加内容",
                        "--period", "2014-12-10,2014-12-25"},
                       "/u/1001")),
              0)
        << err_;
    // The photo of the 28th is too new (skipped), the one of the 5th ends the album.
    EXPECT_EQ(FinalNames(AlbumFolder("测试用户的微博", "风景4")),
              (std::set<std::string>{"(2)风景二.jpg", "(3)Hello,World2014.jpg"}));
    EXPECT_NE(out_.find("【启用了】 固定时间段内的下载"), std::string::npos) << out_;
    EXPECT_TRUE(out_.ends_with("保存 2 张，跳过 0 张（已有记录），失败 0 张\n")) << out_;
}

// Waits until the folder holds a photo under its final name.
bool WaitForFirstPhoto(const fs::path& folder) {
    for (auto deadline = std::chrono::steady_clock::now() + 60s;
         std::chrono::steady_clock::now() < deadline; std::this_thread::sleep_for(20ms)) {
        std::error_code ec;
        for (const auto& entry : fs::directory_iterator(folder, ec)) {
            if (!IsPhotoTemporaryName(Utf8ToLocal(entry.path().filename().string()))) return true;
        }
    }
    return false;
}

// Every photo under a final name is whole: "(N)第N张.jpg" holds image sN.jpg.
void ExpectWholePhotos(CliTest& test, const fs::path& album, const std::set<std::string>& names) {
    for (const std::string& name : names) {
        int n = std::atoi(name.c_str() + 1);
        EXPECT_EQ(name, "(" + std::to_string(n) + ")第" + std::to_string(n) + "张.jpg");
        EXPECT_EQ(ReadFile(album / name), test.Image("s" + std::to_string(n) + ".jpg")) << name;
    }
}

// One transfer at a time and several in flight: a stop ends them at once, keeps what was
// whole and leaves nothing half written.
TEST_F(CliTest, SigtermStopsBetweenStepsWithNothingHalfWritten) {
    // Slower and longer, so that four transfers are still in the album when its first
    // photos are named.
    StartService(SlowScenario(40000, 24).c_str());
    fs::path album = AlbumFolder("慢", "慢相册24");
    for (const char* parallel : {"1", "4"}) {
        fs::remove_all(saveFolder_);
        fs::remove_all(programFolder_ / "防止重复下载数据库");
        CliProcess cli(temp_.path());
        ASSERT_TRUE(
            cli.Start(OVX_CLI_PATH, Args({"--records", "on", "--parallel", parallel}, "/u/3003")));
        ASSERT_TRUE(WaitForFirstPhoto(album));
        cli.Signal(SIGTERM);
        EXPECT_EQ(cli.Wait(30s), 130) << cli.Err();

        int temporaries = -1;
        std::set<std::string> names = FinalNames(album, &temporaries);
        EXPECT_EQ(temporaries, 0) << parallel;
        EXPECT_GE(names.size(), 1u);
        EXPECT_LT(names.size(), 24u) << parallel;
        ExpectWholePhotos(*this, album, names);
        EXPECT_NE(cli.Out().find("保存 "), std::string::npos) << cli.Out();
        std::string ids;
        EXPECT_EQ(CheckRecords("3003", &ids), 0) << ids;
        EXPECT_EQ(static_cast<std::size_t>(CountLines(ids)), names.size()) << parallel;
    }
}

TEST_F(CliTest, SigtermCutsASlowHomePageShort) {
    StartService(R"({ "users": [ { "uid": "3003", "albums": [] } ], "require_login": false,
                      "faults": [ { "path": "/u/3003", "delay_ms": 60000 } ] })");
    CliProcess cli(temp_.path());
    ASSERT_TRUE(cli.Start(OVX_CLI_PATH, Args({}, "/u/3003")));
    std::this_thread::sleep_for(300ms);
    cli.Signal(SIGTERM);
    // The page would take a minute: only a request cut short ends within the bound.
    EXPECT_EQ(cli.Wait(30s), 130) << cli.Err();
}

TEST_F(CliTest, RunAfterSigkillRemovesLeftoverTemporaryAndCompletesTheRest) {
    StartService(SlowScenario().c_str());
    fs::path album = AlbumFolder("慢", "慢相册12");
    {
        CliProcess cli(temp_.path());
        ASSERT_TRUE(cli.Start(OVX_CLI_PATH, Args({"--records", "on"}, "/u/3003")));
        ASSERT_TRUE(WaitForFirstPhoto(album));
        std::this_thread::sleep_for(100ms);
        cli.Signal(SIGKILL);
        EXPECT_EQ(cli.Wait(30s), -SIGKILL);
    }
    std::set<std::string> before = FinalNames(album);
    EXPECT_LT(before.size(), 12u);
    ExpectWholePhotos(*this, album, before);
    // What a kill in the middle of a write leaves behind.
    const std::string leftover = ".ovx-killed.part";
    ASSERT_TRUE(IsPhotoTemporaryName(Utf8ToLocal(leftover)));
    std::ofstream(album / leftover) << "half a photo";

    ASSERT_EQ(Run(Args({"--records", "on"}, "/u/3003")), 0) << err_;
    int temporaries = -1;
    std::set<std::string> after = FinalNames(album, &temporaries);
    EXPECT_EQ(temporaries, 0);
    EXPECT_EQ(after.size(), 12u);
    ExpectWholePhotos(*this, album, after);
    std::string ids;
    EXPECT_EQ(CheckRecords("3003", &ids), 0) << ids;
    EXPECT_EQ(CountLines(ids), 12) << ids;
}

// Every file (path and bytes) under the folder.
std::map<std::string, std::string> FileTree(const fs::path& folder) {
    std::map<std::string, std::string> files;
    std::error_code ec;
    for (const auto& e : fs::recursive_directory_iterator(folder, ec)) {
        if (e.is_regular_file()) files[fs::relative(e.path(), folder).string()] = ReadFile(e.path());
    }
    return files;
}

// Arrival seconds of each request for the path, in order.
std::vector<double> Arrivals(const std::string& log, const std::string& path) {
    std::vector<double> seconds;
    std::istringstream in(log);
    std::string method, target;
    int status = 0;
    double at = 0;
    for (std::string line; std::getline(in, line);) {
        std::istringstream fields(line);
        if (fields >> method >> target >> status >> at && target == path) seconds.push_back(at);
    }
    return seconds;
}

// Transfers side by side leave what one at a time leaves: the same names (one caption for
// many pictures), bytes, records and log, with a first picture that arrives last, a picture
// that fails, one that is gone, and a live photo whose video fails.
TEST_F(CliTest, FourTransfersLeaveWhatOneAtATimeLeaves) {
    const fs::path log = temp_.path() / "requests.log";
    ASSERT_GT(service_.Start(R"({
  "users": [ { "uid": "6120508327", "marker": "none", "albums": [],
    "web": { "screen_name": "时光", "posts": [
      { "text": "同名", "created_at": 1796000000, "pics": [ "pa1", "pa2" ] },
      { "text": "同名", "created_at": 1795900000,
        "pics": [ { "pid": "pb1", "type": "livephoto" }, "pb2" ] },
      { "text": "同名", "created_at": 1795800000, "pics": [ { "pid": "pc1", "type": "livephoto" } ] },
      { "text": "别名", "created_at": 1795700000, "pics": [ "pd1", "pd2", "pd3" ] } ] } } ],
  "require_login": false, "wall_page_size": 3,
  "faults": [ { "path": "/large/pa1.jpg", "delay_ms": 1500 },
              { "path": "/large/pd2.jpg", "delay_ms": 300 },
              { "path": "/large/pb2.jpg", "action": "status", "status": 500 },
              { "path": "/livephoto/pc1.mov", "action": "status", "status": 500 },
              { "path": "/large/pd1.jpg", "action": "status", "status": 410 } ]
})",
                             {"--request-log", U8(log)}),
              0)
        << service_.Output();
    SettingsFile settings(SettingsFile::PathFor(FromPath(programFolder_)));
    ASSERT_TRUE(settings.Write(SettingKey::ImageService, Utf8ToLocal(service_.Url())));
    ASSERT_TRUE(settings.Write(SettingKey::RequestInterval, Text("0")));

    struct Result {
        int exit = 0;
        std::map<std::string, std::string> files;
        std::set<std::string> records;
        std::string out;
    };
    std::map<std::string, Result> results;
    for (const char* parallel : {"1", "4"}) {
        fs::remove_all(saveFolder_);
        fs::remove_all(programFolder_ / "防止重复下载数据库");
        std::ofstream(log, std::ios::trunc).close();
        Result& r = results[parallel];
        r.exit = Run(Args({"--records", "on", "--naming", "内容", "--albums", "1", "--parallel",
                           parallel},
                          "/u/6120508327"));
        r.files = FileTree(saveFolder_);
        std::string ids;
        EXPECT_EQ(CheckRecords("6120508327-网页版", &ids), 0) << ids;
        std::istringstream lines(ids);
        for (std::string id; std::getline(lines, id);) r.records.insert(id);
        r.out = out_;
        // The first picture is slow: one at a time the next waits for it, side by side not.
        const std::string requests = ReadFile(log);
        const std::vector<double> first = Arrivals(requests, "/large/pa1.jpg");
        const std::vector<double> second = Arrivals(requests, "/large/pa2.jpg");
        ASSERT_EQ(first.size(), 1u);
        ASSERT_EQ(second.size(), 1u);
        EXPECT_EQ(second[0] >= first[0] + 1.5, parallel == std::string("1")) << parallel;
    }
    const Result& one = results["1"];
    const Result& four = results["4"];
    EXPECT_EQ(one.exit, 6) << one.out;
    EXPECT_EQ(four.exit, one.exit);
    EXPECT_EQ(one.files.size(), 7u) << one.out;  // 5 stills and a video
    for (const auto& [name, bytes] : one.files) {
        EXPECT_TRUE(four.files.count(name) && four.files.at(name) == bytes) << name;
    }
    EXPECT_EQ(four.files.size(), one.files.size());
    EXPECT_EQ(four.records, one.records);
    EXPECT_EQ(four.out, one.out);
}

// A throttling answer to one image holds every new transfer until its wait is over.
TEST_F(CliTest, AThrottledImageHoldsNewTransfers) {
    const fs::path log = temp_.path() / "requests.log";
    std::string photos;
    for (int n = 1; n <= 12; ++n) {
        photos += std::string(n > 1 ? "," : "") + R"({ "caption": "图)" + std::to_string(n) +
                  R"(", "timestamp": )" + std::to_string(1400000000 - n * 3600) +
                  R"(, "pic_name": "b)" + std::to_string(n) + R"(.jpg" })";
    }
    ASSERT_GT(service_.Start(R"({ "users": [ { "uid": "3003", "title": "限", "albums": [
        { "caption": "限流", "photos": [ )" + photos + R"( ] } ] } ],
      "image_bytes": 3000, "require_login": false,
      "faults": [ { "path": "/large/b3.jpg", "action": "status", "status": 429,
                    "retry_after": 2, "times": 1 } ] })",
                             {"--request-log", U8(log)}),
              0)
        << service_.Output();
    SettingsFile settings(SettingsFile::PathFor(FromPath(programFolder_)));
    ASSERT_TRUE(settings.Write(SettingKey::PhotoService, Utf8ToLocal(service_.Url())));
    ASSERT_EQ(Run(Args({"--records", "on", "--parallel", "4"}, "/u/3003")), 0) << err_;
    EXPECT_EQ(FinalNames(AlbumFolder("限", "限流12")).size(), 12u) << out_;

    const std::string requests = ReadFile(log);
    const std::vector<double> throttled = Arrivals(requests, "/large/b3.jpg");
    ASSERT_EQ(throttled.size(), 2u) << requests;
    // Transfers started before the answer came may go on; none starts during the wait.
    for (int n = 1; n <= 12; ++n) {
        for (double at : Arrivals(requests, "/large/b" + std::to_string(n) + ".jpg")) {
            EXPECT_FALSE(at > throttled[0] + 0.5 && at < throttled[1] - 0.05)
                << "b" << n << " at " << at << "\n" << requests;
        }
    }
    EXPECT_GE(throttled[1] - throttled[0], 1.9);
}

}  // namespace
}  // namespace ovx::test
