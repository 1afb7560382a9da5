// ovatrix-cli over a web-API user of the stand-in with its visitor system on: a public user's
// photos through the site's visitor access (and what happens when it is stale or refused),
// several users in one run, and reruns that stop where the records begin.

#include <gtest/gtest.h>
#include <httplib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "../runtime/TempFolder.h"
#include "../support/ServiceProcess.h"
#include "CliProcess.h"
#include "runtime/CodePage.h"
#include "runtime/SettingsFile.h"
#include "web/CookieStore.h"

namespace ovx::test {
namespace {

namespace fs = std::filesystem;
using testing_support::TempFolder;

// The web user of the command-line tests, with the visitor system switched on by `visitors`;
// `newer` adds posts newer than all the others (a rerun's new pictures).
std::string Scenario(const std::string& visitors, const std::string& newer = "") {
    return R"({ "visitors": )" + visitors + R"(,
  "users": [ { "uid": "6120508327", "name": "shiguang", "marker": "none", "albums": [],
    "web": { "screen_name": "时光", "timeline_reach": 4, "posts": [ )" +
           newer + R"(
      { "text": "初雪", "created_at": 1796000000, "pics": 3 },
      { "text": "海浪", "created_at": 1795900000, "pics": [{ "type": "livephoto" }] },
      { "text": "花絮", "created_at": 1795800000, "followers_only": true, "pics": 2 },
      { "text": "银杏", "created_at": 1795300000, "pics": 2 } ],
      "albums": [ { "title": "头像", "posts": [
        { "text": "新头像", "created_at": 1790000000, "pics": 1 } ] } ] } } ],
  "require_referer": true, "wall_page_size": 4, "timeline_page_size": 2 })";
}

class CliWebRunTest : public ::testing::Test {
  protected:
    void Start(const std::string& visitors, const std::string& newer = "") {
        fs::create_directories(program_);
        service_ = std::make_unique<ServiceProcess>();
        ASSERT_GT(service_->Start(Scenario(visitors, newer), {"--request-log", log_.string()}), 0);
        SettingsFile settings(SettingsFile::PathFor(FromPath(program_)));
        for (SettingKey key : {SettingKey::ImageService, SettingKey::VisitorService})
            ASSERT_TRUE(settings.Write(key, Utf8ToLocal(service_->Url())));
        ASSERT_TRUE(settings.Write(SettingKey::RequestInterval, Text("0")));
    }
    // With `user`, the web user's address closes the command line.
    int Run(std::vector<std::string> extra = {}, bool user = true) {
        std::ofstream(log_, std::ios::trunc).close();
        std::vector<std::string> args{"--program-folder", program_.string(), "--save",
                                      save_.string(),     "--records",       "on"};
        args.insert(args.end(), extra.begin(), extra.end());
        if (user) args.push_back(service_->Url("/u/6120508327"));
        CliProcess cli(temp_.path());
        EXPECT_TRUE(cli.Start(OVX_CLI_PATH, args));
        const int status = cli.Wait();
        out_ = cli.Out();
        err_ = cli.Err();
        return status;
    }
    // Request log lines whose request starts with `prefix` ("POST /visitor/genvisitor2").
    std::vector<std::string> Lines(const std::string& prefix) const {
        std::vector<std::string> lines;
        std::ifstream in(log_);
        for (std::string line; std::getline(in, line);)
            if (line.rfind(prefix, 0) == 0) lines.push_back(line);
        return lines;
    }
    std::set<std::string> Names(const std::string& album) const {
        std::set<std::string> names;
        std::error_code ec;
        for (const auto& e : fs::directory_iterator(save_ / "时光" / album, ec))
            names.insert(e.path().filename().string());
        return names;
    }
    // The SUB value the kept visitor cookies hold.
    std::string KeptSub() const {
        CookieStore kept;
        kept.Load(program_ / "访客cookies.txt");
        for (const Cookie& c : kept.List())
            if (c.name == "SUB") return c.value;
        return {};
    }

    TempFolder temp_;
    fs::path program_ = temp_.path() / "program";
    fs::path save_ = temp_.path() / "photos";
    fs::path log_ = temp_.path() / "requests.log";
    std::unique_ptr<ServiceProcess> service_;
    std::string out_, err_;
};

TEST_F(CliWebRunTest, APublicUserNeedsNoLoginAndTheVisitorCookiesAreKept) {
    Start("true");
    ASSERT_EQ(Run(), 0) << err_;
    EXPECT_NE(err_.find("visitor access"), std::string::npos) << err_;
    // Captions and dates from single posts; the followers-only post is not shown to visitors.
    EXPECT_EQ(Names("微博配图"),
              (std::set<std::string>{"(1)初雪.jpg", "(2)初雪.jpg", "(3)初雪.jpg", "(4)海浪.jpg",
                                     "(4)海浪.mov", "(7)银杏.jpg", "(8)银杏.jpg"}))
        << out_;
    EXPECT_EQ(Names("头像"), std::set<std::string>{"(1)新头像.jpg"});
    EXPECT_EQ(Lines("POST /visitor/genvisitor2").size(), 1u);
    EXPECT_TRUE(Lines("GET /ajax/statuses/mymblog").empty()) << "a visitor reads no timeline";
    // The visitor's cookies never reach the image host.
    const std::vector<std::string> images = Lines("GET /large/");
    ASSERT_FALSE(images.empty());
    for (const std::string& line : images) EXPECT_NE(line.find("cookie=none"), std::string::npos);
    ASSERT_FALSE(KeptSub().empty());

    // The next run reuses them: no handshake, nothing fetched again.
    ASSERT_EQ(Run(), 0) << err_;
    EXPECT_TRUE(Lines("POST /visitor/").empty());
    EXPECT_NE(out_.find("跳过 7 张"), std::string::npos) << out_;

    // A login given on the command line makes no handshake and reads the timeline.
    httplib::Client client("127.0.0.1", service_->Port());
    auto login =
        client.Post("/login", "username=tester&password=x", "application/x-www-form-urlencoded");
    ASSERT_TRUE(login);
    const std::string setCookie = login->get_header_value("Set-Cookie");
    Cookie sub{
        setCookie.substr(0, setCookie.find('=')),
        setCookie.substr(setCookie.find('=') + 1, setCookie.find(';') - setCookie.find('=') - 1),
        "127.0.0.1"};
    const fs::path cookies = temp_.path() / "cookies.txt";
    std::ofstream(cookies) << FormatCookieLine(sub) << "\n";
    ASSERT_EQ(Run({"--cookies", cookies.string()}), 0) << err_;
    EXPECT_TRUE(Lines("POST /visitor/").empty());
    EXPECT_FALSE(Lines("GET /ajax/statuses/mymblog").empty());
    EXPECT_EQ(err_.find("visitor access"), std::string::npos) << err_;
}

// Kept visitor cookies the site no longer takes are renewed once; when neither handshake
// gives new ones, the run says the site wants a login.
TEST_F(CliWebRunTest, StaleCookiesAreRenewedAndFailedHandshakesEndTheRun) {
    Start("true");
    ASSERT_EQ(Run(), 0) << err_;
    const std::string stale = KeptSub();
    ASSERT_FALSE(stale.empty());

    struct Case {
        std::string visitors;
        int exit;
        std::vector<std::string> handshake;  // the passport's requests, in order
    };
    const Case cases[] = {
        {R"({ "revoked": [")" + stale + R"("] })",
         0,
         {"POST /visitor/genvisitor2", "GET /visitor/visitor"}},
        // The current handshake refused: the older one.
        {R"({ "genvisitor2": "refuse" })",
         0,
         {"POST /visitor/genvisitor2", "POST /visitor/genvisitor", "GET /visitor/visitor"}},
        {R"({ "genvisitor2": "error", "genvisitor": "refuse" })",
         3,
         {"POST /visitor/genvisitor2", "POST /visitor/genvisitor"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.visitors);
        fs::remove_all(save_);
        fs::remove_all(program_ / "防止重复下载数据库");
        // The stand-in started afresh knows no visitor but the revoked one.
        if (c.visitors.find("revoked") == std::string::npos)
            fs::remove(program_ / "访客cookies.txt");
        Start(c.visitors);
        EXPECT_EQ(Run(), c.exit) << err_;
        std::vector<std::string> passport;
        for (const std::string& line : Lines("")) {
            if (line.find(" /visitor/") == std::string::npos ||
                line.find("a=enter") != std::string::npos)
                continue;
            passport.push_back(line.substr(0, line.find('?')));
        }
        EXPECT_EQ(passport, c.handshake);
        if (c.exit == 0) {
            EXPECT_EQ(Names("头像").size(), 1u) << out_;
        } else {
            EXPECT_NE(err_.find("not logged in"), std::string::npos) << err_;
            EXPECT_NE(out_.find("访客身份获取失败"), std::string::npos) << out_;
        }
    }
}

// Users in a list, one of them an address that names nobody: both are tried, the good one is
// downloaded, a last line adds them up and the exit status is the bad one's.
TEST_F(CliWebRunTest, SeveralUsersInOneRunAreEachTried) {
    Start("true");
    const fs::path list = temp_.path() / "users.txt";
    std::ofstream(list) << "# the users to keep\n\n  " << service_->Url("/nobody") << "  \n"
                        << service_->Url("/u/6120508327") << "\n";
    EXPECT_EQ(Run({"--input-file", list.string()}, false), 3) << err_;
    EXPECT_EQ(Names("微博配图").size(), 7u) << out_;
    // Both profiles, and the first call once more after the site sent it to its visitor system.
    EXPECT_EQ(Lines("GET /ajax/profile/info").size(), 3u);
    // Pictures are counted, not the live photo's video beside its still.
    EXPECT_NE(out_.find("共 2 个用户：保存 7 张"), std::string::npos) << out_;
    EXPECT_EQ(Lines("POST /visitor/genvisitor2").size(), 1u) << "one session for both users";

    // Listed, each user's rows under a header; the same user twice in one run.
    ASSERT_EQ(Run({"--list", service_->Url("/u/6120508327"), "--input-file", list.string()}, false),
              3);
    EXPECT_EQ(std::count(out_.begin(), out_.end(), '#'), 2) << out_;
    EXPECT_NE(out_.find("# 6120508327 时光"), std::string::npos) << out_;
}

// A rerun with the records stops in each album after N recorded pictures in a row: the new
// pictures are fetched, the walk ends there with its line.
TEST_F(CliWebRunTest, ARerunStopsWhereTheRecordsBegin) {
    Start("true");
    ASSERT_EQ(Run(), 0) << err_;
    Start("true", R"({ "text": "新的", "created_at": 1797000000, "mid": "5000000000200001",
                       "pics": [ { "pid": "0069newpic01" }, { "pid": "0069newpic02" } ] },)");
    ASSERT_EQ(Run({"--stop-at-recorded", "2"}), 0) << err_;
    EXPECT_EQ(Lines("GET /large/").size(), 2u) << out_;
    EXPECT_NE(out_.find("张已下载的照片"), std::string::npos) << out_;
    EXPECT_NE(out_.find("保存 2 张"), std::string::npos) << out_;
    // The wall's first page was the list's; nothing past the recorded pictures is asked.
    EXPECT_EQ(Lines("GET /ajax/profile/getImageWall").size(), 1u);
}

}  // namespace
}  // namespace ovx::test
