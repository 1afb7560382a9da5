// The whole job with the mouse, against the stand-in photo service: log in inside the
// embedded browser, "下载此用户", the album list with covers, untick an album, download with
// records on and compare the files with what ovatrix-cli saves; then pause, continue and stop
// in the middle of an album.
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QSet>
#include <QSpinBox>
#include <QTreeWidgetItem>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <chrono>

#include "EngineTestSupport.h"
#include "app/LoginPage.h"
#include "app/TabControl.h"
#include "runtime/Profile.h"

namespace ovx {
namespace {

using testing::FileTree;
using testing::Requests;
using testing::WaitUntil;
using testing::WindowAgainstService;

constexpr char kUid[] = "1642591402";

// Three albums with photos (one GIF, a caption with a slash and 乗) and one empty album.
std::string LoginScenario() {
    return R"({
  "users": [{ "uid": "1642591402", "title": "旅行的意义的微博_微博", "albums": [
    { "caption": "云南之旅", "type": 3,
      "photos": { "count": 7, "per_post": 3, "caption": "第{post}站 #{n}",
                  "newest": 1400000000, "step": 86400 } },
    { "caption": "空相册", "type": 3, "photos": [] },
    { "caption": "动图", "type": 18, "photos": [
        { "caption": "动图 Hello", "timestamp": 1398000000, "gif": true },
        { "caption": "a/b 乗", "timestamp": 1394000000 } ] },
    { "caption": "头像相册", "type": "5", "photos": { "count": 4, "caption": "头像 {n}" } } ] }],
  "session": "fixed-test-session",
  "image_bytes": 3000
})";
}

// One album of six photos whose full-size images trickle out at about one a second.
std::string SlowScenario() {
    return R"({
  "users": [{ "uid": "2803301701", "title": "慢的微博", "albums": [
    { "caption": "慢相册", "type": 3, "photos": { "count": 6, "caption": "慢 {n}" } } ] }],
  "require_login": false,
  "image_bytes": 30000,
  "faults": [ { "path": "/large/*", "bytes_per_second": 30000 } ]
})";
}

#ifdef OVX_CLI_PATH
// What ovatrix-cli saves for the same user, albums and options, in its own program folder.
std::map<QString, QByteArray> CliFiles(const std::string& base, const QString& albums) {
    QTemporaryDir programFolder, save;
    WriteIniValue(FromQString(programFolder.filePath(QStringLiteral("配置.ini"))), "服务地址"_t,
                  "相册服务"_t, Text(base));
    const QString cookies = programFolder.filePath(QStringLiteral("cookies.txt"));
    QFile file(cookies);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(
        "# Netscape HTTP Cookie File\n127.0.0.1\tFALSE\t/\tFALSE\t0\tSUB\tfixed-test-session\n");
    file.close();
    QProcess cli;
    cli.start(QStringLiteral(OVX_CLI_PATH),
              {QStringLiteral("--program-folder"), programFolder.path(), QStringLiteral("--save"),
               save.path(), QStringLiteral("--records"), QStringLiteral("on"),
               QStringLiteral("--albums"), albums, QStringLiteral("--cookies"), cookies,
               QString::fromStdString(base + "/u/" + kUid)});
    EXPECT_TRUE(cli.waitForFinished(120000));
    EXPECT_EQ(cli.exitCode(), 0) << cli.readAllStandardError().toStdString();
    return FileTree(save.path());
}
#endif

TEST(EngineRunTest, LogInListWithCoversUntickOneAndDownloadAsTheCommandLineDoes) {
    test::ServiceProcess service;
    ASSERT_GT(service.Start(LoginScenario()), 0) << service.Output();
    const std::string base = service.Url();
    WindowAgainstService w(base, "/login", true);
    auto* view = qobject_cast<QWebEngineView*>(w.Window().Login()->Browser());
    ASSERT_NE(view, nullptr);
    QStringList loaded;
    QObject::connect(view, &QWebEngineView::loadFinished, view, [&](bool ok) {
        if (ok) loaded.append(view->url().toString());
    });

    // Log in on the stand-in's login page, inside the embedded browser.
    ASSERT_TRUE(
        WaitUntil([&] { return loaded.contains(QString::fromStdString(base + "/login")); }));
    view->page()->runJavaScript(
        QStringLiteral("document.querySelector('input[name=username]').value = 'tester';"
                       "document.querySelector('input[name=password]').value = 'secret';"
                       "document.querySelector('form').submit();"));
    ASSERT_TRUE(WaitUntil([&] {
        for (const Cookie& c : w.Window().Cookies().List())
            if (c.name == "SUB" && !c.value.empty()) return true;
        return false;
    }));
    const QString home = QString::fromStdString(base + "/u/" + kUid);
    ASSERT_TRUE(w.Window().Login()->SetBrowserAddress(home));
    ASSERT_TRUE(WaitUntil([&] { return w.Window().Login()->UrlEdit()->text() == home; }));

    // "下载此用户" with covers on: the second page, the address copied, the list filled.
    const QString save = w.Folder().File("保存");
    w.Albums().SaveEdit()->setText(save);
    w.Albums().CoversBox()->setChecked(true);
    w.Options().DownloadRecordBox()->click();
    ASSERT_TRUE(w.Options().DownloadRecordBox()->isChecked());
    w.Window().Login()->DownloadUserButton()->click();
    EXPECT_EQ(w.Window().Tabs()->CurrentIndex(), 1);
    EXPECT_EQ(w.Albums().UserEdit()->text(), home);
    ASSERT_TRUE(WaitUntil([&] { return w.Status() == QStringLiteral("相册列表获取完毕,共计3个"); }))
        << w.Status().toStdString() << " / " << w.Log().toStdString();
    EXPECT_EQ(w.Albums().UserLabel()->text(), QStringLiteral("要下载用户：旅行的意义的微博_微博"));
    ReportList& list = w.List();
    ASSERT_EQ(list.RowCount(), 3);
    const QString names[] = {QStringLiteral("云南之旅"), QStringLiteral("动图"),
                             QStringLiteral("头像相册")};
    for (int r = 0; r < 3; ++r) {
        EXPECT_EQ(list.CellText(r, 1), QString::number(r + 1));
        EXPECT_EQ(list.CellText(r, 2), names[r]);
        EXPECT_TRUE(list.IsChecked(r));
        EXPECT_TRUE(list.HasCellImage(r, 3));
        EXPECT_TRUE(list.CellText(r, 5).contains(QStringLiteral("@@")));
    }
    EXPECT_EQ(list.ColumnWidth(3), 100);
    for (int c : {5, 6, 7}) EXPECT_EQ(list.ColumnWidth(c), 0);
    EXPECT_TRUE(w.Log().contains(QStringLiteral("正努力获取相册列表，耐心等待哈！")));

    // The user unticks the third album; that row becomes the selected one.
    list.topLevelItem(2)->setCheckState(0, Qt::Unchecked);
    EXPECT_EQ(list.currentItem(), list.topLevelItem(2));

    w.Interaction().PreAnswer(kOk);
    w.Albums().DownloadButton()->click();
    EXPECT_FALSE(w.Albums().DownloadButton()->isVisibleTo(&w.Albums()));
    EXPECT_TRUE(w.Albums().PauseButton()->isVisibleTo(&w.Albums()));
    EXPECT_TRUE(w.Albums().EndButton()->isVisibleTo(&w.Albums()));
    ASSERT_TRUE(WaitUntil([&] { return w.MessageShown(QStringLiteral("全部下载完毕")); }, 90000))
        << w.Log().toStdString();
    ASSERT_TRUE(WaitUntil([&] { return !w.Engine().DownloadRunning(); }));
    EXPECT_TRUE(w.Albums().DownloadButton()->isVisibleTo(&w.Albums()));
    EXPECT_FALSE(w.Albums().PauseButton()->isVisibleTo(&w.Albums()));
    EXPECT_FALSE(w.Albums().EndButton()->isVisibleTo(&w.Albums()));
    EXPECT_EQ(w.Albums().PercentLabel()->text(), QStringLiteral("100%"));
    EXPECT_EQ(w.Albums().PhotoCountLabel()->text(), QStringLiteral("下载完成"));
    EXPECT_EQ(w.Albums().AlbumCountLabel()->text(), QStringLiteral("总共需下载[2]个相册"));
    const QString log = w.Log();
    EXPECT_TRUE(log.contains(QStringLiteral("已经勾选了防止重复下载功能")));
    EXPECT_TRUE(log.contains(QStringLiteral("当前被选择相册编号:1、2、")));
    EXPECT_TRUE(log.contains(QStringLiteral("-------全部下载完毕--------")));

    const auto saved = FileTree(save);
    EXPECT_EQ(saved.size(), 9u);  // 7 + 2 photos; the unticked album is not there
#ifdef OVX_CLI_PATH
    EXPECT_EQ(saved, CliFiles(base, QStringLiteral("1,2")));
#endif

    // With records on, a second run saves nothing new.
    w.Interaction().PreAnswer(kOk);
    w.Albums().DownloadButton()->click();
    ASSERT_TRUE(WaitUntil([&] { return !w.Engine().DownloadRunning(); }, 60000));
    EXPECT_EQ(FileTree(save), saved);
    // The album-page button, once shown, takes the browser to the user's album page.
    w.Options().AlbumButtonSwitch()->click();
    QPushButton* albumPage = w.Window().Login()->AlbumPageButton();
    ASSERT_TRUE(albumPage->isVisibleTo(w.Window().Login()));
    w.Window().Login()->UrlEdit()->setText(home);
    albumPage->click();
    const QString albums = QString::fromStdString(base + "/" + kUid + "/albums/");
    EXPECT_TRUE(WaitUntil([&] { return loaded.contains(albums); }));
}

TEST(EngineRunTest, PauseHoldsContinueResumesAndStopLeavesNoPartialFile) {
    QTemporaryDir logs;
    const QString requestLog = logs.filePath(QStringLiteral("requests.log"));
    test::ServiceProcess service;
    ASSERT_GT(service.Start(SlowScenario(), {"--request-log", requestLog.toStdString()}), 0)
        << service.Output();
    WindowAgainstService w(service.Url());
    ASSERT_TRUE(w.ListAlbums(service.Url("/u/2803301701"), 1)) << w.Log().toStdString();
    const QString large = QStringLiteral("GET /large/");
    auto images = [&] { return Requests(requestLog, large).size(); };

    // Pause in the middle of the album: the image in flight completes, nothing more is asked.
    const QString first = w.Folder().File("第一次");
    w.Albums().SaveEdit()->setText(first);
    w.Interaction().PreAnswer(kOk);
    w.Albums().DownloadButton()->click();
    ASSERT_TRUE(WaitUntil([&] { return images() >= 2; }));
    w.Albums().PauseButton()->click();
    EXPECT_TRUE(w.Albums().ContinueButton()->isVisibleTo(&w.Albums()));
    EXPECT_FALSE(w.Albums().PauseButton()->isVisibleTo(&w.Albums()));
    EXPECT_TRUE(w.Albums().EndButton()->isVisibleTo(&w.Albums()));
    QTest::qWait(2500);  // the image in flight arrives; a pause is a span of time
    const auto whilePaused = images();
    QTest::qWait(1500);
    EXPECT_EQ(images(), whilePaused);
    EXPECT_LT(whilePaused, 6);
    w.Albums().ContinueButton()->click();
    EXPECT_TRUE(w.Albums().PauseButton()->isVisibleTo(&w.Albums()));
    ASSERT_TRUE(WaitUntil([&] { return w.MessageShown(QStringLiteral("全部下载完毕")); }, 60000));
    // Every image was asked for exactly once.
    const QStringList asked = Requests(requestLog, large);
    EXPECT_EQ(asked.size(), 6);
    EXPECT_EQ(QSet<QString>(asked.begin(), asked.end()).size(), 6);
    EXPECT_EQ(FileTree(first).size(), 6u);
    ASSERT_TRUE(WaitUntil([&] { return !w.Engine().DownloadRunning(); }));

    // Stop in the middle of an image: Idle at once, no message, no partial file.
    const QString second = w.Folder().File("第二次");
    w.Albums().SaveEdit()->setText(second);
    const auto before = images();
    const auto messages = w.Interaction().Messages().size();
    w.Albums().DownloadButton()->click();
    ASSERT_TRUE(WaitUntil([&] { return images() >= before + 2; }));
    w.Albums().EndButton()->click();
    EXPECT_TRUE(w.Albums().DownloadButton()->isVisibleTo(&w.Albums()));
    EXPECT_FALSE(w.Albums().PauseButton()->isVisibleTo(&w.Albums()));
    EXPECT_FALSE(w.Albums().EndButton()->isVisibleTo(&w.Albums()));
    ASSERT_TRUE(WaitUntil([&] { return !w.Engine().DownloadRunning(); }, 10000));
    EXPECT_EQ(w.Interaction().Messages().size(), messages);
    EXPECT_FALSE(w.Log().endsWith(QStringLiteral("-------全部下载完毕--------\n\n")));
    const auto saved = FileTree(second);
    EXPECT_GE(saved.size(), 1u);
    EXPECT_LT(saved.size(), 6u);
    for (const auto& [path, digest] : saved) {
        EXPECT_FALSE(QFileInfo(path).fileName().startsWith(QLatin1Char('.'))) << path.toStdString();
        EXPECT_FALSE(QImage(QDir(second).filePath(path)).isNull()) << path.toStdString();
    }
}

// The window closes a run's log with the summary line ovatrix-cli prints, and an interval set
// on the options page reaches the session's governor at once.
TEST(EngineRunTest, TheLogEndsWithTheSummaryAndANewIntervalPacesAtOnce) {
    test::ServiceProcess service;
    ASSERT_GT(service.Start(R"({ "require_login": false, "users": [ { "uid": "3003", "title": "慢",
        "albums": [ { "caption": "一本", "photos": [
          { "caption": "好", "timestamp": 1400000300, "pic_name": "good.jpg" },
          { "caption": "坏", "timestamp": 1400000200, "pic_name": "bad.jpg" },
          { "caption": "没了", "timestamp": 1400000100, "pic_name": "gone.jpg" } ] } ] } ],
        "faults": [ { "path": "/large/bad.jpg", "action": "status", "status": 500 },
                    { "path": "/large/gone.jpg", "action": "status", "status": 404 } ] })"),
              0)
        << service.Output();
    WindowAgainstService w(service.Url());
    for (int ms : {2500, 40}) {
        w.Options().RequestIntervalBox()->setValue(ms);
        EXPECT_EQ(w.Engine().Governor().Settings().interval, std::chrono::milliseconds(ms));
    }
    ASSERT_TRUE(w.ListAlbums(service.Url("/u/3003"), 1)) << w.Log().toStdString();
    w.Albums().SaveEdit()->setText(w.Folder().File("保存"));
    w.Interaction().PreAnswer(kOk);
    w.Albums().DownloadButton()->click();
    ASSERT_TRUE(WaitUntil([&] { return w.MessageShown(QStringLiteral("全部下载完毕")); }, 60000))
        << w.Log().toStdString();
    EXPECT_TRUE(w.Log().contains(
        QStringLiteral("-------全部下载完毕--------\n\n保存 1 张，跳过 0 张（已有记录），失败 1 张，已失效 1 张")))
        << w.Log().toStdString();
    ASSERT_TRUE(WaitUntil([&] { return !w.Engine().DownloadRunning(); }));
}

}  // namespace
}  // namespace ovx
