#pragma once
// The settings file "配置.ini": every key the program keeps, declared once in one table with
// its section, key text and default, and the typed reading both front ends share. Qt-free:
// the window adds only its bindings to controls (app/Settings.h), ovatrix-cli reads the same
// values through this module.
//
// Only a regular file of at most kMaxSettingsFileBytes is read; anything else (a FIFO, a
// device, a huge file) reads as absent and is never rewritten.

#include <cstddef>
#include <optional>
#include <span>

#include "runtime/DateTime.h"
#include "runtime/Text.h"

namespace ovx {

enum class SettingKey {
    // section "全局设置"
    DownloadRecord,  // "下载记录": "已启用" / "未启用"
    TimeRange,       // "时间段": "已启用" / "未启用"
    StartDate,       // "开始日期": a date as ToText prints it
    EndDate,         // "结束日期"
    SaveLocation,    // "保存位置": the folder below which album folders are made
    NamingScheme,  // "图片名称格式": "内容加序号", "序号加内容", "内容加日期", "内容"
    Numbering,   // "下载序号": "循环" / "默认"
    LivePhotos,  // "实况照片": "已启用" / "未启用"; also save a live photo's video
    StopAtRecorded,  // "遇到已下载即停止": recorded pictures in a row that end an album; 0: never
    // section "mp3路径"
    Mp3Path,  // "保存位置": the finishing sound; empty turns it off
    // section "服务地址": where the program finds the service and its maker
    HomePage,          // "首页"
    PhotoService,      // "相册服务"
    VersionPage,       // "版本页"
    HelpPage,          // "帮助页": help about users' home-page addresses
    WebSite,           // "网站": the maker's web site
    MessengerContact,  // "在线客服": the maker's messenger contact page
    Protocol,          // "接口": "自动" / "网页版" / "相册版"
    ImageService,      // "图片服务": the image host the web API's pictures fall back to
    VisitorService,    // "访客服务": the site's visitor system (its passport host)
    // section "网络": pacing and throttling of requests, whole numbers
    RequestInterval,  // "请求间隔毫秒": least time between two paced requests
    ThrottleWait,     // "限流等待秒": the first wait after a throttling answer
    ThrottleMaxWait,  // "限流最长等待秒": the longest wait after a throttling answer
    ThrottleRetries,  // "限流重试次数": throttling answers in a row before giving up
    ParallelImages,   // "同时下载图片数": image transfers of an album at once
};

// One row of the key table. Texts are UTF-8 source literals; SettingsFile converts them.
struct SettingDef {
    SettingKey key;
    const char* section;
    const char* name;
    const char* fallback;  // what an absent key reads as
    // A whole-number key (min < max) reads clamped to [min, max], and as `fallback` when the
    // stored value is not a number.
    int min = 0;
    int max = 0;
};

// The whole table, in the order start-up reads it.
std::span<const SettingDef> SettingTable();
const SettingDef& SettingDefOf(SettingKey key);

// How saved photos are named ("图片名称格式"), in the order the values are compared.
enum class NamingScheme { CaptionNumber, NumberCaption, CaptionDate, Caption };
// How the photo number is formed ("下载序号").
enum class Numbering { Default, Cycle };

// The date boxes' dates before any setting is applied, at midnight.
DateTime InitialStartDate();  // 30 March 2006
DateTime InitialEndDate();    // 30 December 2025

// Every setting as start-up reads it.
struct StoredSettings {
    bool downloadRecord = false;
    bool timeRange = false;
    // A stored date that does not convert gives the failed-conversion value (kMinDateTime).
    DateTime startDate = InitialStartDate();
    DateTime endDate = InitialEndDate();
    Text saveLocation;  // empty when nothing is stored
    // Empty when the stored value names no scheme: the window keeps its initial selection.
    std::optional<NamingScheme> naming = NamingScheme::NumberCaption;
    Numbering numbering = Numbering::Default;
    bool livePhotos = true;  // anything but "未启用" keeps it on
    int stopAtRecorded = 0;
    Text mp3Path;
    Text homePage;
    Text photoService;
    Text versionPage;
    Text helpPage;
    Text webSite;
    Text messengerContact;
    // "接口" as stored: "自动" or a protocol's value; the table of protocols reads it (an
    // unknown value as "自动").
    Text protocol;
    Text imageService;
    Text visitorService;
    // Whole numbers, read through ReadNumber.
    int requestIntervalMs = 1500;
    int throttleWaitSeconds = 30;
    int throttleMaxWaitSeconds = 600;
    int throttleRetries = 8;
    int parallelImages = 1;
};

inline constexpr std::size_t kMaxSettingsFileBytes = std::size_t{4} << 20;

class SettingsFile {
  public:
    explicit SettingsFile(Text path);

    // programFolder + separator + "配置.ini", or the redirected path when one is set.
    static Text PathFor(const Text& programFolder);
    // Test and demo hook: every PathFor() returns `path` while set; an empty text ends it.
    static void RedirectPath(const Text& path);

    const Text& Path() const { return path_; }

    // The raw value, or the table's default when the key is absent (or the file unreadable).
    Text Read(SettingKey key) const;
    // Writes one key; creates the file and the section when missing. False on failure, and
    // always false for a file that is not a readable regular file of bounded size.
    bool Write(SettingKey key, const Text& value) const;
    // A whole-number key's value, clamped to its range; not a number reads as the default.
    int ReadNumber(SettingKey key) const;
    StoredSettings ReadAll() const;

    static Text EnabledValue(bool enabled);  // "已启用" / "未启用"
    static Text DateValue(DateTime date);    // ToText of the date
    static Text NamingValue(NamingScheme scheme);
    static std::optional<NamingScheme> NamingFromValue(const Text& value);
    static Text NumberingValue(Numbering numbering);  // "循环" / "默认"
    static Text NumberValue(int value);               // decimal
    // A whole number (optional sign, ASCII or full-width digits, spaces around) clamped to
    // the key's range; anything else gives the key's default.
    static int NumberFromValue(SettingKey key, const Text& value);

  private:
    Text path_;
};

}  // namespace ovx
