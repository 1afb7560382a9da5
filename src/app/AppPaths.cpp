#include "app/AppPaths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <mutex>

#include "app/QtText.h"
#include "app/Settings.h"

namespace ovx {
namespace {

std::mutex overrideMutex;
Text overrideFolder;

QString WritableExecutableFolder() {
    if (!QCoreApplication::instance()) return {};
    const QString dir = QCoreApplication::applicationDirPath();
    const QFileInfo info(dir);
    return info.isDir() && info.isWritable() ? dir : QString();
}

}  // namespace

Text ProgramFolder() {
    {
        std::lock_guard lock(overrideMutex);
        if (!overrideFolder.empty()) return overrideFolder;
    }
    QString dir = WritableExecutableFolder();
    if (dir.isEmpty()) dir = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    if (dir.isEmpty()) dir = QDir::currentPath();
    dir = QDir::cleanPath(dir);
    while (dir.size() > 1 && dir.endsWith(QLatin1Char('/'))) dir.chop(1);
    return FromQString(dir);
}

Text SettingsPath() {
    return Settings::PathFor(ProgramFolder());
}

Text RecordFolder() {
    return ProgramFolder() + "/防止重复下载数据库/"_t;
}

Text BrowserDataFolder() {
    return ProgramFolder() + "/浏览器数据"_t;
}

void SetProgramFolderOverride(const Text& folder) {
    std::string bytes = folder.bytes();
    while (bytes.size() > 1 && bytes.back() == '/') bytes.pop_back();
    std::lock_guard lock(overrideMutex);
    overrideFolder = Text(bytes);
}

}  // namespace ovx
