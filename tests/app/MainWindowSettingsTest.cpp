// The window's controls and the settings file: what start-up pushes into the controls, which
// key each control stores when the user changes it, and that start-up itself stores nothing.
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "MainWindowTestSupport.h"
#include "TestInteraction.h"
#include "app/FileDialogs.h"
#include "app/MainWindow.h"
#include "runtime/CodePage.h"

namespace ovx {
namespace {

using testing::Find;

class MainWindowSettingsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        FileDialogs::ClearPreAnswers();
        InstallInteraction(&interaction_);
    }
    void TearDown() override {
        window_.reset();
        InstallInteraction(nullptr);
        FileDialogs::ClearPreAnswers();
    }
    MainWindow& Open() {
        window_ = std::make_unique<MainWindow>(MainWindow::Options{false});
        return *window_;
    }
    QString Stored(const char* section, const char* key) const {
        return ToQString(
            ReadIniValue(SettingsPath(), Utf8ToLocal(section), Utf8ToLocal(key), Text("<absent>")));
    }
    std::string FileBytes() const {
        std::ifstream in(ToPath(SettingsPath()), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    testing::ScratchProgramFolder folder_;
    testing::TestInteraction interaction_;
    std::unique_ptr<MainWindow> window_;
};

TEST_F(MainWindowSettingsTest, StoredValuesReachTheirControlsAndStartUpRewritesNothing) {
    folder_.Set("全局设置", "下载记录", QStringLiteral("已启用"));
    folder_.Set("全局设置", "时间段", QStringLiteral("已启用"));
    folder_.Set("全局设置", "开始日期", QStringLiteral("2016年3月5日"));
    folder_.Set("全局设置", "结束日期", QStringLiteral("2030年1月2日8时0分5秒"));
    folder_.Set("全局设置", "保存位置", QStringLiteral("/srv/相册"));
    folder_.Set("全局设置", "图片名称格式", QStringLiteral("内容加日期"));
    folder_.Set("全局设置", "下载序号", QStringLiteral("循环"));
    folder_.Set("mp3路径", "保存位置", QStringLiteral("/srv/完成.mp3"));
    folder_.Set("服务地址", "首页", QStringLiteral("http://127.0.0.1:1/"));
    const std::string before = FileBytes();

    MainWindow& w = Open();
    EXPECT_TRUE(Find<QCheckBox>(&w, "选择框_下载记录")->isChecked());
    EXPECT_TRUE(Find<QCheckBox>(&w, "选择框_时间段")->isChecked());
    EXPECT_EQ(Find<QDateEdit>(&w, "日期框_开始时间")->date(), QDate(2016, 3, 5));
    EXPECT_EQ(Find<QDateEdit>(&w, "日期框_结束时间")->date(), QDate(2030, 1, 2));
    EXPECT_EQ(Find<QLineEdit>(&w, "编辑框_保存位置")->text(), QStringLiteral("/srv/相册"));
    EXPECT_TRUE(Find<QRadioButton>(&w, "单选框_内容加日期")->isChecked());
    EXPECT_TRUE(Find<QRadioButton>(&w, "单选框_循环序号")->isChecked());
    EXPECT_EQ(Find<QLineEdit>(&w, "编辑框_MP3")->text(), QStringLiteral("/srv/完成.mp3"));
    EXPECT_EQ(Find<QLineEdit>(&w, "编辑框_url")->text(), QStringLiteral("http://127.0.0.1:1/"));
    EXPECT_EQ(FileBytes(), before);
}

TEST_F(MainWindowSettingsTest, AValueThatNamesNoRadioLeavesTheInitialChoiceAndTheKey) {
    folder_.Set("全局设置", "图片名称格式", QStringLiteral("未知"));
    folder_.Set("全局设置", "下载记录", QStringLiteral("启用"));  // not exactly the word
    MainWindow& w = Open();
    EXPECT_TRUE(Find<QRadioButton>(&w, "单选框_序号加内容")->isChecked());
    EXPECT_FALSE(Find<QCheckBox>(&w, "选择框_下载记录")->isChecked());
    EXPECT_EQ(Stored("全局设置", "图片名称格式"), QStringLiteral("未知"));
}

TEST_F(MainWindowSettingsTest, EachControlStoresItsKeyWhenTheUserChangesIt) {
    MainWindow& w = Open();
    Find<QCheckBox>(&w, "选择框_下载记录")->click();
    EXPECT_EQ(Stored("全局设置", "下载记录"), QStringLiteral("已启用"));
    Find<QCheckBox>(&w, "选择框_下载记录")->click();
    EXPECT_EQ(Stored("全局设置", "下载记录"), QStringLiteral("未启用"));
    Find<QCheckBox>(&w, "选择框_时间段")->click();
    EXPECT_EQ(Stored("全局设置", "时间段"), QStringLiteral("已启用"));

    Find<QDateEdit>(&w, "日期框_开始时间")->setDate(QDate(2016, 3, 5));
    EXPECT_EQ(Stored("全局设置", "开始日期"), QStringLiteral("2016年3月5日"));
    Find<QDateEdit>(&w, "日期框_结束时间")->setDate(QDate(2030, 12, 1));
    EXPECT_EQ(Stored("全局设置", "结束日期"), QStringLiteral("2030年12月1日"));

    const std::pair<const char*, const char*> naming[] = {
        {"单选框_内容加序号", "内容加序号"},
        {"单选框_内容加日期", "内容加日期"},
        {"单选框_内容", "内容"},
        {"单选框_序号加内容", "序号加内容"},
        {"单选框_序号加内容", "序号加内容"},  // already selected: stored again
    };
    for (auto [radio, value] : naming) {
        Find<QRadioButton>(&w, radio)->click();
        EXPECT_EQ(Stored("全局设置", "图片名称格式"), QString::fromUtf8(value)) << radio;
    }
    Find<QRadioButton>(&w, "单选框_循环序号")->click();
    EXPECT_EQ(Stored("全局设置", "下载序号"), QStringLiteral("循环"));
    Find<QRadioButton>(&w, "单选框_默认序号")->click();
    EXPECT_EQ(Stored("全局设置", "下载序号"), QStringLiteral("默认"));

    // Typing a sound file stores nothing until "保存" is pressed.
    Find<QLineEdit>(&w, "编辑框_MP3")->setText(QStringLiteral("/srv/完成.mp3"));
    EXPECT_EQ(Stored("mp3路径", "保存位置"), QStringLiteral("<absent>"));
    Find<QPushButton>(&w, "按钮3")->click();
    EXPECT_EQ(Stored("mp3路径", "保存位置"), QStringLiteral("/srv/完成.mp3"));
}

TEST_F(MainWindowSettingsTest, ChoosersFillTheirBoxesAndCancellingFollowsTheirRules) {
    MainWindow& w = Open();
    auto* save = Find<QLineEdit>(&w, "编辑框_保存位置");
    auto* mp3 = Find<QLineEdit>(&w, "编辑框_MP3");

    FileDialogs::PreAnswer(Text("/srv/albums"));
    Find<QPushButton>(&w, "按钮_选择位置")->click();
    EXPECT_EQ(save->text(), QStringLiteral("/srv/albums"));
    EXPECT_EQ(Stored("全局设置", "保存位置"), QStringLiteral("/srv/albums"));

    // Cancelling resets the save location to the program folder, and stores that.
    FileDialogs::PreAnswer(std::nullopt);
    Find<QPushButton>(&w, "按钮_选择位置")->click();
    EXPECT_EQ(save->text(), folder_.Path());
    EXPECT_EQ(Stored("全局设置", "保存位置"), folder_.Path());

    FileDialogs::PreAnswer(Text("/srv/done.mp3"));
    Find<QPushButton>(&w, "按钮_选择MP3")->click();
    EXPECT_EQ(mp3->text(), QStringLiteral("/srv/done.mp3"));
    // Cancelling the sound chooser turns the sound off.
    FileDialogs::PreAnswer(std::nullopt);
    Find<QPushButton>(&w, "按钮_选择MP3")->click();
    EXPECT_EQ(mp3->text(), QString());
    EXPECT_EQ(Stored("mp3路径", "保存位置"), QString());
    EXPECT_EQ(
        FileDialogs::AskedTitles(),
        (QStringList{QStringLiteral("选择相册的存放位置"), QStringLiteral("选择相册的存放位置"),
                     QStringLiteral("选择mp3的位置"), QStringLiteral("选择mp3的位置")}));
}

// The protocol choice, the request interval and the live-photo switch: restored from the file
// (a stored interval outside the box's range arrives clamped), stored when changed.
TEST_F(MainWindowSettingsTest, NetworkOptionsAndLivePhotosRoundTrip) {
    folder_.Set("服务地址", "接口", QStringLiteral("相册版"));
    folder_.Set("网络", "请求间隔毫秒", QStringLiteral("90000"));
    folder_.Set("全局设置", "实况照片", QStringLiteral("未启用"));
    MainWindow& w = Open();
    auto* protocol = Find<QComboBox>(&w, "组合框_接口");
    auto* interval = Find<QSpinBox>(&w, "编辑框_请求间隔");
    auto* live = Find<QCheckBox>(&w, "选择框_实况照片");
    EXPECT_EQ(protocol->currentText(), QStringLiteral("相册版"));
    EXPECT_EQ(interval->value(), 60000);
    EXPECT_FALSE(live->isChecked());
    EXPECT_EQ(Stored("网络", "请求间隔毫秒"), QStringLiteral("90000")) << "start-up rewrote it";

    for (const char* item : {"网页版", "自动", "相册版"}) {
        const int index = protocol->findText(QString::fromUtf8(item));
        ASSERT_GE(index, 0) << item;
        protocol->setCurrentIndex(index);
        emit protocol->activated(index);  // what a user's pick sends
        EXPECT_EQ(Stored("服务地址", "接口"), QString::fromUtf8(item));
    }
    interval->setValue(4000);
    EXPECT_EQ(Stored("网络", "请求间隔毫秒"), QStringLiteral("4000"));
    live->click();
    EXPECT_EQ(Stored("全局设置", "实况照片"), QStringLiteral("已启用"));

    window_.reset();
    MainWindow& again = Open();
    EXPECT_EQ(Find<QComboBox>(&again, "组合框_接口")->currentText(), QStringLiteral("相册版"));
    EXPECT_EQ(Find<QSpinBox>(&again, "编辑框_请求间隔")->value(), 4000);
    EXPECT_TRUE(Find<QCheckBox>(&again, "选择框_实况照片")->isChecked());
}

}  // namespace
}  // namespace ovx
