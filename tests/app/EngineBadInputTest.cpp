// The window against a service that misbehaves: a home page without markers, a user without
// albums, 500 albums, covers that are HTML, too large to decode, cut off or never coming, and
// an image that stalls. The window shows the right message or rows, ignores a second press
// while the list runs, and closes cleanly in the middle of any of it.
#include <QImage>

#include "EngineTestSupport.h"

namespace ovx {
namespace {

using testing::FileTree;
using testing::Requests;
using testing::WaitUntil;
using testing::WindowAgainstService;

// A PNG header that announces a 60000 x 60000 picture, followed by nothing.
QByteArray HugePngHeader() {
    QByteArray png = QByteArray::fromHex("89504e470d0a1a0a0000000d49484452");
    png += QByteArray::fromHex("0000ea600000ea600806000000");
    png += QByteArray::fromHex("00000000");  // CRC, wrong on purpose
    png += QByteArray(64, '\0');
    return png;
}

std::string ManyAlbums(int n) {
    std::string albums;
    for (int i = 1; i <= n; ++i) {
        if (i > 1) albums += ",";
        albums += R"({ "caption": "相册)" + std::to_string(i) +
                  R"(", "photos": [ { "caption": "一张", "timestamp": 1400000000 } ] })";
    }
    return R"({ "require_login": false, "users": [{ "uid": "3001", "title": "很多相册", "albums": [)" +
           albums + "] }] }";
}

struct BadCase {
    const char* name;
    std::string scenario;
    const char* homePath;
    bool covers;
    // What the case waits for before it checks and closes the window.
    enum class Until { Message, Rows, Images } until;
    int count;  // rows or image requests to wait for
    // The message box the case waits for (Until::Message).
    const char* message = "获取到相册个数为：0";
};

TEST(EngineBadInputTest, ShowsTheMessageOrRowsAndClosesCleanlyInTheMiddleOfAny) {
    // Covers the stand-in cannot make: a picture too large to decode, and one that never comes.
    testing::LoopbackServer covers;
    std::atomic<bool> releaseSlowCover{false};
    covers.Routes().Get("/huge.png", [](const httplib::Request&, httplib::Response& res) {
        const QByteArray png = HugePngHeader();
        res.set_content(png.constData(), static_cast<std::size_t>(png.size()), "image/png");
    });
    covers.Routes().Get("/never.jpg", [&](const httplib::Request&, httplib::Response& res) {
        for (int i = 0; i < 600 && !releaseSlowCover; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        res.set_content("", "image/jpeg");
    });
    covers.Routes().Get("/page.html", [](const httplib::Request&, httplib::Response& res) {
        res.set_content("<html><body>not a picture</body></html>", "text/html");
    });
    covers.Start();

    const std::string badCovers =
        R"({ "require_login": false, "users": [{ "uid": "2001", "title": "坏封面", "albums": [
        { "caption": "网页封面", "cover": ")" +
        covers.Url("/page.html") + R"(", "photos": { "count": 2 } },
        { "caption": "巨大封面", "cover": ")" +
        covers.Url("/huge.png") + R"(", "photos": { "count": 2 } },
        { "caption": "空封面", "cover": "", "photos": { "count": 2 } },
        { "caption": "截断封面", "photos": { "count": 2 } },
        { "caption": "不来的封面", "cover": ")" +
        covers.Url("/never.jpg") + R"(", "photos": { "count": 2 } }
      ] }],
      "faults": [ { "path": "/thumb300/*", "action": "truncate", "keep_bytes": 200 } ] })";
    const BadCase cases[] = {
        // The web API is asked, and says it has no such user.
        {"a page without markers",
         R"({ "require_login": false, "users": [{ "uid": "1", "albums": [] }] })", "/nobody", false,
         BadCase::Until::Message, 0, "获取主页失败：用户不存在"},
        {"a user without albums",
         R"({ "require_login": false, "users": [{ "uid": "1001", "albums": [] }] })", "/u/1001",
         false, BadCase::Until::Message, 0},
        {"500 albums, closed while they come", ManyAlbums(500), "/u/3001", false,
         BadCase::Until::Rows, 8},
        {"bad covers, closed while one never comes", badCovers, "/u/2001", true,
         BadCase::Until::Rows, 4},
        {"an image that stalls, closed in the middle",
         R"({ "require_login": false, "image_bytes": 60000,
              "users": [{ "uid": "4001", "title": "卡住", "albums": [
                { "caption": "卡住的相册", "photos": { "count": 3 } } ] }],
              "faults": [ { "path": "/large/*", "bytes_per_second": 2000 } ] })",
         "/u/4001", false, BadCase::Until::Images, 1},
    };

    for (const BadCase& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir logs;
        const QString requestLog = logs.filePath(QStringLiteral("requests.log"));
        test::ServiceProcess service;
        ASSERT_GT(service.Start(c.scenario, {"--request-log", requestLog.toStdString()}), 0)
            << service.Output();

        releaseSlowCover = false;
        auto w = std::make_unique<WindowAgainstService>(service.Url());
        w->Albums().CoversBox()->setChecked(c.covers);
        w->Albums().UserEdit()->setText(QString::fromStdString(service.Url(c.homePath)));
        w->Albums().GetAlbumsButton()->click();
        // A second press while the list runs is ignored.
        w->Albums().GetAlbumsButton()->click();

        switch (c.until) {
            case BadCase::Until::Message:
                ASSERT_TRUE(
                    WaitUntil([&] { return w->MessageShown(QString::fromUtf8(c.message)); }));
                EXPECT_EQ(w->Interaction().Messages().back().caption, QStringLiteral("温馨提示"));
                EXPECT_EQ(w->List().RowCount(), 0);
                // A user without albums was listed: the list's status stays.
                if (c.homePath == std::string("/u/1001")) {
                    EXPECT_EQ(w->Status(), QStringLiteral("相册获取中，耐心等待..."));
                }
                break;
            case BadCase::Until::Rows:
                ASSERT_TRUE(WaitUntil([&] { return w->List().RowCount() >= c.count; }, 60000));
                for (int r = 0; r < w->List().RowCount(); ++r) {
                    EXPECT_EQ(w->List().HasCellImage(r, 3), c.covers) << r;
                    EXPECT_EQ(w->List().CellText(r, 1), QString::number(r + 1));
                }
                break;
            case BadCase::Until::Images:
                ASSERT_TRUE(WaitUntil([&] { return w->List().RowCount() == 1; }));
                w->Albums().SaveEdit()->setText(w->Folder().File("保存"));
                w->Albums().DownloadButton()->click();
                ASSERT_TRUE(WaitUntil([&] {
                    return Requests(requestLog, QStringLiteral("GET /large/")).size() >=
                           static_cast<qsizetype>(c.count);
                }));
                QTest::qWait(500);  // well inside the stalled image
                break;
        }
        // No catalogue run was started twice.
        EXPECT_LE(Requests(requestLog, QStringLiteral("GET /albums/get_all")).size(), 1);

        const QString saveFolder = w->Folder().File("保存");
        w->Window().close();
        EXPECT_FALSE(w->Engine().DownloadRunning());
        EXPECT_FALSE(w->Engine().CatalogueRunning());
        if (c.until == BadCase::Until::Images) {
            // The stalled image was never completed: nothing of it is left.
            EXPECT_TRUE(FileTree(saveFolder).empty());
        }
        releaseSlowCover = true;
        w.reset();
    }
}

}  // namespace
}  // namespace ovx
