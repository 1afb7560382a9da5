#include "app/Settings.h"

#include <QString>
#include <array>
#include <mutex>
#include <utility>

#include "app/FileDialogs.h"
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
constexpr std::array<std::pair<NamingRadio, const char*>, 4> kNamingValues{{
    {NamingRadio::CaptionNumber, "内容加序号"},
    {NamingRadio::NumberCaption, "序号加内容"},
    {NamingRadio::CaptionDate, "内容加日期"},
    {NamingRadio::Caption, "内容"},
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

QDate InitialStartDate() {
    return QDate(2006, 3, 30);
}
QDate InitialEndDate() {
    return QDate(2025, 12, 30);
}

DateTime DateTimeFromDate(QDate date) {
    if (!date.isValid()) return DateTime{kMinDateTime};
    return MakeDateTime(date.year(), date.month(), date.day());
}

QDate DateFromDateTime(DateTime value) {
    const DateTime v = ClampDateTime(value);
    return QDate(YearOf(v), MonthOf(v), DayOf(v));
}

Settings::Settings(Text path, Text programFolder)
    : path_(std::move(path)), programFolder_(std::move(programFolder)) {}

Text Settings::PathFor(const Text& programFolder) {
    {
        std::lock_guard lock(gRedirectMutex);
        if (!gRedirectedPath.empty()) return gRedirectedPath;
    }
    return FromPath(ToPath(programFolder) / ToPath(Local("配置.ini")));
}

void Settings::RedirectPath(const Text& path) {
    std::lock_guard lock(gRedirectMutex);
    gRedirectedPath = path;
}

Text Settings::Read(SettingKey key) const {
    const SettingDef& def = SettingDefOf(key);
    return ReadIniValue(path_, Local(def.section), Local(def.name), Local(def.fallback));
}

bool Settings::Write(SettingKey key, const Text& value) const {
    const SettingDef& def = SettingDefOf(key);
    return WriteIniValue(path_, Local(def.section), Local(def.name), value);
}

SettingsValues Settings::ReadAll() const {
    SettingsValues v;
    v.downloadRecord = Read(SettingKey::DownloadRecord) == Local(kEnabled);
    v.timeRange = Read(SettingKey::TimeRange) == Local(kEnabled);
    if (Text start = Read(SettingKey::StartDate); !start.empty()) {
        v.startDate = DateFromDateTime(ToDateTime(start));
    }
    if (Text end = Read(SettingKey::EndDate); !end.empty()) {
        v.endDate = DateFromDateTime(ToDateTime(end));
    }
    v.saveLocation = Read(SettingKey::SaveLocation);
    if (v.saveLocation.empty()) v.saveLocation = programFolder_;
    const Text naming = Read(SettingKey::NamingScheme);
    v.naming = naming.empty() ? std::optional(NamingRadio::NumberCaption) : NamingFromValue(naming);
    v.numbering = Read(SettingKey::Numbering) == Local(kCycle) ? NumberingRadio::Cycle
                                                               : NumberingRadio::Default;
    v.mp3Path = Read(SettingKey::Mp3Path);
    v.homePage = Read(SettingKey::HomePage);
    v.photoService = Read(SettingKey::PhotoService);
    v.versionPage = Read(SettingKey::VersionPage);
    v.helpPage = Read(SettingKey::HelpPage);
    v.webSite = Read(SettingKey::WebSite);
    v.messengerContact = Read(SettingKey::MessengerContact);
    return v;
}

void Settings::WriteEnabled(SettingKey key, bool checked) const {
    Write(key, Local(checked ? kEnabled : kDisabled));
}

void Settings::WriteDate(SettingKey key, QDate date) const {
    Write(key, ToText(DateTimeFromDate(date)));
}

void Settings::WriteNaming(NamingRadio radio) const {
    Write(SettingKey::NamingScheme, NamingValue(radio));
}

void Settings::WriteNumbering(NumberingRadio radio) const {
    Write(SettingKey::Numbering,
          Local(radio == NumberingRadio::Cycle ? kCycle : kDefaultNumbering));
}

void Settings::WriteMp3Path(const Text& path) const {
    Write(SettingKey::Mp3Path, path);
}

Text Settings::ChooseSaveLocation(QWidget* parent, const Text& current) const {
    Text chosen = FileDialogs::ChooseFolder(parent, QStringLiteral("选择相册的存放位置"), current);
    if (chosen.empty()) chosen = programFolder_;
    Write(SettingKey::SaveLocation, chosen);
    return chosen;
}

Text Settings::ChooseMp3(QWidget* parent, const Text& current) const {
    const Text chosen = FileDialogs::ChooseFile(parent, QStringLiteral("选择mp3的位置"), current);
    WriteMp3Path(chosen);
    return chosen;
}

Text Settings::NamingValue(NamingRadio radio) {
    for (const auto& [r, value] : kNamingValues) {
        if (r == radio) return Local(value);
    }
    return Text();
}

std::optional<NamingRadio> Settings::NamingFromValue(const Text& value) {
    for (const auto& [radio, name] : kNamingValues) {
        if (value == Local(name)) return radio;
    }
    return std::nullopt;
}

}  // namespace ovx
