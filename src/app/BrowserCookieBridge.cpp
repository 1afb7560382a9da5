#include "app/BrowserCookieBridge.h"

#include <QDateTime>
#include <QFile>
#include <QNetworkCookie>
#include <QSaveFile>
#include <QTimer>
#include <QWebEngineCookieStore>
#include <filesystem>
#include <string_view>

#include "runtime/RegularFile.h"

namespace ovx {
namespace {

constexpr int kSaveDelayMs = 500;
constexpr std::size_t kMaxCopyBytes = std::size_t{4} << 20;  // a cookie file is a few kilobytes
constexpr std::size_t kMaxLineBytes = 64 * 1024;

std::filesystem::path CopyPath(const QString& file) {
    return std::filesystem::path(QFile::encodeName(file).toStdString());
}

bool Expired(const Cookie& c) {
    return c.expires != 0 && c.expires < QDateTime::currentSecsSinceEpoch();
}

}  // namespace

BrowserCookieBridge::BrowserCookieBridge(CookieStore& store, const QString& copyFile,
                                         QObject* parent)
    : QObject(parent), store_(store), copyFile_(copyFile), saveTimer_(new QTimer(this)) {
    saveTimer_->setSingleShot(true);
    saveTimer_->setInterval(kSaveDelayMs);
    connect(saveTimer_, &QTimer::timeout, this, [this] { SaveCopy(); });
    LoadCopy();
}

BrowserCookieBridge::BrowserCookieBridge(CookieStore& store, QWebEngineCookieStore* browserCookies,
                                         const QString& copyFile, QObject* parent)
    : BrowserCookieBridge(store, copyFile, parent) {
    Attach(browserCookies);
}

void BrowserCookieBridge::Attach(QWebEngineCookieStore* browserCookies) {
    if (attached_) return;
    attached_ = true;
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
    // Only a regular file of bounded size: a FIFO would block start-up forever and a link to
    // /dev/zero would fill memory.
    const RegularFileRead read = ReadRegularFile(CopyPath(copyFile_), kMaxCopyBytes);
    if (!read.read()) return;
    std::string_view rest = read.content;
    while (!rest.empty()) {
        const std::size_t end = rest.find('\n');
        const std::string_view line = rest.substr(0, end == std::string_view::npos ? end : end + 1);
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
        Cookie c;
        // An overlong line is skipped whole; its tail never becomes a cookie of its own.
        if (line.size() > kMaxLineBytes || !ParseCookieLine(line, c) || Expired(c)) continue;
        if (store_.Import(c)) cookies_[{c.domain, c.path, c.name}] = c;
    }
}

bool BrowserCookieBridge::SaveCopy() {
    dirty_ = false;
    if (copyFile_.isEmpty()) return true;
    // Something that is not a copy of ours (a FIFO, a device, a link to one, a huge file) is
    // never replaced.
    if (InspectRegularFile(CopyPath(copyFile_), kMaxCopyBytes) == RegularFileRead::Status::kRefused)
        return false;
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
    if (!store_.Import(c)) return;
    cookies_[{c.domain, c.path, c.name}] = c;
    dirty_ = true;
    saveTimer_->start();
}

void BrowserCookieBridge::OnRemoved(const QNetworkCookie& cookie) {
    const Cookie c = ToStoreCookie(cookie);
    store_.Remove(c.name, c.domain, c.path);
    cookies_.erase({c.domain, c.path, c.name});
    dirty_ = true;
    saveTimer_->start();
}

}  // namespace ovx
