#include "app/BrowserView.h"

#include <QDateTime>
#include <QDir>
#include <QNetworkCookie>
#include <QWebEngineCookieStore>
#include <QWebEngineProfile>

#include "app/BrowserCookieBridge.h"
#include "app/SameViewPage.h"
#include "app/WebAddress.h"
#include "web/CookieStore.h"

namespace ovx {

BrowserView::BrowserView(const QString& storageFolder, QWidget* parent) : QWebEngineView(parent) {
    if (storageFolder.isEmpty()) {
        profile_ = new QWebEngineProfile(this);  // off the record
    } else {
        QDir().mkpath(storageFolder);
        profile_ = new QWebEngineProfile(QStringLiteral("Ovatrix"), this);
        profile_->setPersistentStoragePath(storageFolder);
        profile_->setCachePath(storageFolder + QStringLiteral("/cache"));
        // The login is usually a session cookie; keep it for the next run as well.
        profile_->setPersistentCookiesPolicy(QWebEngineProfile::ForcePersistentCookies);
    }
    const QString cookieCopy =
        storageFolder.isEmpty() ? QString() : storageFolder + QStringLiteral("/cookies.txt");
    cookies_ = new BrowserCookieBridge(profile_->cookieStore(), cookieCopy, this);
    // The login kept from the last run serves the browser as well as the program's requests,
    // also when the engine's own cookie database is gone.
    for (const Cookie& c : CookieStore::Instance().List()) {
        QNetworkCookie cookie(QByteArray::fromStdString(c.name),
                              QByteArray::fromStdString(c.value));
        // A domain without a leading dot is the cookie's one host (an address like 127.0.0.1).
        const bool forSubdomains = !c.domain.empty() && c.domain.front() == '.';
        const QString host = QString::fromStdString(forSubdomains ? c.domain.substr(1) : c.domain);
        if (forSubdomains) cookie.setDomain(QString::fromStdString(c.domain));
        cookie.setPath(QString::fromStdString(c.path));
        cookie.setSecure(c.secure);
        cookie.setHttpOnly(c.httpOnly);
        if (c.expires > 0) cookie.setExpirationDate(QDateTime::fromSecsSinceEpoch(c.expires));
        const QString scheme = c.secure ? QStringLiteral("https://") : QStringLiteral("http://");
        profile_->cookieStore()->setCookie(cookie, QUrl(scheme + host + QStringLiteral("/")));
    }
    page_ = new SameViewPage(profile_, this);
    setPage(page_);
    connect(page_, &SameViewPage::aboutToNavigate, this, &BrowserView::Report);
    connect(page_, &QWebEnginePage::loadFinished, this, [this](bool) { Report(page_->url()); });
}

BrowserView::~BrowserView() {
    // The page must go before the profile it was made with.
    setPage(nullptr);
    delete page_;
    page_ = nullptr;
}

QString BrowserView::Address() const {
    return page_->url().toString();
}

bool BrowserView::SetAddress(const QString& address) {
    const std::optional<QUrl> url = BrowsableAddress(address);
    if (url) page_->setUrl(*url);
    return url.has_value();
}

void BrowserView::Report(const QUrl& url) {
    const QString address = url.toString();
    if (address.isEmpty() || address == QStringLiteral("about:blank")) return;
    emit addressToShow(address);
}

}  // namespace ovx
