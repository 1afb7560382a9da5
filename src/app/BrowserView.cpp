#include "app/BrowserView.h"

#include <QDateTime>
#include <QDir>
#include <QNetworkCookie>
#include <QPaintEvent>
#include <QPainter>
#include <QTimer>
#include <QWebEngineCookieStore>
#include <QWebEngineProfile>
#include <utility>

#include "app/BrowserCookieBridge.h"
#include "app/SameViewPage.h"
#include "app/WebAddress.h"
#include "web/CookieStore.h"

namespace ovx {

BrowserView::BrowserView(const QString& storageFolder, CookieStore& cookies, QWidget* parent)
    : QWebEngineView(parent),
      storageFolder_(storageFolder),
      store_(cookies),
      // The login kept from the last run is with the program's requests from the start.
      cookies_(new BrowserCookieBridge(
          cookies,
          storageFolder.isEmpty() ? QString() : storageFolder + QStringLiteral("/cookies.txt"),
          this)) {}

BrowserView::~BrowserView() {
    if (!page_) return;
    // The page must go before the profile it was made with.
    setPage(nullptr);
    delete page_;
    page_ = nullptr;
}

void BrowserView::Start() {
    if (page_) return;
    awaitingPaint_ = false;
    if (storageFolder_.isEmpty()) {
        profile_ = new QWebEngineProfile(this);  // off the record
    } else {
        QDir().mkpath(storageFolder_);
        profile_ = new QWebEngineProfile(QStringLiteral("Ovatrix"), this);
        profile_->setPersistentStoragePath(storageFolder_);
        profile_->setCachePath(storageFolder_ + QStringLiteral("/cache"));
        // The login is usually a session cookie; keep it for the next run as well.
        profile_->setPersistentCookiesPolicy(QWebEngineProfile::ForcePersistentCookies);
    }
    cookies_->Attach(profile_->cookieStore());
    // The login kept from the last run serves the browser as well as the program's requests,
    // also when the engine's own cookie database is gone.
    for (const Cookie& c : store_.List()) {
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
    if (!pending_.isEmpty()) page_->setUrl(std::exchange(pending_, QUrl()));
}

QWebEngineProfile* BrowserView::Profile() {
    Start();
    return profile_;
}

QString BrowserView::Address() const {
    return page_ ? page_->url().toString() : pending_.toString();
}

bool BrowserView::SetAddress(const QString& address) {
    const std::optional<QUrl> url = BrowsableAddress(address);
    if (!url) return false;
    if (awaitingPaint_) {
        pending_ = *url;
        return true;
    }
    Start();
    page_->setUrl(*url);
    return true;
}

void BrowserView::showEvent(QShowEvent* event) {
    if (page_) {
        QWebEngineView::showEvent(event);
        return;
    }
    // The base class would make a page of the default profile for a view that has none.
    QWidget::showEvent(event);
    awaitingPaint_ = true;
}

void BrowserView::hideEvent(QHideEvent* event) {
    if (page_) {
        QWebEngineView::hideEvent(event);
        return;
    }
    QWidget::hideEvent(event);
    awaitingPaint_ = false;
}

void BrowserView::contextMenuEvent(QContextMenuEvent* event) {
    if (page_) QWebEngineView::contextMenuEvent(event);
}

void BrowserView::paintEvent(QPaintEvent* event) {
    if (page_) {
        QWebEngineView::paintEvent(event);
        return;
    }
    // The place of the page until the engine has started: a blank page.
    QPainter(this).fillRect(event->rect(), Qt::white);
    if (!startScheduled_) {
        startScheduled_ = true;
        // After this paint has reached the screen.
        QTimer::singleShot(0, this, &BrowserView::Start);
    }
}

void BrowserView::Report(const QUrl& url) {
    const QString address = url.toString();
    if (address.isEmpty() || address == QStringLiteral("about:blank")) return;
    emit addressToShow(address);
}

}  // namespace ovx
