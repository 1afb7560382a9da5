#include "app/BrowserCookieBridge.h"

#include <QDateTime>
#include <QNetworkCookie>
#include <QWebEngineCookieStore>

#include "web/CookieStore.h"

namespace ovx {

BrowserCookieBridge::BrowserCookieBridge(QWebEngineCookieStore* browserCookies, QObject* parent)
    : QObject(parent) {
    connect(browserCookies, &QWebEngineCookieStore::cookieAdded, this,
            &BrowserCookieBridge::OnAdded);
    connect(browserCookies, &QWebEngineCookieStore::cookieRemoved, this,
            &BrowserCookieBridge::OnRemoved);
    browserCookies->loadAllCookies();
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

void BrowserCookieBridge::OnAdded(const QNetworkCookie& cookie) {
    // A cookie the store refuses (tabs or line breaks in a field) is simply not shared.
    CookieStore::Instance().Import(ToStoreCookie(cookie));
}

void BrowserCookieBridge::OnRemoved(const QNetworkCookie& cookie) {
    const Cookie c = ToStoreCookie(cookie);
    CookieStore::Instance().Remove(c.name, c.domain, c.path);
}

}  // namespace ovx
