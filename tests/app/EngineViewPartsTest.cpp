// The window's pieces around the engine that need no service: which addresses may reach the
// browser, cover decoding, the list's selection boxes, the view's order and shutdown, and the
// termination signals.
#include <QBuffer>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <csignal>
#include <thread>

#include "MainWindowTestSupport.h"
#include "TestInteraction.h"
#include "app/AlbumsPage.h"
#include "app/CoverPicture.h"
#include "app/GuiEngineView.h"
#include "app/LoginPage.h"
#include "app/MainWindow.h"
#include "app/OptionsPage.h"
#include "app/ReportList.h"
#include "app/TerminationSignals.h"
#include "app/WebAddress.h"
#include "app/WorkerThread.h"
#include "runtime/StopFlag.h"

namespace ovx {
namespace {

using testing::WaitUntil;

TEST(WebAddressTest, OnlyWebAddressesAreLoaded) {
    const std::pair<const char*, const char*> accepted[] = {
        {"http://weibo.com/u/1", "http://weibo.com/u/1"},
        {"  HTTPS://weibo.com/  ", "https://weibo.com/"},
        {"weibo.com/u/1", "https://weibo.com/u/1"},
        {"localhost:8080/login", "http://localhost:8080/login"},
        {"127.0.0.1:5000", "http://127.0.0.1:5000"},
        {"about:blank", "about:blank"},
    };
    for (auto [typed, loaded] : accepted) {
        const auto url = BrowsableAddress(QString::fromUtf8(typed));
        ASSERT_TRUE(url.has_value()) << typed;
        EXPECT_EQ(url->toString(), QString::fromUtf8(loaded)) << typed;
    }
    for (const char* refused :
         {"chrome://gpucrash", "chrome://memory-exhaust", "CHROME://crash", "javascript:alert(1)",
          "JavaScript:void(0)", "file:///etc/passwd", "about:version", "view-source:http://a/",
          "data:text/html,<b>x</b>", "devtools://devtools", "ftp://example.com/", "http://",
          "http:///path", "", "   "}) {
        EXPECT_FALSE(BrowsableAddress(QString::fromUtf8(refused))) << refused;
    }
}

TEST(WebAddressTest, ACrashPageAsTheHomePageIsRefusedAtStartAndByTheOpenButton) {
    testing::ScratchProgramFolder folder;
    folder.Set("服务地址", "首页", QStringLiteral("chrome://gpucrash"));
    testing::TestInteraction interaction;
    InstallInteraction(&interaction);
    {
        MainWindow window;
        window.show();
        LoginPage& login = *window.Login();
        ASSERT_TRUE(WaitUntil([&] { return login.HintLabel()->text() != LoginPage::Hint(); }));
        EXPECT_TRUE(login.HintLabel()->text().contains(QStringLiteral("chrome://gpucrash")));
        EXPECT_FALSE(login.BrowserAddress().startsWith(QStringLiteral("chrome")));

        login.UrlEdit()->setText(QStringLiteral("javascript:document.title='x'"));
        login.OpenButton()->click();
        EXPECT_TRUE(login.HintLabel()->text().contains(QStringLiteral("javascript:")));
        EXPECT_FALSE(login.BrowserAddress().startsWith(QStringLiteral("javascript")));
    }
    InstallInteraction(nullptr);
}

QByteArray Encoded(const QImage& image, const char* format) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes;
}

Bytes AsBytes(const QByteArray& data) {
    return Bytes(data.begin(), data.end());
}

TEST(CoverPictureTest, PicturesFitTheSquareAndEverythingElseIsThePlaceholder) {
    // A wide red picture: scaled to 100 x 50, centred, transparent above and below.
    QImage wide(200, 100, QImage::Format_RGB32);
    wide.fill(Qt::red);
    for (const char* format : {"JPEG", "PNG", "BMP"}) {
        const QByteArray data = Encoded(wide, format);
        ASSERT_FALSE(data.isEmpty()) << format;
        QImage cover;
        ASSERT_TRUE(DecodeCover(AsBytes(data), cover)) << format;
        EXPECT_EQ(cover.size(), QSize(kCoverSide, kCoverSide));
        EXPECT_EQ(qAlpha(cover.pixel(50, 10)), 0) << format;
        const QColor middle(cover.pixel(50, 50));
        EXPECT_GT(middle.red(), 200) << format;
        EXPECT_LT(middle.green(), 60) << format;
    }

    // Qt reads GIF but does not write it: one red pixel, by hand.
    const QByteArray gif = QByteArray::fromHex(
        "4749463839610100010080000"
        "0ff0000ffffff2c00000000010001000002024401003b");
    QImage fromGif;
    ASSERT_TRUE(DecodeCover(AsBytes(gif), fromGif));
    EXPECT_EQ(QColor(fromGif.pixel(50, 50)), QColor(Qt::red));

    const QByteArray jpeg = Encoded(wide, "JPEG");
    QByteArray huge = QByteArray::fromHex("89504e470d0a1a0a0000000d49484452") +
                      QByteArray::fromHex("0000ea600000ea6008060000000000000000");
    const QByteArray bad[] = {
        {},
        QByteArray("<html><body>登录</body></html>"),
        jpeg.left(20),
        huge,
        QByteArray(1000, '\xff'),
    };
    for (const QByteArray& data : bad) {
        QImage cover;
        EXPECT_FALSE(DecodeCover(AsBytes(data), cover)) << data.left(16).toHex().toStdString();
        EXPECT_EQ(CoverImageFrom(AsBytes(data)), PlaceholderCover());
    }
    EXPECT_EQ(PlaceholderCover().size(), QSize(kCoverSide, kCoverSide));
}

TEST(AlbumListBoxesTest, SelectAllAndInvertActOnlyWhenTicked) {
    AlbumsPage page;
    ReportList& list = *page.Albums();
    for (int i = 0; i < 3; ++i) list.SetChecked(list.AddRow(), i != 1);
    auto checks = [&] {
        return QList<bool>{list.IsChecked(0), list.IsChecked(1), list.IsChecked(2)};
    };

    page.InvertBox()->click();  // now ticked: flips every row
    EXPECT_EQ(checks(), (QList<bool>{false, true, false}));
    page.SelectAllBox()->click();  // ticked: unticks "反选", checks every row
    EXPECT_FALSE(page.InvertBox()->isChecked());
    EXPECT_EQ(checks(), (QList<bool>{true, true, true}));
    list.SetChecked(0, false);
    page.SelectAllBox()->click();  // unticking "全选" changes no row
    EXPECT_EQ(checks(), (QList<bool>{false, true, true}));
    page.InvertBox()->click();
    page.InvertBox()->click();  // unticking "反选" changes no row
    EXPECT_EQ(checks(), (QList<bool>{true, false, false}));
}

TEST(GuiEngineViewTest, WorkerCallsArriveInOrderAndShutdownReleasesAWaitingRead) {
    AlbumsPage albums;
    OptionsPage options;
    GuiEngineView view(&albums, &options);
    albums.UserEdit()->setText(QStringLiteral("http://example.com/u/1"));

    Text address;
    auto worker = WorkerThread::Start([&] {
        for (int i = 1; i <= 200; ++i) view.AppendLog(Text(std::to_string(i) + ","));
        view.SetLabel(ViewLabel::Status, "完毕"_t);
        address = view.ReadHomePageAddress();  // answered after every write before it
    });
    ASSERT_TRUE(WaitUntil([&] { return worker->Finished(); }));
    worker->Join();
    QString expected;
    for (int i = 1; i <= 200; ++i) expected += QString::number(i) + QLatin1Char(',');
    EXPECT_EQ(albums.Log()->toPlainText(), expected);
    EXPECT_EQ(albums.StatusLabel()->text(), QStringLiteral("完毕"));
    EXPECT_EQ(address, Text("http://example.com/u/1"));

    // A read the window never answers (it is busy elsewhere) ends with Shutdown().
    std::atomic<bool> done{false};
    std::vector<AlbumListEntry> rows{{}};
    std::thread reader([&] {
        rows = view.ReadAlbums();
        done = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));  // no events processed here
    view.Shutdown();
    reader.join();
    EXPECT_TRUE(done);
    EXPECT_TRUE(rows.empty());
    EXPECT_EQ(view.ShowMessage("全部下载完毕"_t, 0, std::nullopt), kOk);
    view.AppendLog("dropped"_t);
    QCoreApplication::processEvents();
    EXPECT_FALSE(albums.Log()->toPlainText().contains(QStringLiteral("dropped")));
}

TEST(GuiEngineViewTest, AStoppedWorkerLeavesItsMessageBox) {
    testing::TestInteraction interaction;
    InstallInteraction(&interaction);
    {
        AlbumsPage albums;
        OptionsPage options;
        GuiEngineView view(&albums, &options);
        int answer = -1;
        auto worker = WorkerThread::Start(
            [&] { answer = view.ShowMessage("全部下载完毕"_t, kMbOkCancel, std::nullopt); });
        ASSERT_TRUE(WaitUntil([&] { return !interaction.Messages().empty(); }));
        QTest::qWait(100);  // the box is up
        worker->Stop().Raise();
        ASSERT_TRUE(WaitUntil([&] { return worker->Finished(); }, 5000));
        worker->Join();
        EXPECT_EQ(answer, kCancel);
    }
    InstallInteraction(nullptr);
}

TEST(TerminationSignalsTest, SigtermAndSigintBecomeAnEventOnTheWindowThread) {
    TerminationSignals termination;
    ASSERT_TRUE(termination.Installed());
    QList<int> received;
    QObject::connect(&termination, &TerminationSignals::received,
                     [&](int number) { received.append(number); });
    std::raise(SIGTERM);
    ASSERT_TRUE(WaitUntil([&] { return received.size() == 1; }, 5000));
    std::raise(SIGINT);
    ASSERT_TRUE(WaitUntil([&] { return received.size() == 2; }, 5000));
    EXPECT_EQ(received, (QList<int>{SIGTERM, SIGINT}));
}

}  // namespace
}  // namespace ovx
