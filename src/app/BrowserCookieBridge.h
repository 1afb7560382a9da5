#pragma once
// Feeds the embedded browser's cookies into the window session's CookieStore, so that the
// program's own requests carry the login made in the browser: every cookie the browser
// receives or drops is passed on as it happens.
//
// The browser engine keeps its cookies on disk but does not report the ones it restores at
// start, so the bridge keeps its own copy of the browser's cookies in a cookies.txt file
// beside them and hands that copy to the CookieStore when it starts.

#include <QObject>
#include <QString>
#include <map>
#include <string>
#include <tuple>

#include "web/CookieStore.h"

class QNetworkCookie;
class QTimer;
class QWebEngineCookieStore;

namespace ovx {

class BrowserCookieBridge : public QObject {
    Q_OBJECT

  public:
    // Feeds `store` (the window session's, which must outlive the bridge): hands it the copy
    // now and listens to the browser from Attach() on. `copyFile` (may be empty: nothing
    // kept) is read now and rewritten shortly after every change and when the bridge goes
    // away.
    BrowserCookieBridge(CookieStore& store, const QString& copyFile, QObject* parent);
    // Both at once: reads the copy and starts listening to `browserCookies`.
    BrowserCookieBridge(CookieStore& store, QWebEngineCookieStore* browserCookies,
                        const QString& copyFile, QObject* parent);
    ~BrowserCookieBridge() override;

    // The browser's form of a cookie in the store's form.
    static Cookie ToStoreCookie(const QNetworkCookie& cookie);

    // Starts listening to the browser's cookies and has it report those it restored. Once.
    void Attach(QWebEngineCookieStore* browserCookies);

    // Writes the copy now (normally done on a short timer). False when it cannot be written.
    bool SaveCopy();

  private:
    using Key = std::tuple<std::string, std::string, std::string>;  // domain, path, name

    void OnAdded(const QNetworkCookie& cookie);
    void OnRemoved(const QNetworkCookie& cookie);
    void LoadCopy();

    CookieStore& store_;
    QString copyFile_;
    std::map<Key, Cookie> cookies_;
    QTimer* saveTimer_;
    bool dirty_ = false;
    bool attached_ = false;
};

}  // namespace ovx
