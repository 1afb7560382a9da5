// The settings file below the window: the key table, start-up's typed reading with its
// defaults and fallbacks, the stored form of each value, and files that are not settings
// files at all (a FIFO, a device, a huge file), which read as absent and are never rewritten.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <string_view>

#include "TempFolder.h"
#include "runtime/CodePage.h"
#include "runtime/Convert.h"
#include "runtime/Profile.h"
#include "runtime/SettingsFile.h"

namespace ovx {
namespace {

using testing_support::TempFolder;

class SettingsFileTest : public ::testing::Test {
  protected:
    // The raw stored value, read without the key table.
    Text Stored(const char* section, const char* key) const {
        return ReadIniValue(path_, Utf8ToLocal(section), Utf8ToLocal(key), Text("<absent>"));
    }
    void Store(const char* section, const char* key, const Text& value) const {
        ASSERT_TRUE(WriteIniValue(path_, Utf8ToLocal(section), Utf8ToLocal(key), value));
    }
    bool Exists() const { return std::filesystem::exists(ToPath(path_)); }

    TempFolder dir_;
    Text folder_ = FromPath(dir_.path());
    Text path_ = SettingsFile::PathFor(folder_);
    SettingsFile file_{path_};
};

TEST_F(SettingsFileTest, WithoutAFileEverySettingHasItsDefaultAndNoFileAppears) {
    EXPECT_EQ(path_, folder_ + Text("/") + "配置.ini"_t);
    const StoredSettings v = file_.ReadAll();
    EXPECT_FALSE(v.downloadRecord);
    EXPECT_FALSE(v.timeRange);
    EXPECT_EQ(v.startDate, MakeDateTime(2006, 3, 30));
    EXPECT_EQ(v.endDate, MakeDateTime(2025, 12, 30));
    EXPECT_EQ(v.saveLocation, Text()) << "each front end picks its own default";
    EXPECT_EQ(v.naming, NamingScheme::NumberCaption);
    EXPECT_EQ(v.numbering, Numbering::Default);
    EXPECT_EQ(v.mp3Path, Text());
    EXPECT_EQ(v.homePage, Text("https://weibo.com"));
    EXPECT_EQ(v.photoService, Text("https://photo.weibo.com"));
    EXPECT_EQ(v.versionPage, Text());
    EXPECT_TRUE(v.livePhotos);
    EXPECT_EQ(v.protocol, "自动"_t);
    EXPECT_EQ(v.imageService, Text("https://wx1.sinaimg.cn"));
    EXPECT_EQ(v.requestIntervalMs, 1500);
    EXPECT_EQ(v.throttleWaitSeconds, 30);
    EXPECT_EQ(v.throttleMaxWaitSeconds, 600);
    EXPECT_EQ(v.throttleRetries, 8);
    EXPECT_EQ(file_.Read(SettingKey::DownloadRecord), "未启用"_t);
    EXPECT_FALSE(Exists());
}

TEST_F(SettingsFileTest, StoredValuesInTheLocalCodePageReadBack) {
    ASSERT_TRUE(file_.Write(SettingKey::DownloadRecord, SettingsFile::EnabledValue(true)));
    ASSERT_TRUE(file_.Write(SettingKey::TimeRange, SettingsFile::EnabledValue(false)));
    ASSERT_TRUE(
        file_.Write(SettingKey::StartDate, SettingsFile::DateValue(MakeDateTime(2016, 3, 5))));
    ASSERT_TRUE(file_.Write(SettingKey::Numbering, SettingsFile::NumberingValue(Numbering::Cycle)));
    ASSERT_TRUE(file_.Write(SettingKey::SaveLocation, "/照片/微博"_t));
    ASSERT_TRUE(file_.Write(SettingKey::Mp3Path, "/声音/好了.mp3"_t));

    EXPECT_EQ(Stored("全局设置", "下载记录"), "已启用"_t);
    EXPECT_EQ(Stored("全局设置", "时间段"), "未启用"_t);
    EXPECT_EQ(Stored("全局设置", "开始日期"), "2016年3月5日"_t);
    EXPECT_EQ(Stored("全局设置", "下载序号"), "循环"_t);
    EXPECT_EQ(Stored("全局设置", "保存位置"), "/照片/微博"_t);
    // Same key name, its own section.
    EXPECT_EQ(Stored("mp3路径", "保存位置"), "/声音/好了.mp3"_t);
    EXPECT_EQ(SettingsFile::NumberingValue(Numbering::Default), "默认"_t);

    const std::string bytes = dir_.Read("配置.ini");
    EXPECT_EQ(bytes.find("全局设置"), std::string::npos) << "UTF-8 found in the file";

    const StoredSettings v = file_.ReadAll();
    EXPECT_TRUE(v.downloadRecord);
    EXPECT_FALSE(v.timeRange);
    EXPECT_EQ(v.startDate, MakeDateTime(2016, 3, 5));
    EXPECT_EQ(v.numbering, Numbering::Cycle);
    EXPECT_EQ(v.saveLocation, "/照片/微博"_t);
    EXPECT_EQ(v.mp3Path, "/声音/好了.mp3"_t);

    const std::pair<NamingScheme, const char*> schemes[] = {
        {NamingScheme::CaptionNumber, "内容加序号"},
        {NamingScheme::NumberCaption, "序号加内容"},
        {NamingScheme::CaptionDate, "内容加日期"},
        {NamingScheme::Caption, "内容"}};
    for (const auto& [scheme, value] : schemes) {
        ASSERT_TRUE(file_.Write(SettingKey::NamingScheme, SettingsFile::NamingValue(scheme)));
        EXPECT_EQ(Stored("全局设置", "图片名称格式"), Utf8ToLocal(value));
        EXPECT_EQ(file_.ReadAll().naming, scheme);
    }
}

TEST_F(SettingsFileTest, ValuesThatNameNothingFallBackWithoutRewritingTheFile) {
    Store("全局设置", "下载记录", "启用"_t);
    Store("全局设置", "时间段", Text("ENABLED"));
    Store("全局设置", "图片名称格式", "别的格式"_t);
    Store("全局设置", "下载序号", "循环序号"_t);
    // Only the whole value names a scheme: "内容" must not match the start of another.
    EXPECT_EQ(SettingsFile::NamingFromValue("内容加"_t), std::nullopt);
    const std::string before = dir_.Read("配置.ini");

    const StoredSettings v = file_.ReadAll();
    EXPECT_FALSE(v.downloadRecord);
    EXPECT_FALSE(v.timeRange);
    EXPECT_FALSE(v.naming.has_value()) << "an unknown naming value must leave the choice alone";
    EXPECT_EQ(v.numbering, Numbering::Default);
    EXPECT_EQ(dir_.Read("配置.ini"), before);
}

// The network numbers are clamped to their ranges; a value that is not a whole number reads as
// the key's default. The choices read as their defaults for any value they do not name.
TEST_F(SettingsFileTest, NetworkNumbersAreClampedAndChoicesFallBack) {
    struct Case {
        const char* key;
        Text stored;
        int StoredSettings::*member;
        int expected;
    };
    const Case cases[] = {
        {"请求间隔毫秒", Text("4000"), &StoredSettings::requestIntervalMs, 4000},
        {"请求间隔毫秒", Text(" 0 "), &StoredSettings::requestIntervalMs, 0},
        {"请求间隔毫秒", Text("-5"), &StoredSettings::requestIntervalMs, 0},
        {"请求间隔毫秒", Text("60001"), &StoredSettings::requestIntervalMs, 60000},
        {"请求间隔毫秒", Text("99999999999999999999"), &StoredSettings::requestIntervalMs, 60000},
        {"请求间隔毫秒", "２０００"_t, &StoredSettings::requestIntervalMs, 2000},
        {"请求间隔毫秒", Text("2s"), &StoredSettings::requestIntervalMs, 1500},
        {"请求间隔毫秒", Text("1.5"), &StoredSettings::requestIntervalMs, 1500},
        {"请求间隔毫秒", Text(), &StoredSettings::requestIntervalMs, 1500},
        {"限流等待秒", Text("0"), &StoredSettings::throttleWaitSeconds, 1},
        {"限流等待秒", Text("3601"), &StoredSettings::throttleWaitSeconds, 3600},
        {"限流等待秒", "三十"_t, &StoredSettings::throttleWaitSeconds, 30},
        {"限流最长等待秒", Text("-99999999999"), &StoredSettings::throttleMaxWaitSeconds, 1},
        {"限流最长等待秒", Text("+7200"), &StoredSettings::throttleMaxWaitSeconds, 3600},
        {"限流最长等待秒", Text("-"), &StoredSettings::throttleMaxWaitSeconds, 600},
        {"限流重试次数", Text("101"), &StoredSettings::throttleRetries, 100},
        {"限流重试次数", Text("0"), &StoredSettings::throttleRetries, 1},
        {"限流重试次数", Text("3"), &StoredSettings::throttleRetries, 3},
    };
    for (const Case& c : cases) {
        Store("网络", c.key, c.stored);
        EXPECT_EQ(file_.ReadAll().*c.member, c.expected) << c.key << " = " << c.stored.bytes();
    }

    // "接口" is read as stored; the table of protocols maps it (ProtocolTableTest).
    for (const char* value : {"网页版", "网页", ""}) {
        Store("服务地址", "接口", Utf8ToLocal(value));
        EXPECT_EQ(file_.ReadAll().protocol, Utf8ToLocal(value)) << value;
    }

    // Live photos stay on unless turned off in so many words.
    const std::pair<const char*, bool> live[] = {{"未启用", false}, {"已启用", true}, {"关", true}};
    for (const auto& [value, on] : live) {
        Store("全局设置", "实况照片", Utf8ToLocal(value));
        EXPECT_EQ(file_.ReadAll().livePhotos, on) << value;
    }
}

TEST_F(SettingsFileTest, StoredDatesGoThroughTheDateConversion) {
    Store("全局设置", "开始日期", "2016年3月5日8时0分5秒"_t);
    Store("全局设置", "结束日期", Text());  // empty: the initial date stays
    StoredSettings v = file_.ReadAll();
    EXPECT_EQ(v.startDate, MakeDateTime(2016, 3, 5, 8, 0, 5));
    EXPECT_EQ(v.endDate, InitialEndDate());

    Store("全局设置", "开始日期", Text("not a date"));
    v = file_.ReadAll();
    EXPECT_EQ(v.startDate.days, kMinDateTime);
}

TEST_F(SettingsFileTest, ServiceAddressesComeFromTheirOwnSection) {
    Store("服务地址", "首页", Text("http://127.0.0.1:8080/"));
    Store("服务地址", "相册服务", Text("http://127.0.0.1:8080"));
    Store("服务地址", "版本页", Text("http://127.0.0.1:8080/version.txt"));
    Store("全局设置", "相册服务", Text("http://wrong.invalid"));
    const StoredSettings v = file_.ReadAll();
    EXPECT_EQ(v.homePage, Text("http://127.0.0.1:8080/"));
    EXPECT_EQ(v.photoService, Text("http://127.0.0.1:8080"));
    EXPECT_EQ(v.versionPage, Text("http://127.0.0.1:8080/version.txt"));
}

TEST_F(SettingsFileTest, EveryKeyIsDeclaredOnceAndTheLocationCanBeRedirected) {
    for (const SettingDef& a : SettingTable()) {
        int same = 0;
        for (const SettingDef& b : SettingTable()) {
            same += (a.key == b.key) + (std::string_view(a.section) == b.section &&
                                        std::string_view(a.name) == b.name);
        }
        EXPECT_EQ(same, 2) << a.section << "/" << a.name;
        EXPECT_EQ(&SettingDefOf(a.key), &a);
    }
    SettingsFile::RedirectPath(Text("/tmp/elsewhere.ini"));
    EXPECT_EQ(SettingsFile::PathFor(folder_), Text("/tmp/elsewhere.ini"));
    SettingsFile::RedirectPath(Text());
    EXPECT_EQ(SettingsFile::PathFor(folder_), path_);
}

// A settings path that names something other than a small regular file reads as absent, and
// a write leaves it alone and says so. Which things are refused is the regular-file reader's
// test; here a real settings file padded one byte past the settings cap stands for them all.
TEST_F(SettingsFileTest, FilesThatAreNotSettingsFilesReadAsAbsentAndAreNeverRewritten) {
    std::string huge = ("[全局设置]\n下载记录=已启用\n"_t).bytes();
    huge.resize(kMaxSettingsFileBytes + 1, ';');
    dir_.Write("配置.ini", huge);
    EXPECT_EQ(file_.Read(SettingKey::DownloadRecord), "未启用"_t);
    EXPECT_EQ(file_.ReadAll().photoService, Text("https://photo.weibo.com"));
    EXPECT_FALSE(file_.Write(SettingKey::DownloadRecord, SettingsFile::EnabledValue(true)));
    EXPECT_EQ(dir_.Read("配置.ini"), huge);

    // At the cap it is still a settings file, but no write may push it past the cap (it would
    // then read as absent).
    std::string atCap = ("[全局设置]\n下载记录=已启用\n"_t).bytes();
    atCap.resize(kMaxSettingsFileBytes, '\n');
    dir_.Write("配置.ini", atCap);
    EXPECT_TRUE(file_.ReadAll().downloadRecord);
    EXPECT_FALSE(file_.Write(SettingKey::TimeRange, SettingsFile::EnabledValue(true)));
    EXPECT_EQ(dir_.Read("配置.ini"), atCap);
    EXPECT_TRUE(file_.Write(SettingKey::DownloadRecord, SettingsFile::EnabledValue(false)))
        << "a write that does not grow the file is fine";
    EXPECT_FALSE(file_.ReadAll().downloadRecord);
}

}  // namespace
}  // namespace ovx
