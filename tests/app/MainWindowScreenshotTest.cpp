// Renders the window during a real run against the stand-in photo service with the demo
// data, for looking at the window as a user sees it: the browser logged in on a user's home
// page, the album list with covers, a download in progress, the finished log, the options
// and the about page; and a user of the site's web API, listed and downloaded. Runs only
// when OVX_SCREENSHOT_DIR names the output folder (scripts/screenshots).
#include <QDir>
#include <QFile>
#include <QTreeWidgetItem>
#include <QWebEngineView>

#include "EngineTestSupport.h"
#include "app/LoginPage.h"
#include "app/TabControl.h"

namespace ovx {
namespace {

using testing::WaitUntil;

#if defined(OVX_DEMO_SCENARIO) && defined(OVX_PHOTO_SERVICE)
// The demo data, with full-size images slowed down so that a run can be caught in progress.
std::string SlowedDemoScenario() {
    QFile file(QStringLiteral(OVX_DEMO_SCENARIO));
    if (!file.open(QIODevice::ReadOnly)) return {};
    std::string json = file.readAll().toStdString();
    const std::size_t brace = json.find('{');
    if (brace == std::string::npos) return {};
    json.insert(brace + 1, R"( "faults": [ { "path": "/large/*", "bytes_per_second": 120000 } ],)");
    return json;
}

// Shows one tab page of the window and saves what it looks like.
void SavePage(MainWindow& window, const QString& outDir, const char* name, int page) {
    window.Tabs()->SetCurrentIndex(page);
    QTest::qWait(page == 0 ? 1500 : 300);  // let the page lay out and paint
    const QString file = QDir(outDir).filePath(QString::fromUtf8(name));
    EXPECT_TRUE(window.grab().save(file)) << file.toStdString();
}

Cookie DemoSession() {
    Cookie session;
    session.name = "SUB";
    session.value = "demo-session";
    session.domain = "127.0.0.1";
    return session;
}
#endif

TEST(MainWindowScreenshot, RendersARealRunAgainstTheStandIn) {
    const QString outDir = qEnvironmentVariable("OVX_SCREENSHOT_DIR");
    if (outDir.isEmpty()) GTEST_SKIP() << "set OVX_SCREENSHOT_DIR to render the pages";
#if !defined(OVX_DEMO_SCENARIO) || !defined(OVX_PHOTO_SERVICE)
    GTEST_SKIP() << "no photo service to render against";
#else
    ASSERT_TRUE(QDir().mkpath(outDir));
    test::ServiceProcess service;
    ASSERT_GT(service.Start(SlowedDemoScenario()), 0) << service.Output();

    // Logged in: the demo's session, as a login the window kept from an earlier run.
    testing::WindowAgainstService shown(service.Url(), "/lvxing", true, {DemoSession()});
    MainWindow& window = shown.Window();
    auto save = [&](const char* name, int page) { SavePage(window, outDir, name, page); };

    auto* view = qobject_cast<QWebEngineView*>(window.Login()->Browser());
    bool loaded = false;
    QObject::connect(view, &QWebEngineView::loadFinished, view, [&](bool ok) { loaded = ok; });
    ASSERT_TRUE(WaitUntil([&] { return loaded; }));
    save("1-login.png", 0);

    shown.Albums().CoversBox()->setChecked(true);
    shown.Albums().SaveEdit()->setText(shown.Folder().File("照片"));
    window.Login()->DownloadUserButton()->click();
    ASSERT_TRUE(
        WaitUntil([&] { return shown.Status().startsWith(QStringLiteral("相册列表获取完毕")); }));
    save("2-albums.png", 1);

    // Every album: caught in the middle of the big one, then stopped.
    shown.Albums().DownloadButton()->click();
    ASSERT_TRUE(WaitUntil([&] { return shown.Log().count(QStringLiteral("\n")) > 12; }));
    save("3-downloading.png", 1);
    shown.Albums().EndButton()->click();
    ASSERT_TRUE(WaitUntil([&] { return !shown.Engine().DownloadRunning(); }));

    // The small albums, to the end.
    shown.List().topLevelItem(0)->setCheckState(0, Qt::Unchecked);
    shown.Interaction().PreAnswer(kOk);
    shown.Albums().DownloadButton()->click();
    ASSERT_TRUE(WaitUntil([&] { return shown.MessageShown(QStringLiteral("全部下载完毕")); }));
    ASSERT_TRUE(WaitUntil([&] { return !shown.Engine().DownloadRunning(); }));
    save("4-finished.png", 1);
    save("5-options.png", 2);
    save("6-about.png", 3);
#endif
}

// The demo's user of the site's web API (no album-service markers): opened in the browser,
// listed with 下载此用户 (the photo wall and the avatar album), downloaded to the end with the
// demo's pacing, into 7-web-albums.png and 8-web-finished.png.
TEST(MainWindowScreenshot, RendersAWebApiUserAgainstTheStandIn) {
    const QString outDir = qEnvironmentVariable("OVX_SCREENSHOT_DIR");
    if (outDir.isEmpty()) GTEST_SKIP() << "set OVX_SCREENSHOT_DIR to render the pages";
#if !defined(OVX_DEMO_SCENARIO) || !defined(OVX_PHOTO_SERVICE)
    GTEST_SKIP() << "no photo service to render against";
#else
    ASSERT_TRUE(QDir().mkpath(outDir));
    test::ServiceProcess service;
    QFile scenario(QStringLiteral(OVX_DEMO_SCENARIO));
    ASSERT_TRUE(scenario.open(QIODevice::ReadOnly));
    ASSERT_GT(service.Start(scenario.readAll().toStdString()), 0) << service.Output();

    testing::WindowAgainstService shown(service.Url(), "/shiguang", true, {DemoSession()}, 300);
    MainWindow& window = shown.Window();
    auto* view = qobject_cast<QWebEngineView*>(window.Login()->Browser());
    bool loaded = false;
    QObject::connect(view, &QWebEngineView::loadFinished, view, [&](bool ok) { loaded = ok; });
    ASSERT_TRUE(WaitUntil([&] { return loaded; }));

    shown.Albums().CoversBox()->setChecked(true);
    shown.Albums().SaveEdit()->setText(shown.Folder().File("照片"));
    window.Login()->DownloadUserButton()->click();
    ASSERT_TRUE(
        WaitUntil([&] { return shown.Status().startsWith(QStringLiteral("相册列表获取完毕")); }));
    EXPECT_EQ(shown.List().topLevelItemCount(), 2);  // the photo wall and the avatar album
    SavePage(window, outDir, "7-web-albums.png", 1);

    shown.Interaction().PreAnswer(kOk);
    shown.Albums().DownloadButton()->click();
    ASSERT_TRUE(WaitUntil([&] { return shown.MessageShown(QStringLiteral("全部下载完毕")); }));
    ASSERT_TRUE(WaitUntil([&] { return !shown.Engine().DownloadRunning(); }));
    SavePage(window, outDir, "8-web-finished.png", 1);
#endif
}

// The same user before any login: the window goes on with the site's visitor access.
TEST(MainWindowScreenshot, RendersAVisitorRunAgainstTheStandIn) {
    const QString outDir = qEnvironmentVariable("OVX_SCREENSHOT_DIR");
    if (outDir.isEmpty()) GTEST_SKIP() << "set OVX_SCREENSHOT_DIR to render the pages";
#if !defined(OVX_DEMO_SCENARIO) || !defined(OVX_PHOTO_SERVICE)
    GTEST_SKIP() << "no photo service to render against";
#else
    ASSERT_TRUE(QDir().mkpath(outDir));
    test::ServiceProcess service;
    QFile scenario(QStringLiteral(OVX_DEMO_SCENARIO));
    ASSERT_TRUE(scenario.open(QIODevice::ReadOnly));
    // The demo's stand-in has its visitor system on.
    ASSERT_GT(service.Start(scenario.readAll().toStdString()), 0) << service.Output();

    testing::WindowAgainstService shown(service.Url(), "/shiguang", false, {}, 300);
    MainWindow& window = shown.Window();
    shown.Albums().CoversBox()->setChecked(true);
    shown.Albums().SaveEdit()->setText(shown.Folder().File("照片"));
    shown.Albums().UserEdit()->setText(QString::fromStdString(service.Url("/shiguang")));
    shown.Albums().GetAlbumsButton()->click();
    ASSERT_TRUE(
        WaitUntil([&] { return shown.Status().startsWith(QStringLiteral("相册列表获取完毕")); }));
    EXPECT_EQ(shown.List().topLevelItemCount(), 2);
    EXPECT_TRUE(shown.Log().contains(QStringLiteral("访客身份"))) << shown.Log().toStdString();
    shown.Interaction().PreAnswer(kOk);
    shown.Albums().DownloadButton()->click();
    ASSERT_TRUE(WaitUntil([&] { return shown.MessageShown(QStringLiteral("全部下载完毕")); }));
    ASSERT_TRUE(WaitUntil([&] { return !shown.Engine().DownloadRunning(); }));
    SavePage(window, outDir, "9-web-visitor.png", 1);
#endif
}

}  // namespace
}  // namespace ovx
