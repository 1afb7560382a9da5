#include "app/BrowserCookieBridge.h"

#include <QDateTime>
#include <QFile>
#include <QNetworkCookie>
#include <QSaveFile>
#include <QTimer>
#include <QWebEngineCookieStore>

namespace ovx {
namespace {

constexpr int kSaveDelayMs = 500;
constexpr qint64 kMaxCopyBytes = 4 << 20;  // a cookie file is a few kilobytes

bool Expired(const Cookie& c) {
    return c.expires != 0 && c.expires < QDateTime::currentSecsSinceEpoch();
}

}  // namespace

BrowserCookieBridge::BrowserCookieBridge(QWebEngineCookieStore* browserCookies,
                                         const QString& copyFile, QObject* parent)
    : QObject(parent), copyFile_(copyFile), saveTimer_(new QTimer(this)) {
    saveTimer_->setSingleShot(true);
    saveTimer_->setInterval(kSaveDelayMs);
    connect(saveTimer_, &QTimer::timeout, this, [this] { SaveCopy(); });
    LoadCopy();
    connect(browserCookies, &QWebEngineCookieStore::cookieAdded, this,
            &BrowserCookieBridge::OnAdded);
    connect(browserCookies, &QWebEngineCookieStore::cookieRemoved, this,
            &BrowserCookieBridge::OnRemoved);
    browserCookies->loadAllCookies();
}

BrowserCookieBridge::~BrowserCookieBridge() {
    if (dirty_) SaveCopy();
}

Cookie BrowserCookieBridge::ToStoreCookie(const QNetworkCookie& cookie) {
    Cookie c;
    c.name = cookie.name().toStdString();
    c.value = cookie.value().toStdString();
    c.domain = cookie.domain().toStdString();
    c.path = cookie.path().isEmpty() ? std::string("/") : cookie.path().toStdString();
    c.secure = cookie.isSecure();
    c.httpOnly = cookie.isHttpOnly();
    c.expires = cookie.isSessionCookie() ? 0 : cookie.expirationDate().toSecsSinceEpoch();
    return c;
}

void BrowserCookieBridge::LoadCopy() {
    if (copyFile_.isEmpty()) return;
    QFile file(copyFile_);
    if (file.size() > kMaxCopyBytes || !file.open(QIODevice::ReadOnly)) return;
    while (!file.atEnd()) {
        Cookie c;
        if (!ParseCookieLine(file.readLine(64 * 1024).toStdString(), c) || Expired(c)) continue;
        if (CookieStore::Instance().Import(c)) cookies_[{c.domain, c.path, c.name}] = c;
    }
}

bool BrowserCookieBridge::SaveCopy() {
    dirty_ = false;
    if (copyFile_.isEmpty()) return true;
    std::string text = "# Netscape HTTP Cookie File\n";
    for (const auto& [key, c] : cookies_)
        if (!Expired(c)) text += FormatCookieLine(c) + "\n";
    // Written whole or not at all; only the user may read it (it holds the login).
    QSaveFile file(copyFile_);
    if (!file.open(QIODevice::WriteOnly)) return false;
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    file.write(text.data(), static_cast<qint64>(text.size()));
    return file.commit();
}

void BrowserCookieBridge::OnAdded(const QNetworkCookie& cookie) {
    const Cookie c = ToStoreCookie(cookie);
    // A cookie the store refuses (tabs or line breaks in a field) is simply not shared.
    if (!CookieStore::Instance().Import(c)) return;
    cookies_[{c.domain, c.path, c.name}] = c;
    dirty_ = true;
    saveTimer_->start();
}

void BrowserCookieBridge::OnRemoved(const QNetworkCookie& cookie) {
    const Cookie c = ToStoreCookie(cookie);
    CookieStore::Instance().Remove(c.name, c.domain, c.path);
    cookies_.erase({c.domain, c.path, c.name});
    dirty_ = true;
    saveTimer_->start();
}

}  // namespace ovx
