#pragma once
// The settings file "配置.ini": every key the program keeps, declared once in one table with
// its section, key text and default, and typed readers and writers over it. The window's
// controls are the live state: start-up reads every key once (ReadAll) and each control
// writes its own key the moment the user changes it. Nothing is written otherwise, so a user
// who never touches an option never gets a settings file.

#include <QDate>
#include <QString>
#include <functional>
#include <optional>
#include <span>

#include "runtime/DateTime.h"
#include "runtime/Text.h"

class QWidget;

namespace ovx {

enum class SettingKey {
    // section "全局设置"
    DownloadRecord,  // "下载记录": "已启用" / "未启用"
    TimeRange,       // "时间段": "已启用" / "未启用"
    StartDate,       // "开始日期": a date as ToText prints it
    EndDate,         // "结束日期"
    SaveLocation,    // "保存位置": the folder below which album folders are made
    NamingScheme,  // "图片名称格式": "内容加序号", "序号加内容", "内容加日期", "内容"
    Numbering,  // "下载序号": "循环" / "默认"
    // section "mp3路径"
    Mp3Path,  // "保存位置": the finishing sound; empty turns it off
    // section "服务地址": where the program finds the service and its maker
    HomePage,          // "首页"
    PhotoService,      // "相册服务"
    VersionPage,       // "版本页"
    HelpPage,          // "帮助页": help about users' home-page addresses
    WebSite,           // "网站": the maker's web site
    MessengerContact,  // "在线客服": the maker's messenger contact page
};

// One row of the key table. Texts are UTF-8 source literals; Settings converts them.
struct SettingDef {
    SettingKey key;
    const char* section;
    const char* name;
    const char* fallback;  // what an absent key reads as
};

// The whole table, in the order start-up reads it.
std::span<const SettingDef> SettingTable();
const SettingDef& SettingDefOf(SettingKey key);

// The naming radios of the "下载图片命名格式" group.
enum class NamingRadio { CaptionNumber, NumberCaption, CaptionDate, Caption };
// The numbering radios of the "下载序号格式" group.
enum class NumberingRadio { Default, Cycle };

// The date boxes' dates before any setting is applied.
QDate InitialStartDate();  // 30 March 2006
QDate InitialEndDate();    // 30 December 2025

// Every setting as start-up pushes it into the controls.
struct SettingsValues {
    bool downloadRecord = false;
    bool timeRange = false;
    // A stored date that does not convert gives the failed-conversion value (year 100);
    // the date box clamps it to its own range.
    QDate startDate = InitialStartDate();
    QDate endDate = InitialEndDate();
    Text saveLocation;  // the program folder when nothing is stored
    // Empty when the stored value names no radio: the radios keep their initial selection.
    std::optional<NamingRadio> naming = NamingRadio::NumberCaption;
    NumberingRadio numbering = NumberingRadio::Default;
    Text mp3Path;
    Text homePage;
    Text photoService;
    Text versionPage;
    Text helpPage;
    Text webSite;
    Text messengerContact;
};

// Date box <-> stored date-time (midnight of that day; the date part of a stored value).
DateTime DateTimeFromDate(QDate date);
QDate DateFromDateTime(DateTime value);

class Settings {
  public:
    // `path` is the settings file, `programFolder` the save location shown when none is stored.
    Settings(Text path, Text programFolder);

    // programFolder + separator + "配置.ini", or the redirected path when one is set.
    static Text PathFor(const Text& programFolder);
    // Test and demo hook: every PathFor() returns `path` while set; an empty text ends it.
    static void RedirectPath(const Text& path);

    const Text& Path() const { return path_; }
    const Text& ProgramFolder() const { return programFolder_; }

    // The raw value, or the table's default when the key is absent.
    Text Read(SettingKey key) const;
    // Writes one key; creates the file and the section when missing. False on failure
    // (the option then stays changed in the window for this run only).
    bool Write(SettingKey key, const Text& value) const;

    SettingsValues ReadAll() const;

    // Control writers: each writes the value its control stands for.
    void WriteEnabled(SettingKey key, bool checked) const;  // DownloadRecord, TimeRange
    void WriteDate(SettingKey key, QDate date) const;       // StartDate, EndDate
    void WriteNaming(NamingRadio radio) const;
    void WriteNumbering(NumberingRadio radio) const;
    void WriteMp3Path(const Text& path) const;  // the "保存" button

    // The "选择存放位置" button: asks for a folder; a cancelled dialog gives the program
    // folder. The result is stored and returned for the edit box.
    Text ChooseSaveLocation(QWidget* parent, const Text& current) const;
    // The MP3 "选择" button: asks for a file; a cancelled dialog gives "" (no sound). The
    // result is stored and returned for the edit box.
    Text ChooseMp3(QWidget* parent, const Text& current) const;

    static Text NamingValue(NamingRadio radio);
    static std::optional<NamingRadio> NamingFromValue(const Text& value);

  private:
    Text path_;
    Text programFolder_;
};

}  // namespace ovx
