// The window's bindings to the settings file: what start-up pushes into the controls without a
// file, the key each control writes, the date boxes' conversions and the choosers' cancel rules.
// The Qt-free table and reading are tested in tests/runtime/SettingsFileTest.cpp.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <filesystem>

#include "app/FileDialogs.h"
#include "app/QtText.h"
#include "app/Settings.h"
#include "runtime/CodePage.h"
#include "runtime/Profile.h"

namespace ovx {
namespace {

class SettingsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        folder_ = FromQString(dir_.path());
        path_ = SettingsFile::PathFor(folder_);
        FileDialogs::ClearPreAnswers();
    }
    void TearDown() override { FileDialogs::ClearPreAnswers(); }

    Settings Make() const { return Settings(path_, folder_); }
    bool FileExists() const { return std::filesystem::exists(ToPath(path_)); }
    // The raw stored value, read without the key table.
    Text Stored(const char* section, const char* key) const {
        return ReadIniValue(path_, Utf8ToLocal(section), Utf8ToLocal(key), Text("<absent>"));
    }
    void Store(const char* section, const char* key, const Text& value) const {
        ASSERT_TRUE(WriteIniValue(path_, Utf8ToLocal(section), Utf8ToLocal(key), value));
    }

    QTemporaryDir dir_;
    Text folder_;
    Text path_;
};

TEST_F(SettingsTest, WithoutAFileEveryOptionHasItsDefaultAndNoFileAppears) {
    EXPECT_EQ(path_, folder_ + Text("/") + "配置.ini"_t);
    const StoredSettings v = Make().ReadAll();
    EXPECT_FALSE(v.downloadRecord);
    EXPECT_FALSE(v.timeRange);
    EXPECT_EQ(DateFromDateTime(v.startDate), QDate(2006, 3, 30));
    EXPECT_EQ(DateFromDateTime(v.endDate), QDate(2025, 12, 30));
    EXPECT_EQ(v.saveLocation, folder_);
    EXPECT_EQ(v.naming, NamingScheme::NumberCaption);
    EXPECT_EQ(v.numbering, Numbering::Default);
    EXPECT_EQ(v.mp3Path, Text());
    EXPECT_EQ(v.homePage, Text("https://weibo.com"));
    EXPECT_EQ(v.photoService, Text("https://photo.weibo.com"));
    EXPECT_EQ(v.versionPage, Text());
    EXPECT_FALSE(FileExists());
}

TEST_F(SettingsTest, EachWriterStoresItsKeyAndStartUpReadsItBack) {
    const Settings s = Make();
    s.WriteEnabled(SettingKey::DownloadRecord, true);
    EXPECT_EQ(Stored("全局设置", "时间段"), Text("<absent>")) << "a writer writes only its key";
    s.WriteEnabled(SettingKey::TimeRange, true);
    s.WriteDate(SettingKey::StartDate, QDate(2016, 3, 5));
    s.WriteDate(SettingKey::EndDate, QDate(2030, 12, 1));
    s.WriteNaming(NamingScheme::CaptionDate);
    s.WriteNumbering(Numbering::Cycle);
    s.WriteMp3Path("/音乐/完成.mp3"_t);

    EXPECT_EQ(Stored("全局设置", "下载记录"), "已启用"_t);
    EXPECT_EQ(Stored("全局设置", "时间段"), "已启用"_t);
    EXPECT_EQ(Stored("全局设置", "开始日期"), "2016年3月5日"_t);
    EXPECT_EQ(Stored("全局设置", "结束日期"), "2030年12月1日"_t);
    EXPECT_EQ(Stored("全局设置", "图片名称格式"), "内容加日期"_t);
    EXPECT_EQ(Stored("全局设置", "下载序号"), "循环"_t);
    EXPECT_EQ(Stored("mp3路径", "保存位置"), "/音乐/完成.mp3"_t);
    // The mp3 path has its own section: the save location is still unset.
    EXPECT_EQ(Stored("全局设置", "保存位置"), Text("<absent>"));

    const StoredSettings v = s.ReadAll();
    EXPECT_TRUE(v.downloadRecord);
    EXPECT_TRUE(v.timeRange);
    EXPECT_EQ(DateFromDateTime(v.startDate), QDate(2016, 3, 5));
    EXPECT_EQ(DateFromDateTime(v.endDate), QDate(2030, 12, 1));
    EXPECT_EQ(v.naming, NamingScheme::CaptionDate);
    EXPECT_EQ(v.numbering, Numbering::Cycle);
    EXPECT_EQ(v.mp3Path, "/音乐/完成.mp3"_t);
    EXPECT_EQ(v.saveLocation, folder_);

    // Unticking and the other radios write their own values.
    s.WriteEnabled(SettingKey::DownloadRecord, false);
    s.WriteNumbering(Numbering::Default);
    EXPECT_EQ(Stored("全局设置", "下载记录"), "未启用"_t);
    EXPECT_EQ(Stored("全局设置", "下载序号"), "默认"_t);
    const std::pair<NamingScheme, const char*> radios[] = {
        {NamingScheme::CaptionNumber, "内容加序号"},
        {NamingScheme::NumberCaption, "序号加内容"},
        {NamingScheme::CaptionDate, "内容加日期"},
        {NamingScheme::Caption, "内容"}};
    for (const auto& [radio, value] : radios) {
        s.WriteNaming(radio);
        EXPECT_EQ(Stored("全局设置", "图片名称格式"), Utf8ToLocal(value));
        EXPECT_EQ(s.ReadAll().naming, radio);
    }
}

TEST_F(SettingsTest, StoredDates) {
    // A date with a time part keeps its day; an empty value keeps the box's initial date.
    Store("全局设置", "开始日期", "2016年3月5日8时0分5秒"_t);
    Store("全局设置", "结束日期", Text());
    StoredSettings v = Make().ReadAll();
    EXPECT_EQ(DateFromDateTime(v.startDate), QDate(2016, 3, 5));
    EXPECT_EQ(DateFromDateTime(v.endDate), QDate(2025, 12, 30));

    // A text that is no date gives the failed-conversion date (the box clamps it).
    Store("全局设置", "开始日期", Text("not a date"));
    v = Make().ReadAll();
    EXPECT_EQ(DateFromDateTime(v.startDate), QDate(100, 1, 1));
}

TEST_F(SettingsTest, SaveLocationChooser) {
    const Settings s = Make();
    FileDialogs::PreAnswer("/照片/微博"_t);
    EXPECT_EQ(s.ChooseSaveLocation(nullptr, Text()), "/照片/微博"_t);
    EXPECT_EQ(Stored("全局设置", "保存位置"), "/照片/微博"_t);
    EXPECT_EQ(s.ReadAll().saveLocation, "/照片/微博"_t);

    // Cancelling resets the location to the default save location and stores that.
    FileDialogs::PreAnswer(std::nullopt);
    EXPECT_EQ(s.ChooseSaveLocation(nullptr, "/照片/微博"_t), folder_);
    EXPECT_EQ(Stored("全局设置", "保存位置"), folder_);
    EXPECT_EQ(FileDialogs::AskedTitles(), QStringList({QStringLiteral("选择相册的存放位置"),
                                                       QStringLiteral("选择相册的存放位置")}));
}

TEST_F(SettingsTest, Mp3ChooserStoresEvenACancel) {
    const Settings s = Make();
    FileDialogs::PreAnswer("/声音/好了.mp3"_t);
    EXPECT_EQ(s.ChooseMp3(nullptr, Text()), "/声音/好了.mp3"_t);
    EXPECT_EQ(Stored("mp3路径", "保存位置"), "/声音/好了.mp3"_t);
    // A cancelled dialog turns the sound off.
    FileDialogs::PreAnswer(std::nullopt);
    EXPECT_EQ(s.ChooseMp3(nullptr, "/声音/好了.mp3"_t), Text());
    EXPECT_EQ(Stored("mp3路径", "保存位置"), Text());
    EXPECT_EQ(FileDialogs::AskedTitles().value(0), QStringLiteral("选择mp3的位置"));
}

}  // namespace
}  // namespace ovx
