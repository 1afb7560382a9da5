#include "app/SameViewPage.h"

#include <QPointer>
#include <QTimer>

#include "app/WebAddress.h"

namespace ovx {
namespace {

// A page that is never shown: it takes a new-window request's first navigation, passes the
// address on and refuses the navigation itself.
class WindowRequestCatcher : public QWebEnginePage {
  public:
    WindowRequestCatcher(QWebEngineProfile* profile, SameViewPage* owner,
                         std::function<void(const QUrl&)> forward)
        : QWebEnginePage(profile, owner), forward_(std::move(forward)) {
        // Some requests only show up as an address change of the new page.
        connect(this, &QWebEnginePage::urlChanged, this, [this](const QUrl& url) { Take(url); });
        // A request that never navigates anywhere must not keep the catcher alive.
        QTimer::singleShot(30000, this, [this] { Finish(); });
    }

  protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType, bool isMainFrame) override {
        if (isMainFrame) Take(url);
        return false;
    }

  private:
    void Take(const QUrl& url) {
        if (done_ || url.isEmpty() || url.toString() == QStringLiteral("about:blank")) return;
        done_ = true;
        forward_(url);
        Finish();
    }
    void Finish() {
        done_ = true;
        deleteLater();
    }

    std::function<void(const QUrl&)> forward_;
    bool done_ = false;
};

}  // namespace

SameViewPage::SameViewPage(QWebEngineProfile* profile, QObject* parent)
    : QWebEnginePage(profile, parent) {}

bool SameViewPage::acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) {
    // A page may not lead the browser to its internal pages or to local files either.
    const QString scheme = url.scheme().toLower();
    if (isMainFrame && !BrowsableAddress(url.toString()) && scheme != QStringLiteral("data") &&
        scheme != QStringLiteral("blob"))
        return false;
    if (isMainFrame) emit aboutToNavigate(url);
    return QWebEnginePage::acceptNavigationRequest(url, type, isMainFrame);
}

QWebEnginePage* SameViewPage::createWindow(WebWindowType) {
    QPointer<SameViewPage> self(this);
    return new WindowRequestCatcher(profile(), this, [self](const QUrl& url) {
        if (self) QTimer::singleShot(0, self, [self, url] { self->OpenHere(url); });
    });
}

void SameViewPage::OpenHere(const QUrl& url) {
    if (const std::optional<QUrl> address = BrowsableAddress(url.toString())) setUrl(*address);
}

}  // namespace ovx
