// Image, video and cover requests go to the image host without the session's cookies and
// without the site's XSRF token, though the session holds both: a logged-in web API user
// listed with covers and downloaded with live photos, against the stand-in.

#include <fstream>
#include <sstream>

#include "DownloadFixture.h"
#include "catalogue/Catalogue.h"

namespace ovx::test {
namespace {

const char* const kScenario = R"({
  "users": [ { "uid": "6120508327", "name": "shiguang", "marker": "none", "albums": [],
    "web": { "screen_name": "时光", "posts": [
      { "text": "初雪", "created_at": 1796000000, "pics": 2 },
      { "text": "海浪", "created_at": 1795900000, "pics": [{ "type": "livephoto" }] } ],
      "albums": [ { "title": "头像", "posts": [
        { "text": "新头像", "created_at": 1790000000, "pics": 1 } ] } ] } } ],
  "require_referer": true, "session": "logged-in"
})";

TEST_F(DownloadFixture, ImageVideoAndCoverRequestsCarryNoCookieAndNoToken) {
    StartService(kScenario);
    Cookie login;
    login.name = "SUB";
    login.value = "logged-in";
    login.domain = "127.0.0.1";
    ASSERT_TRUE(session_.cookies.Import(login));
    session_.governor.SetInterval(std::chrono::milliseconds(0));

    RecordingView view;
    view.answers.homePageAddress = Text(service_->Url("/u/6120508327"));
    view.answers.coversWanted = true;
    view.answers.albumOptions.saveLocation = SaveText();
    const Text origin(service_->Url());
    Catalogue catalogue(view, ServiceSettings{Text(), origin, origin, "网页版"_t},
                        session_.Context());
    ASSERT_TRUE(catalogue.ResolveAndList()) << view.Log();
    ASSERT_FALSE(view.ReadAlbums().empty()) << view.Log();
    const Catalogue::Listing listed = catalogue.Listed();
    DownloadSetup setup = Setup("6120508327", "时光");
    setup.user = listed.user;
    setup.protocol = listed.protocol;
    const DownloadSummary summary = Run(view, setup);
    EXPECT_EQ(summary.failed, 0) << view.Log();
    EXPECT_GT(summary.saved, 0) << view.Log();

    // The session did carry its cookies and token to the JSON calls.
    std::ifstream in(root_ / "requests.log");
    int pictures = 0, videos = 0, tokens = 0;
    for (std::string line; std::getline(in, line);) {
        if (line.find(" xsrf=match") != std::string::npos) ++tokens;
        if (line.find(" host=") == std::string::npos) continue;
        EXPECT_NE(line.find(" cookie=none xsrf=none"), std::string::npos) << line;
        std::istringstream fields(line);
        std::string method, target;
        fields >> method >> target;
        if (target.rfind("/livephoto/", 0) == 0) {
            ++videos;
        } else {
            ++pictures;
        }
    }
    EXPECT_GT(tokens, 0);
    // Every picture, and at least one album cover.
    EXPECT_GT(pictures, summary.saved);
    EXPECT_EQ(videos, 1);
}

}  // namespace
}  // namespace ovx::test
