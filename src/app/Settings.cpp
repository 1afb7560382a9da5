#include "app/Settings.h"

#include <QString>
#include <utility>

#include "app/FileDialogs.h"

namespace ovx {

DateTime DateTimeFromDate(QDate date) {
    if (!date.isValid()) return DateTime{kMinDateTime};
    return MakeDateTime(date.year(), date.month(), date.day());
}

QDate DateFromDateTime(DateTime value) {
    const DateTime v = ClampDateTime(value);
    return QDate(YearOf(v), MonthOf(v), DayOf(v));
}

Settings::Settings(Text path, Text defaultSaveLocation)
    : file_(std::move(path)), defaultSaveLocation_(std::move(defaultSaveLocation)) {}

StoredSettings Settings::ReadAll() const {
    StoredSettings v = file_.ReadAll();
    if (v.saveLocation.empty()) v.saveLocation = defaultSaveLocation_;
    return v;
}

void Settings::WriteEnabled(SettingKey key, bool checked) const {
    file_.Write(key, SettingsFile::EnabledValue(checked));
}

void Settings::WriteDate(SettingKey key, QDate date) const {
    file_.Write(key, SettingsFile::DateValue(DateTimeFromDate(date)));
}

void Settings::WriteNaming(NamingScheme scheme) const {
    file_.Write(SettingKey::NamingScheme, SettingsFile::NamingValue(scheme));
}

void Settings::WriteNumbering(Numbering numbering) const {
    file_.Write(SettingKey::Numbering, SettingsFile::NumberingValue(numbering));
}

void Settings::WriteMp3Path(const Text& path) const {
    file_.Write(SettingKey::Mp3Path, path);
}

void Settings::WriteProtocol(const Text& value) const {
    file_.Write(SettingKey::Protocol, value);
}

void Settings::WriteNumber(SettingKey key, int value) const {
    file_.Write(key, SettingsFile::NumberValue(value));
}

Text Settings::ChooseSaveLocation(QWidget* parent, const Text& current) const {
    Text chosen = FileDialogs::ChooseFolder(parent, QStringLiteral("选择相册的存放位置"), current);
    if (chosen.empty()) chosen = defaultSaveLocation_;
    file_.Write(SettingKey::SaveLocation, chosen);
    return chosen;
}

Text Settings::ChooseMp3(QWidget* parent, const Text& current) const {
    const Text chosen = FileDialogs::ChooseFile(parent, QStringLiteral("选择mp3的位置"), current);
    WriteMp3Path(chosen);
    return chosen;
}

}  // namespace ovx
