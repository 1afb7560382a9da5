#include "app/DesktopOpen.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QUrl>

namespace ovx {

bool OpenWithDesktop(int /*verb*/, const QString& target) {
    if (target.isEmpty()) return false;
    if (QFileInfo::exists(target)) return QDesktopServices::openUrl(QUrl::fromLocalFile(target));
    const QUrl asUrl(target, QUrl::StrictMode);
    if (asUrl.isValid() && asUrl.scheme().size() > 1) return QDesktopServices::openUrl(asUrl);
    return QDesktopServices::openUrl(QUrl::fromUserInput(target));
}

}  // namespace ovx
