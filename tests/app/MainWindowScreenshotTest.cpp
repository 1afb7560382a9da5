// Renders every tab page of the window to a PNG file, for looking at the window as a user
// sees it. Runs only when OVX_SCREENSHOT_DIR names the output folder (scripts/screenshots).
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QWebEngineView>

#include "MainWindowTestSupport.h"
#include "app/GuiInteraction.h"
#include "app/LoginPage.h"
#include "app/MainWindow.h"
#include "app/ReportList.h"
#include "app/TabControl.h"

namespace ovx {
namespace {

using testing::Find;

constexpr char kLoginPage[] = R"(<!doctype html><html><head><meta charset="utf-8">
<title>微博</title></head><body style="font-family:sans-serif;background:#f2f2f5">
<div style="width:360px;margin:60px auto;padding:24px;background:#fff;border-radius:6px">
<h2 style="color:#e6162d">微博 登录</h2>
<p><input placeholder="手机号/邮箱" style="width:100%;padding:6px"></p>
<p><input type="password" placeholder="密码" style="width:100%;padding:6px"></p>
<p><button style="width:100%;padding:8px;background:#ff8200;color:#fff;border:0">登录</button></p>
</div></body></html>)";

// Some albums and log lines, so the list page shows how rows look.
void FillAlbumPage(MainWindow& w) {
    auto* list = Find<ReportList>(&w, "超级列表框1");
    const char* names[] = {"头像相册", "微博配图", "旅行·云南", "我的相册 2016"};
    const char* counts[] = {"12", "1843", "96", "240"};
    for (int i = 0; i < 4; ++i) {
        const int row = list->AddRow();
        list->SetCellText(row, 1, QString::number(row + 1));
        list->SetCellText(row, 2, QString::fromUtf8(names[i]));
        list->SetCellText(row, 4, QString::fromUtf8(counts[i]));
        list->SetCellText(row, 5, QStringLiteral("3%1@@0").arg(i));
        list->SetChecked(row, i != 2);
    }
    Find<QLineEdit>(&w, "编辑框_号码")->setText(QStringLiteral("https://weibo.com/u/1234567890"));
    Find<QLabel>(&w, "标签_用户")->setText(QStringLiteral("用户：示例用户"));
    Find<QLabel>(&w, "标签_动态")->setText(QStringLiteral("相册列表获取完毕,共计4个"));
    Find<QPlainTextEdit>(&w, "编辑框_操作记录")
        ->setPlainText(QStringLiteral("正努力获取相册列表，耐心等待哈！\n\n-----获取完毕,共计4个\n"
                                      "选择要下载的 点击【3下载选中】\n"));
    Find<QLabel>(&w, "标签_进度条比例")->setText(QStringLiteral("100%"));
}

TEST(MainWindowScreenshot, RendersEveryTabPage) {
    const QString outDir = qEnvironmentVariable("OVX_SCREENSHOT_DIR");
    if (outDir.isEmpty()) GTEST_SKIP() << "set OVX_SCREENSHOT_DIR to render the pages";
    ASSERT_TRUE(QDir().mkpath(outDir));

    testing::LoopbackServer server;
    server.Routes().Get("/", [](const httplib::Request&, httplib::Response& res) {
        res.set_content(kLoginPage, "text/html; charset=utf-8");
    });
    server.Start();
    testing::ScratchProgramFolder folder;
    folder.Set("服务地址", "首页", server.QUrlText("/"));
    folder.Set("服务地址", "网站", QStringLiteral("http://www.example.com/"));

    GuiInteraction interaction;
    InstallInteraction(&interaction);
    {
        MainWindow window;
        auto* view = qobject_cast<QWebEngineView*>(window.Login()->Browser());
        bool loaded = false;
        QObject::connect(view, &QWebEngineView::loadFinished, view, [&](bool) { loaded = true; });
        window.show();
        ASSERT_TRUE(testing::WaitUntil([&] { return loaded; }));
        FillAlbumPage(window);

        const char* files[] = {"1-login.png", "2-albums.png", "3-options.png", "4-about.png"};
        for (int page = 0; page < 4; ++page) {
            window.Tabs()->SetCurrentIndex(page);
            // Let the page lay out and paint (the browser draws asynchronously).
            QTest::qWait(page == 0 ? 1500 : 200);
            const QString file = QDir(outDir).filePath(QString::fromUtf8(files[page]));
            EXPECT_TRUE(window.grab().save(file)) << file.toStdString();
        }
    }
    InstallInteraction(nullptr);
}

}  // namespace
}  // namespace ovx
