// The window's controls: names, kinds, captions, containers, places and initial states after
// start-up, and the small actions that belong to the window itself (the user-album switch,
// the open-folder button, the maker's links, the update check's triggers).
#include <QAbstractButton>
#include <QCheckBox>
#include <QDateEdit>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTabBar>
#include <optional>

#include "MainWindowTestSupport.h"
#include "TestInteraction.h"
#include "app/AboutPage.h"
#include "app/MainWindow.h"
#include "app/ReportList.h"
#include "app/TabControl.h"
#include "app/UpdateCheck.h"

namespace ovx {
namespace {

using testing::Find;
using testing::ScratchProgramFolder;

QString CaptionOf(const QWidget* w) {
    if (auto* label = qobject_cast<const QLabel*>(w)) return label->text();
    if (auto* button = qobject_cast<const QAbstractButton*>(w)) return button->text();
    if (auto* group = qobject_cast<const QGroupBox*>(w)) return group->title();
    return {};
}

struct Expected {
    const char* name;
    const char* kind;       // a Qt class the control must be
    const char* container;  // object name of the parent; "" for a page or the window itself
    const char* caption;    // null: not checked
    std::optional<QRect> place;
    bool hidden = false;
};

// Controls whose place the resize rule leaves alone (those it moves are checked with the rule).
const Expected kControls[] = {
    {"标签10", "QLabel", "Ovatrix", "在线客服：", QRect(568, 6, 64, 26)},
    {"按钮1", "QPushButton", "Ovatrix", "", QRect(638, 7, 84, 24)},
    {"高级选择夹1", "ovx::TabControl", "Ovatrix", nullptr, std::nullopt},
    // Page 1
    {"标签_首页网址", "QLabel", "", "网址：", QRect(8, 42, 40, 32)},
    {"编辑框_url", "QLineEdit", "", nullptr, std::nullopt},
    {"按钮_下载此用户", "QPushButton", "", "下载此用户", QRect(496, 43, 80, 32)},
    {"按钮_打开", "QPushButton", "", "打开网页", std::nullopt},
    {"按钮_专辑页面", "QPushButton", "", "[查看用户专辑]", std::nullopt, true},
    {"超文本浏览框1", "QWebEngineView", "", nullptr, std::nullopt},
    // Page 2
    {"分组框_zhuye", "QGroupBox", "", "", std::nullopt},
    {"标签1", "ovx::LinkLabel", "分组框_zhuye", "1:用户主页(不懂?)：", QRect(9, 23, 107, 24)},
    {"编辑框_号码", "QLineEdit", "分组框_zhuye", nullptr, std::nullopt},
    {"按钮_获取相册封面", "QPushButton", "分组框_zhuye", "2：获取相册", std::nullopt},
    {"按钮_下载选中", "QPushButton", "分组框_zhuye", "3：下载选中", std::nullopt},
    {"按钮_暂停线程", "QPushButton", "分组框_zhuye", "暂停下载", std::nullopt, true},
    {"按钮_继续下载", "QPushButton", "分组框_zhuye", "继续下载", std::nullopt, true},
    {"按钮_结束下载", "QPushButton", "分组框_zhuye", "结束下载", std::nullopt, true},
    {"分组框_weizhi", "QGroupBox", "", "", std::nullopt},
    {"标签_保存路径", "QLabel", "分组框_weizhi", "保存位置：", QRect(32, 12, 76, 32)},
    {"编辑框_保存位置", "QLineEdit", "分组框_weizhi", nullptr, std::nullopt},
    {"按钮_选择位置", "QPushButton", "分组框_weizhi", "选择存放位置", std::nullopt},
    {"按钮_打开目录", "QPushButton", "分组框_weizhi", "打开目录", std::nullopt},
    {"分组框_liebiao", "QGroupBox", "", "", std::nullopt},
    {"选择框_全选", "QCheckBox", "分组框_liebiao", "全选", QRect(16, 22, 46, 16)},
    {"选择框_反选", "QCheckBox", "分组框_liebiao", "反选", QRect(76, 22, 46, 16)},
    {"选择框_有图", "QCheckBox", "分组框_liebiao", "有封面图(影响速度)", QRect(142, 21, 134, 16)},
    {"标签_用户", "QLabel", "分组框_liebiao", "", QRect(294, 12, 246, 24)},
    {"标签_动态", "QLabel", "分组框_liebiao", "", QRect(559, 12, 227, 24)},
    {"超级列表框1", "ovx::ReportList", "分组框_liebiao", nullptr, std::nullopt},
    {"画板1", "QLabel", "分组框_liebiao", nullptr, QRect(455, 107, 112, 88), true},
    {"分组框_日志", "QGroupBox", "分组框_liebiao", "", std::nullopt},
    {"标签3", "QLabel", "分组框_日志", "执行操作日志：", QRect(8, 12, 88, 19)},
    {"编辑框_操作记录", "QPlainTextEdit", "分组框_日志", "", QRect(12, 45, 208, 292)},
    {"标签_进度", "QLabel", "分组框_liebiao", "下载进度：", QRect(7, 384, 56, 35)},
    {"进度条1", "QProgressBar", "分组框_liebiao", nullptr, QRect(74, 389, 280, 24)},
    {"标签_进度条比例", "QLabel", "分组框_liebiao", "", QRect(359, 390, 41, 23)},
    {"标签_选择了相册数量", "QLabel", "分组框_liebiao", "", QRect(404, 390, 144, 23)},
    {"标签_正在下载相册", "QLabel", "分组框_liebiao", "", QRect(554, 390, 110, 23)},
    {"标签_第多少张照片", "QLabel", "分组框_liebiao", "", QRect(666, 390, 95, 23)},
    // Page 3
    {"分组框7", "QGroupBox", "", "", QRect(16, 40, 1036, 553)},
    {"分组框2", "QGroupBox", "分组框7", "常用设置：", QRect(20, 15, 320, 298)},
    {"选择框_下载记录", "QCheckBox", "分组框2", "开启下载记录（已经下载过的不再下载）",
     QRect(24, 58, 240, 20)},
    {"选择框_时间段", "QCheckBox", "分组框2", "开启后，只采集下面时间段上传的图片",
     QRect(24, 97, 240, 16)},
    {"标签2", "QLabel", "分组框2", "开始时间：", QRect(40, 128, 56, 32)},
    {"日期框_开始时间", "QDateEdit", "分组框2", nullptr, QRect(112, 132, 144, 24)},
    {"标签4", "QLabel", "分组框2", "结束时间：", QRect(40, 167, 56, 32)},
    {"日期框_结束时间", "QDateEdit", "分组框2", nullptr, QRect(112, 171, 144, 24)},
    {"标签8", "QLabel", "分组框2", "温馨提示：有的微博相册里写的图片总数是不准确的。",
     QRect(16, 201, 288, 32)},
    {"分组框_文件设置", "QGroupBox", "分组框7", "下载图片命名格式：", QRect(356, 15, 264, 298)},
    {"单选框_序号加内容", "QRadioButton", "分组框_文件设置", "下载序号+微博内容(默认)",
     QRect(13, 147, 163, 13)},
    {"单选框_内容加序号", "QRadioButton", "分组框_文件设置", "微博内容+下载序号",
     QRect(13, 175, 136, 16)},
    {"单选框_内容", "QRadioButton", "分组框_文件设置", "微博内容", QRect(13, 204, 136, 18)},
    {"单选框_内容加日期", "QRadioButton", "分组框_文件设置", "微博内容+发布日期",
     QRect(13, 229, 139, 24)},
    {"分组框5", "QGroupBox", "分组框7", "下载序号格式：", QRect(362, 41, 248, 96)},
    {"单选框_默认序号", "QRadioButton", "分组框5", "[默认]下载序号格式1.2.3递增",
     QRect(7, 24, 217, 24)},
    {"单选框_循环序号", "QRadioButton", "分组框5", "100次循环,如1-1...1-100, 2-1...",
     QRect(10, 69, 222, 18)},
    {"分组框8", "QGroupBox", "分组框7", "", QRect(636, 15, 320, 298)},
    {"标签11", "QLabel", "分组框8", nullptr, QRect(21, 32, 280, 88)},
    {"选择框_用户专辑按钮不显示", "QCheckBox", "分组框8", "显示用户专辑按钮[不明白就别勾选]",
     QRect(24, 136, 216, 16)},
    {"分组框6", "QGroupBox", "分组框7", "下载完成提示音（mp3格式,不启用请留空）：",
     QRect(20, 329, 600, 64)},
    {"标签_保存路径1", "QLabel", "分组框6", "MP3位置：", QRect(8, 21, 64, 32)},
    {"编辑框_MP3", "QLineEdit", "分组框6", "", QRect(80, 25, 260, 27)},
    {"按钮_选择MP3", "QPushButton", "分组框6", "选择", QRect(348, 24, 52, 28)},
    {"按钮3", "QPushButton", "分组框6", "保存", QRect(416, 24, 52, 28)},
    // Page 4
    {"分组框1", "QGroupBox", "", "客服：", QRect(8, 40, 228, 145)},
    {"标签6", "QLabel", "分组框1", "在线客服：", QRect(11, 25, 64, 26)},
    {"按钮2", "QPushButton", "分组框1", "", QRect(81, 25, 84, 24)},
    {"标签9", "QLabel", "分组框1", nullptr, QRect(11, 72, 159, 24)},
    {"标签7", "ovx::LinkLabel", "分组框1", nullptr, QRect(11, 115, 165, 20)},
    {"分组框3", "QGroupBox", "", "版本：", QRect(8, 190, 228, 208)},
    {"标签_banbenjieguo", "QLabel", "分组框3", "", QRect(16, 31, 164, 24)},
    {"标签5", "QLabel", "分组框3", "当前版本：", QRect(16, 57, 72, 40)},
    {"标签_banben", "QLabel", "分组框3", "2.0", QRect(86, 57, 95, 40)},
    {"标签_xinbanben", "QLabel", "分组框3", "最新版本：", QRect(16, 105, 72, 40)},
    {"标签_zxbanben", "QLabel", "分组框3", "", QRect(87, 105, 93, 40)},
    {"按钮_checknew", "QPushButton", "分组框3", "检测程序是否有更新", QRect(14, 152, 166, 40)},
    {"标签_许可", "QLabel", "", nullptr, QRect(8, 410, 1040, 24)},
};

class MainWindowControlsTest : public ::testing::Test {
  protected:
    void SetUp() override { InstallInteraction(&interaction_); }
    void TearDown() override {
        window_.reset();
        InstallInteraction(nullptr);
    }
    MainWindow& Window() {
        if (!window_) window_ = std::make_unique<MainWindow>(MainWindow::Options{false});
        return *window_;
    }

    ScratchProgramFolder folder_;
    testing::TestInteraction interaction_;
    std::unique_ptr<MainWindow> window_;
};

TEST_F(MainWindowControlsTest, EveryControlHasItsNameKindCaptionContainerPlaceAndVisibility) {
    MainWindow& w = Window();
    for (const Expected& e : kControls) {
        SCOPED_TRACE(e.name);
        QWidget* control = Find(&w, e.name);
        ASSERT_NE(control, nullptr);
        EXPECT_TRUE(control->inherits(e.kind)) << control->metaObject()->className();
        const QString container = QString::fromUtf8(e.container);
        if (container.isEmpty()) {
            // Directly on one of the tab pages.
            EXPECT_EQ(control->parentWidget()->parentWidget()->parentWidget(), w.Tabs())
                << "not on a tab page";
        } else {
            EXPECT_EQ(control->parentWidget()->objectName(), container);
        }
        if (e.caption) {
            EXPECT_EQ(CaptionOf(control), QString::fromUtf8(e.caption));
        }
        if (e.place) {
            EXPECT_EQ(control->geometry(), *e.place);
        }
        EXPECT_EQ(control->isHidden(), e.hidden);
    }
}

TEST_F(MainWindowControlsTest, WindowOpensOnTheLoginPageWithFourCaptionedTabs) {
    MainWindow& w = Window();
    EXPECT_EQ(w.windowTitle(), QStringLiteral("Ovatrix"));
    EXPECT_EQ(w.size(), QSize(1100, 638));
    EXPECT_EQ(w.pos(), QPoint(50, 50));
    ASSERT_EQ(w.Tabs()->Count(), 4);
    EXPECT_EQ(w.Tabs()->TabBar()->tabText(0), QStringLiteral("  第一步：登录   "));
    EXPECT_EQ(w.Tabs()->TabBar()->tabText(1), QStringLiteral("    第二步：获取相册   "));
    EXPECT_EQ(w.Tabs()->TabBar()->tabText(2), QStringLiteral("  软件设置  "));
    EXPECT_FALSE(w.Tabs()->TabBar()->tabText(3).trimmed().isEmpty());
    EXPECT_EQ(w.Tabs()->CurrentIndex(), 0);
    // The long hints are whole.
    EXPECT_TRUE(Find<QLabel>(&w, "标签12")->text().endsWith(QStringLiteral("再点打开！\n")));
    const QString albumHint = Find<QLabel>(&w, "标签11")->text();
    EXPECT_TRUE(albumHint.contains(QStringLiteral("关于下载别人设置了密码的相册：首先")));
    EXPECT_TRUE(albumHint.contains(QStringLiteral("再进行第二步操作。")));
}

TEST_F(MainWindowControlsTest, AlbumListHasEightColumnsWithTheTechnicalOnesAtWidthZero) {
    auto* list = Find<ReportList>(&Window(), "超级列表框1");
    ASSERT_NE(list, nullptr);
    const QStringList titles = {QStringLiteral("选择"),     QStringLiteral("序号"),
                                QStringLiteral("相册名称"), QStringLiteral("封面"),
                                QStringLiteral("图片数量"), QStringLiteral("相册ID"),
                                QStringLiteral("相册问题"), QStringLiteral("相册密码")};
    ASSERT_EQ(list->columnCount(), 8);
    const int widths[] = {60, 40, 120, 100, 70, 0, 0, 0};
    for (int c = 0; c < 8; ++c) {
        EXPECT_EQ(list->headerItem()->text(c), titles[c]);
        EXPECT_EQ(list->ColumnWidth(c), widths[c]) << "column " << c;
    }
    // A row carries a check box that the program and the user can set.
    const int row = list->AddRow();
    list->SetCellText(row, 5, QStringLiteral("123@@0"));
    EXPECT_FALSE(list->IsChecked(row));
    list->SetChecked(row, true);
    EXPECT_TRUE(list->IsChecked(row));
    EXPECT_EQ(list->CellText(row, 5), QStringLiteral("123@@0"));
}

TEST_F(MainWindowControlsTest, UserTogglingARowSelectsItAndReportsTheNewState) {
    auto* list = Find<ReportList>(&Window(), "超级列表框1");
    QSignalSpy toggled(list, &ReportList::rowCheckToggled);
    list->AddRow();
    list->AddRow();
    list->SetChecked(0, true);  // the program's own changes are not reported
    EXPECT_EQ(toggled.count(), 0);
    list->topLevelItem(1)->setCheckState(0, Qt::Checked);  // as a click does
    ASSERT_EQ(toggled.count(), 1);
    EXPECT_EQ(toggled.at(0).at(0).toInt(), 1);
    EXPECT_TRUE(toggled.at(0).at(1).toBool());
    EXPECT_EQ(list->currentItem(), list->topLevelItem(1));
}

TEST_F(MainWindowControlsTest, StartUpShowsTheDefaultsWithoutASettingsFile) {
    MainWindow& w = Window();
    EXPECT_FALSE(Find<QCheckBox>(&w, "选择框_有图")->isChecked());
    EXPECT_EQ(Find<QDateEdit>(&w, "日期框_开始时间")->date(), QDate(2006, 3, 30));
    auto* end = Find<QDateEdit>(&w, "日期框_结束时间");
    EXPECT_EQ(end->date(), QDate(2025, 12, 30));
    EXPECT_EQ(end->minimumDate(), QDate(2006, 12, 30));
    EXPECT_EQ(end->maximumDate(), QDate(2037, 12, 30));
    EXPECT_TRUE(Find<QRadioButton>(&w, "单选框_序号加内容")->isChecked());
    EXPECT_TRUE(Find<QRadioButton>(&w, "单选框_默认序号")->isChecked());
    EXPECT_EQ(Find<QLineEdit>(&w, "编辑框_保存位置")->text(), folder_.Path());
    EXPECT_EQ(Find<QLineEdit>(&w, "编辑框_url")->text(), QStringLiteral("https://weibo.com"));
    EXPECT_FALSE(QFile::exists(folder_.File("配置.ini")));
}

TEST_F(MainWindowControlsTest, UserAlbumButtonStaysShownOnceTheSwitchWasClicked) {
    MainWindow& w = Window();
    auto* button = Find(&w, "按钮_专辑页面");
    auto* toggle = Find<QCheckBox>(&w, "选择框_用户专辑按钮不显示");
    toggle->click();
    EXPECT_FALSE(button->isHidden());
    toggle->click();  // unticked again
    EXPECT_FALSE(toggle->isChecked());
    EXPECT_FALSE(button->isHidden());
}

TEST_F(MainWindowControlsTest, OpenFolderExploresTheSaveLocationOrTheProgramFolder) {
    std::vector<std::pair<int, QString>> opened;
    interaction_.SetShellOpenHandler([&](int verb, const QString& target) {
        opened.emplace_back(verb, target);
        return true;
    });
    MainWindow& w = Window();
    auto* edit = Find<QLineEdit>(&w, "编辑框_保存位置");
    edit->setText(QStringLiteral("/tmp/相册"));
    Find<QPushButton>(&w, "按钮_打开目录")->click();
    edit->clear();
    Find<QPushButton>(&w, "按钮_打开目录")->click();
    ASSERT_TRUE(testing::WaitUntil([&] { return opened.size() == 2; }));
    EXPECT_EQ(opened[0], std::make_pair(2, QStringLiteral("/tmp/相册")));
    EXPECT_EQ(opened[1], std::make_pair(2, folder_.Path()));
}

TEST_F(MainWindowControlsTest, MakerLinksOpenTheirAddressesFromTheSettings) {
    folder_.Set("服务地址", "帮助页", QStringLiteral("http://help.example/主页"));
    folder_.Set("服务地址", "网站", QStringLiteral("http://maker.example/"));
    folder_.Set("服务地址", "在线客服", QStringLiteral("http://chat.example/"));
    std::vector<QString> opened;
    interaction_.SetShellOpenHandler([&](int verb, const QString& target) {
        EXPECT_EQ(verb, 4);
        opened.push_back(target);
        return true;
    });
    MainWindow& w = Window();
    EXPECT_EQ(Find<QLabel>(&w, "标签7")->text(), QStringLiteral("http://maker.example/"));
    QTest::mousePress(Find(&w, "标签1"), Qt::LeftButton);
    QTest::mousePress(Find(&w, "标签7"), Qt::LeftButton);
    QTest::mousePress(Find(&w, "标签7"), Qt::RightButton);  // only the left button opens
    Find<QPushButton>(&w, "按钮1")->click();
    Find<QPushButton>(&w, "按钮2")->click();
    ASSERT_TRUE(testing::WaitUntil([&] { return opened.size() >= 4; }));
    EXPECT_EQ(opened, (std::vector<QString>{QStringLiteral("http://help.example/主页"),
                                            QStringLiteral("http://maker.example/"),
                                            QStringLiteral("http://chat.example/"),
                                            QStringLiteral("http://chat.example/")}));
}

TEST_F(MainWindowControlsTest, OnlyAMouseClickOnTheSettingsTabStartsTheAutomaticCheck) {
    MainWindow& w = Window();
    w.show();
    QTabBar* bar = w.Tabs()->TabBar();
    w.Tabs()->SetCurrentIndex(2);  // switching by program starts nothing
    EXPECT_FALSE(w.Updates()->AutomaticCheckDone());
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(1).center());
    EXPECT_FALSE(w.Updates()->AutomaticCheckDone());
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(2).center());
    EXPECT_TRUE(w.Updates()->AutomaticCheckDone());
    EXPECT_EQ(w.Tabs()->CurrentIndex(), 2);
    // With no version page the check finds nothing and needs no update.
    EXPECT_TRUE(testing::WaitUntil([&] {
        return Find<QLabel>(&w, "标签_banbenjieguo")->text() == QStringLiteral("无需更新");
    }));
}

TEST_F(MainWindowControlsTest, CheckButtonShowsTheLatestVersionAndTheNewVersionMessage) {
    testing::LoopbackServer server;
    server.Routes().Get("/version", [](const httplib::Request&, httplib::Response& res) {
        res.set_content("#weibo@@3.0#weibo", "text/plain");
    });
    server.Start();
    folder_.Set("服务地址", "版本页", server.QUrlText("/version"));
    interaction_.PreAnswer(kOk);
    MainWindow& w = Window();
    Find<QPushButton>(&w, "按钮_checknew")->click();
    ASSERT_TRUE(testing::WaitUntil(
        [&] { return !Find<QLabel>(&w, "标签_banbenjieguo")->text().isEmpty(); }));
    EXPECT_EQ(Find<QLabel>(&w, "标签_zxbanben")->text(), QStringLiteral("3.0"));
    EXPECT_EQ(Find<QLabel>(&w, "标签_banbenjieguo")->text(),
              QStringLiteral("有新版，联系客服获取最新版！"));
    ASSERT_TRUE(testing::WaitUntil([&] { return interaction_.Messages().size() == 1; }));
    EXPECT_EQ(interaction_.Messages()[0].text, QStringLiteral("有新版本，联系客服索取"));
    EXPECT_EQ(interaction_.Messages()[0].caption, QStringLiteral("信息："));
}

}  // namespace
}  // namespace ovx
