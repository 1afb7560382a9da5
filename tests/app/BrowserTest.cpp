// The embedded browser against a loopback site: the address box follows the page (never
// "about:blank"), new-window links open in the same view, the open button loads the typed
// address, and the cookies the browser gets are carried by the program's own requests.
#include <QLineEdit>
#include <QPushButton>
#include <QWebEnginePage>
#include <QWebEngineView>

#include "MainWindowTestSupport.h"
#include "TestInteraction.h"
#include "app/BrowserCookieBridge.h"
#include "app/LoginPage.h"
#include "app/MainWindow.h"
#include "web/CookieStore.h"
#include "web/WebRequest.h"

namespace ovx {
namespace {

using testing::Find;
using testing::WaitUntil;

class BrowserTest : public ::testing::Test {
  protected:
    void SetUp() override {
        auto page = [](const char* body) {
            return [body](const httplib::Request&, httplib::Response& res) {
                res.set_content(body, "text/html; charset=utf-8");
            };
        };
        auto& r = server_.Routes();
        r.Get("/home", page("<html><body><a id='next' href='/second'>next</a>"
                            "<a id='popup' href='/popup' target='_blank'>popup</a></body></html>"));
        r.Get("/second", page("<html><body>second</body></html>"));
        r.Get("/popup", page("<html><body>opened</body></html>"));
        r.Get("/login", [](const httplib::Request&, httplib::Response& res) {
            res.set_header("Set-Cookie", "SUB=session-1; Path=/; HttpOnly");
            res.set_content(
                "<html><body><script>document.cookie='SCF=from-script; path=/'"
                "</script>logged in</body></html>",
                "text/html");
        });
        r.Get("/echo", [](const httplib::Request& req, httplib::Response& res) {
            res.set_content(req.get_header_value("Cookie"), "text/plain");
        });
        server_.Start();
        folder_.Set("服务地址", "首页", server_.QUrlText("/home"));
        InstallInteraction(&interaction_);
        window_ = std::make_unique<MainWindow>();
        window_->show();
        view_ = qobject_cast<QWebEngineView*>(window_->Login()->Browser());
        ASSERT_NE(view_, nullptr);
        QObject::connect(view_, &QWebEngineView::loadFinished, view_,
                         [this](bool) { loaded_.push_back(view_->url().toString()); });
        // Start-up points the browser at the home page.
        ASSERT_TRUE(WaitUntil([&] { return LoadedLast("/home"); }));
    }
    void TearDown() override {
        window_.reset();
        InstallInteraction(nullptr);
    }

    QString AddressBox() const { return Find<QLineEdit>(window_.get(), "编辑框_url")->text(); }
    // The last document the browser finished loading was `path`.
    bool LoadedLast(const std::string& path) const {
        return !loaded_.empty() && loaded_.back() == server_.QUrlText(path);
    }
    bool StoreHas(const std::string& name) const {
        for (const Cookie& c : window_->Cookies().List())
            if (c.name == name) return true;
        return false;
    }

    testing::ScratchProgramFolder folder_;
    testing::LoopbackServer server_;
    testing::TestInteraction interaction_;
    std::unique_ptr<MainWindow> window_;
    QWebEngineView* view_ = nullptr;
    QStringList loaded_;
};

TEST_F(BrowserTest, StartsOnTheHomePageAndTheAddressBoxFollowsLinks) {
    EXPECT_EQ(AddressBox(), server_.QUrlText("/home"));
    view_->page()->runJavaScript(QStringLiteral("document.getElementById('next').click()"));
    ASSERT_TRUE(WaitUntil([&] { return AddressBox() == server_.QUrlText("/second"); }));
    EXPECT_TRUE(WaitUntil([&] { return LoadedLast("/second"); }));
}

TEST_F(BrowserTest, AboutBlankLeavesTheAddressBoxAlone) {
    window_->Login()->SetBrowserAddress(QStringLiteral("about:blank"));
    ASSERT_TRUE(WaitUntil([&] { return loaded_.endsWith(QStringLiteral("about:blank")); }));
    EXPECT_EQ(AddressBox(), server_.QUrlText("/home"));
}

TEST_F(BrowserTest, ANewWindowLinkOpensInTheSameView) {
    view_->page()->runJavaScript(QStringLiteral("document.getElementById('popup').click()"));
    ASSERT_TRUE(WaitUntil([&] { return LoadedLast("/popup"); }));
    EXPECT_TRUE(WaitUntil([&] { return AddressBox() == server_.QUrlText("/popup"); }));
}

TEST_F(BrowserTest, TheOpenButtonLoadsTheTypedAddress) {
    Find<QLineEdit>(window_.get(), "编辑框_url")->setText(server_.QUrlText("/second"));
    Find<QPushButton>(window_.get(), "按钮_打开")->click();
    EXPECT_TRUE(WaitUntil([&] { return LoadedLast("/second"); }));
}

TEST_F(BrowserTest, CookiesThePageSetsGoWithTheProgramsOwnRequests) {
    window_->Login()->SetBrowserAddress(server_.QUrlText("/login"));
    ASSERT_TRUE(WaitUntil([&] { return StoreHas("SUB") && StoreHas("SCF"); }));
    const Bytes body = WebRequest(Text(server_.Url("/echo")), {.cookieStore = &window_->Cookies()});
    const std::string sent(body.begin(), body.end());
    EXPECT_NE(sent.find("SUB=session-1"), std::string::npos) << sent;
    EXPECT_NE(sent.find("SCF=from-script"), std::string::npos) << sent;
}

TEST_F(BrowserTest, TheLoginIsKeptForTheNextRun) {
    window_->Login()->SetBrowserAddress(server_.QUrlText("/login"));
    ASSERT_TRUE(WaitUntil([&] { return StoreHas("SUB"); }));
    window_.reset();                                                     // the program ends ...
    window_ = std::make_unique<MainWindow>(MainWindow::Options{false});  // ... and starts again
    EXPECT_TRUE(StoreHas("SUB"));
    const Bytes body = WebRequest(Text(server_.Url("/echo")), {.cookieStore = &window_->Cookies()});
    EXPECT_NE(std::string(body.begin(), body.end()).find("SUB=session-1"), std::string::npos);
}

TEST(BrowserCookieCopy, LinesRoundTripAndDamagedLinesAreSkipped) {
    Cookie c;
    c.name = "SUB";
    c.value = "a=b;c";
    c.domain = ".weibo.com";
    c.path = "/p";
    c.secure = true;
    c.httpOnly = true;
    c.expires = 1900000000;
    Cookie back;
    ASSERT_TRUE(ParseCookieLine(FormatCookieLine(c) + "\r\n", back));
    EXPECT_EQ(FormatCookieLine(back), FormatCookieLine(c));
    EXPECT_TRUE(back.httpOnly);
    EXPECT_TRUE(back.secure);

    for (const char* bad :
         {"", "# Netscape HTTP Cookie File", "weibo.com\tFALSE\t/\tFALSE\t0\tSUB",
          "weibo.com\tFALSE\t/\tFALSE\tsoon\tSUB\tx", "weibo.com\tFALSE\t/\tFALSE\t-5\tSUB\tx",
          "\tFALSE\t/\tFALSE\t0\tSUB\tx", "weibo.com\tFALSE\t/\tFALSE\t0\t\tx"}) {
        EXPECT_FALSE(ParseCookieLine(bad, back)) << bad;
    }
}

}  // namespace
}  // namespace ovx
