#pragma once
// The window's bindings to the settings file "配置.ini". The key table and the typed reading
// are Qt-free (runtime/SettingsFile.h); this layer converts dates between the date boxes and
// the stored form, runs the choose dialogs and writes the value each control stands for.
// The window's controls are the live state: start-up reads every key once (ReadAll) and
// each control writes its own key the moment the user changes it. Nothing is written
// otherwise, so a user who never touches an option never gets a settings file.

#include <QDate>
#include <optional>

#include "runtime/DateTime.h"
#include "runtime/SettingsFile.h"
#include "runtime/Text.h"

class QWidget;

namespace ovx {

// The naming radios of the "下载图片命名格式" group stand for the naming schemes, the
// numbering radios of "下载序号格式" for the numbering forms.
using NamingRadio = NamingScheme;
using NumberingRadio = Numbering;

// Date box <-> stored date-time (midnight of that day; the date part of a stored value).
DateTime DateTimeFromDate(QDate date);
QDate DateFromDateTime(DateTime value);

class Settings {
  public:
    // `path` is the settings file; `defaultSaveLocation` is shown when no save location is
    // stored, and stored when the save-location dialog is cancelled.
    Settings(Text path, Text defaultSaveLocation);

    const SettingsFile& File() const { return file_; }
    const Text& Path() const { return file_.Path(); }
    const Text& DefaultSaveLocation() const { return defaultSaveLocation_; }

    // Every setting as start-up pushes it into the controls; the default save location
    // stands in for one not stored. Dates go to the date boxes through DateFromDateTime.
    StoredSettings ReadAll() const;

    // Control writers: each writes the value its control stands for. A write that fails
    // leaves the option changed in the window for this run only.
    void WriteEnabled(SettingKey key, bool checked) const;  // DownloadRecord, TimeRange, LivePhotos
    void WriteDate(SettingKey key, QDate date) const;       // StartDate, EndDate
    void WriteNaming(NamingScheme scheme) const;
    void WriteNumbering(Numbering numbering) const;
    void WriteMp3Path(const Text& path) const;          // the "保存" button
    void WriteProtocol(const Text& value) const;        // a "接口" value
    void WriteNumber(SettingKey key, int value) const;  // RequestInterval

    // The "选择存放位置" button: asks for a folder; a cancelled dialog gives the default save
    // location. The result is stored and returned for the edit box.
    Text ChooseSaveLocation(QWidget* parent, const Text& current) const;
    // The MP3 "选择" button: asks for a file; a cancelled dialog gives "" (no sound). The
    // result is stored and returned for the edit box.
    Text ChooseMp3(QWidget* parent, const Text& current) const;

  private:
    SettingsFile file_;
    Text defaultSaveLocation_;
};

}  // namespace ovx
