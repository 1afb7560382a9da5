#pragma once
// Feeds the embedded browser's cookies into the process-wide CookieStore, so that the
// program's own requests carry the login made in the browser: the cookies the browser has
// kept from earlier runs, and every cookie it receives or drops from now on.

#include <QObject>

class QNetworkCookie;
class QWebEngineCookieStore;

namespace ovx {

struct Cookie;

class BrowserCookieBridge : public QObject {
    Q_OBJECT

public:
    // Starts listening and asks the browser for the cookies it already holds.
    BrowserCookieBridge(QWebEngineCookieStore* browserCookies, QObject* parent);

    // The browser's form of a cookie in the store's form.
    static Cookie ToStoreCookie(const QNetworkCookie& cookie);

private:
    void OnAdded(const QNetworkCookie& cookie);
    void OnRemoved(const QNetworkCookie& cookie);
};

}  // namespace ovx
