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
constexpr char kHttpOnlyPrefix[] = "#HttpOnly_";

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

std::string BrowserCookieBridge::FormatLine(const Cookie& c) {
    std::string line = c.httpOnly ? kHttpOnlyPrefix : "";
    line += c.domain;
    line += c.domain.starts_with('.') ? "\tTRUE\t" : "\tFALSE\t";
    line += c.path.empty() ? std::string("/") : c.path;
    line += c.secure ? "\tTRUE\t" : "\tFALSE\t";
    line += std::to_string(c.expires) + "\t" + c.name + "\t" + c.value;
    return line;
}

bool BrowserCookieBridge::ParseLine(const std::string& text, Cookie& c) {
    c = Cookie{};
    std::string line = text;
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.pop_back();
    if (line.starts_with(kHttpOnlyPrefix)) {
        c.httpOnly = true;
        line.erase(0, sizeof kHttpOnlyPrefix - 1);
    } else if (line.empty() || line[0] == '#') {
        return false;
    }
    std::string fields[7];
    std::size_t start = 0;
    for (int i = 0; i < 7; ++i) {
        const std::size_t tab = i < 6 ? line.find('\t', start) : std::string::npos;
        if (i < 6 && tab == std::string::npos) return false;
        fields[i] = line.substr(start, tab == std::string::npos ? std::string::npos : tab - start);
        start = tab + 1;
    }
    if (fields[6].find('\t') != std::string::npos) return false;
    c.domain = fields[0];
    c.path = fields[2].empty() ? std::string("/") : fields[2];
    c.secure = fields[3] == "TRUE";
    bool ok = false;
    c.expires = QByteArray::fromStdString(fields[4]).toLongLong(&ok);
    c.name = fields[5];
    c.value = fields[6];
    return ok && c.expires >= 0 && !c.name.empty() && !c.domain.empty();
}

void BrowserCookieBridge::LoadCopy() {
    if (copyFile_.isEmpty()) return;
    QFile file(copyFile_);
    if (file.size() > kMaxCopyBytes || !file.open(QIODevice::ReadOnly)) return;
    while (!file.atEnd()) {
        Cookie c;
        if (!ParseLine(file.readLine(64 * 1024).toStdString(), c) || Expired(c)) continue;
        if (CookieStore::Instance().Import(c)) cookies_[{c.domain, c.path, c.name}] = c;
    }
}

bool BrowserCookieBridge::SaveCopy() {
    dirty_ = false;
    if (copyFile_.isEmpty()) return true;
    std::string text = "# Netscape HTTP Cookie File\n";
    for (const auto& [key, c] : cookies_)
        if (!Expired(c)) text += FormatLine(c) + "\n";
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
