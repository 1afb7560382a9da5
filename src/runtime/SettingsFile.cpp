#include "runtime/SettingsFile.h"

#include <algorithm>
#include <array>
#include <climits>
#include <mutex>
#include <string_view>
#include <utility>

#include "runtime/CodePage.h"
#include "runtime/Convert.h"
#include "runtime/Profile.h"

namespace ovx {

namespace {

constexpr const char* kGlobal = "全局设置";
constexpr const char* kMp3 = "mp3路径";
constexpr const char* kService = "服务地址";
constexpr const char* kNetwork = "网络";

constexpr std::array<SettingDef, 24> kTable{{
    {SettingKey::DownloadRecord, kGlobal, "下载记录", "未启用"},
    {SettingKey::TimeRange, kGlobal, "时间段", "未启用"},
    {SettingKey::StartDate, kGlobal, "开始日期", ""},
    {SettingKey::EndDate, kGlobal, "结束日期", ""},
    {SettingKey::SaveLocation, kGlobal, "保存位置", ""},
    {SettingKey::NamingScheme, kGlobal, "图片名称格式", ""},
    {SettingKey::Numbering, kGlobal, "下载序号", ""},
    {SettingKey::LivePhotos, kGlobal, "实况照片", "已启用"},
    {SettingKey::StopAtRecorded, kGlobal, "遇到已下载即停止", "0", 0, 9999},
    {SettingKey::Mp3Path, kMp3, "保存位置", ""},
    {SettingKey::HomePage, kService, "首页", "https://weibo.com"},
    {SettingKey::PhotoService, kService, "相册服务", "https://photo.weibo.com"},
    {SettingKey::VersionPage, kService, "版本页", ""},
    {SettingKey::HelpPage, kService, "帮助页", ""},
    {SettingKey::WebSite, kService, "网站", ""},
    {SettingKey::MessengerContact, kService, "在线客服", ""},
    {SettingKey::Protocol, kService, "接口", "自动"},
    {SettingKey::ImageService, kService, "图片服务", "https://wx1.sinaimg.cn"},
    {SettingKey::VisitorService, kService, "访客服务", "https://passport.weibo.com"},
    {SettingKey::RequestInterval, kNetwork, "请求间隔毫秒", "1500", 0, 60000},
    {SettingKey::ThrottleWait, kNetwork, "限流等待秒", "30", 1, 3600},
    {SettingKey::ThrottleMaxWait, kNetwork, "限流最长等待秒", "600", 1, 3600},
    {SettingKey::ThrottleRetries, kNetwork, "限流重试次数", "8", 1, 100},
    {SettingKey::ParallelImages, kNetwork, "同时下载图片数", "1", 1, 8},
}};

constexpr const char* kEnabled = "已启用";
constexpr const char* kDisabled = "未启用";
constexpr const char* kCycle = "循环";
constexpr const char* kDefaultNumbering = "默认";

// Naming values in the order start-up compares them.
constexpr std::array<std::pair<NamingScheme, const char*>, 4> kNamingValues{{
    {NamingScheme::CaptionNumber, "内容加序号"},
    {NamingScheme::NumberCaption, "序号加内容"},
    {NamingScheme::CaptionDate, "内容加日期"},
    {NamingScheme::Caption, "内容"},
}};

// A whole number with an optional sign and nothing else but spaces around it; saturates at
// the int range. Empty when the text is anything else.
std::optional<int> StrictInteger(const Text& text) {
    const Text folded = FoldFullWidth(text);
    std::string_view s = folded.view();
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    bool negative = false;
    if (!s.empty() && (s.front() == '+' || s.front() == '-')) {
        negative = s.front() == '-';
        s.remove_prefix(1);
    }
    if (s.empty()) return std::nullopt;
    long long value = 0;
    for (char c : s) {
        if (c < '0' || c > '9') return std::nullopt;
        if (value <= INT_MAX) value = value * 10 + (c - '0');  // stays far below LLONG_MAX
    }
    if (negative) value = -value;
    return static_cast<int>(std::clamp<long long>(value, INT_MIN, INT_MAX));
}

Text Local(const char* utf8) {
    return Utf8ToLocal(utf8);
}

std::mutex gRedirectMutex;
Text gRedirectedPath;

}  // namespace

std::span<const SettingDef> SettingTable() {
    return kTable;
}

const SettingDef& SettingDefOf(SettingKey key) {
    for (const SettingDef& def : kTable) {
        if (def.key == key) return def;
    }
    return kTable.front();  // unreachable: every key has a row
}

DateTime InitialStartDate() {
    return MakeDateTime(2006, 3, 30);
}

DateTime InitialEndDate() {
    return MakeDateTime(2025, 12, 30);
}

SettingsFile::SettingsFile(Text path) : path_(std::move(path)) {}

Text SettingsFile::PathFor(const Text& programFolder) {
    {
        std::lock_guard lock(gRedirectMutex);
        if (!gRedirectedPath.empty()) return gRedirectedPath;
    }
    return FromPath(ToPath(programFolder) / ToPath(Local("配置.ini")));
}

void SettingsFile::RedirectPath(const Text& path) {
    std::lock_guard lock(gRedirectMutex);
    gRedirectedPath = path;
}

Text SettingsFile::Read(SettingKey key) const {
    const SettingDef& def = SettingDefOf(key);
    return ReadIniValue(path_, Local(def.section), Local(def.name), Local(def.fallback));
}

bool SettingsFile::Write(SettingKey key, const Text& value) const {
    const SettingDef& def = SettingDefOf(key);
    return WriteIniValue(path_, Local(def.section), Local(def.name), value);
}

int SettingsFile::ReadNumber(SettingKey key) const {
    return NumberFromValue(key, Read(key));
}

StoredSettings SettingsFile::ReadAll() const {
    StoredSettings v;
    v.downloadRecord = Read(SettingKey::DownloadRecord) == Local(kEnabled);
    v.timeRange = Read(SettingKey::TimeRange) == Local(kEnabled);
    if (Text start = Read(SettingKey::StartDate); !start.empty()) v.startDate = ToDateTime(start);
    if (Text end = Read(SettingKey::EndDate); !end.empty()) v.endDate = ToDateTime(end);
    v.saveLocation = Read(SettingKey::SaveLocation);
    const Text naming = Read(SettingKey::NamingScheme);
    v.naming =
        naming.empty() ? std::optional(NamingScheme::NumberCaption) : NamingFromValue(naming);
    v.numbering =
        Read(SettingKey::Numbering) == Local(kCycle) ? Numbering::Cycle : Numbering::Default;
    v.livePhotos = Read(SettingKey::LivePhotos) != Local(kDisabled);
    v.stopAtRecorded = ReadNumber(SettingKey::StopAtRecorded);
    v.mp3Path = Read(SettingKey::Mp3Path);
    v.homePage = Read(SettingKey::HomePage);
    v.photoService = Read(SettingKey::PhotoService);
    v.versionPage = Read(SettingKey::VersionPage);
    v.helpPage = Read(SettingKey::HelpPage);
    v.webSite = Read(SettingKey::WebSite);
    v.messengerContact = Read(SettingKey::MessengerContact);
    v.protocol = Read(SettingKey::Protocol);
    v.imageService = Read(SettingKey::ImageService);
    v.visitorService = Read(SettingKey::VisitorService);
    v.requestIntervalMs = ReadNumber(SettingKey::RequestInterval);
    v.throttleWaitSeconds = ReadNumber(SettingKey::ThrottleWait);
    v.throttleMaxWaitSeconds = ReadNumber(SettingKey::ThrottleMaxWait);
    v.throttleRetries = ReadNumber(SettingKey::ThrottleRetries);
    v.parallelImages = ReadNumber(SettingKey::ParallelImages);
    return v;
}

Text SettingsFile::EnabledValue(bool enabled) {
    return Local(enabled ? kEnabled : kDisabled);
}

Text SettingsFile::DateValue(DateTime date) {
    return ToText(date);
}

Text SettingsFile::NamingValue(NamingScheme scheme) {
    for (const auto& [s, value] : kNamingValues) {
        if (s == scheme) return Local(value);
    }
    return Text();
}

std::optional<NamingScheme> SettingsFile::NamingFromValue(const Text& value) {
    for (const auto& [scheme, name] : kNamingValues) {
        if (value == Local(name)) return scheme;
    }
    return std::nullopt;
}

Text SettingsFile::NumberingValue(Numbering numbering) {
    return Local(numbering == Numbering::Cycle ? kCycle : kDefaultNumbering);
}

Text SettingsFile::NumberValue(int value) {
    return ToText(value);
}

int SettingsFile::NumberFromValue(SettingKey key, const Text& value) {
    const SettingDef& def = SettingDefOf(key);
    const int fallback = StrictInteger(Text(def.fallback)).value_or(0);
    const std::optional<int> number = StrictInteger(value);
    if (def.min >= def.max) return number.value_or(fallback);
    return std::clamp(number.value_or(fallback), def.min, def.max);
}

}  // namespace ovx
