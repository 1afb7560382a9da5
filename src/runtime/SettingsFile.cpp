#include "runtime/SettingsFile.h"

#include <array>
#include <mutex>
#include <utility>

#include "runtime/CodePage.h"
#include "runtime/Convert.h"
#include "runtime/Profile.h"

namespace ovx {

namespace {

constexpr const char* kGlobal = "全局设置";
constexpr const char* kMp3 = "mp3路径";
constexpr const char* kService = "服务地址";

constexpr std::array<SettingDef, 14> kTable{{
    {SettingKey::DownloadRecord, kGlobal, "下载记录", "未启用"},
    {SettingKey::TimeRange, kGlobal, "时间段", "未启用"},
    {SettingKey::StartDate, kGlobal, "开始日期", ""},
    {SettingKey::EndDate, kGlobal, "结束日期", ""},
    {SettingKey::SaveLocation, kGlobal, "保存位置", ""},
    {SettingKey::NamingScheme, kGlobal, "图片名称格式", ""},
    {SettingKey::Numbering, kGlobal, "下载序号", ""},
    {SettingKey::Mp3Path, kMp3, "保存位置", ""},
    {SettingKey::HomePage, kService, "首页", "https://weibo.com"},
    {SettingKey::PhotoService, kService, "相册服务", "https://photo.weibo.com"},
    {SettingKey::VersionPage, kService, "版本页", ""},
    {SettingKey::HelpPage, kService, "帮助页", ""},
    {SettingKey::WebSite, kService, "网站", ""},
    {SettingKey::MessengerContact, kService, "在线客服", ""},
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
    v.mp3Path = Read(SettingKey::Mp3Path);
    v.homePage = Read(SettingKey::HomePage);
    v.photoService = Read(SettingKey::PhotoService);
    v.versionPage = Read(SettingKey::VersionPage);
    v.helpPage = Read(SettingKey::HelpPage);
    v.webSite = Read(SettingKey::WebSite);
    v.messengerContact = Read(SettingKey::MessengerContact);
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

}  // namespace ovx
