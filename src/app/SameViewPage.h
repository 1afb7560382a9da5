#pragma once
// The embedded browser's page: reports every main-frame navigation before it happens, and
// opens the targets of new-window requests (links with a target, window.open) in the same
// view instead of a new window.

#include <QUrl>
#include <QWebEnginePage>

namespace ovx {

class SameViewPage : public QWebEnginePage {
    Q_OBJECT

  public:
    SameViewPage(QWebEngineProfile* profile, QObject* parent);

  signals:
    // The main frame is about to navigate to `url`.
    void aboutToNavigate(const QUrl& url);

  protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override;
    // Hands out a short-lived catcher page; the first address it is sent to is loaded here,
    // and the catcher, never shown, goes away.
    QWebEnginePage* createWindow(WebWindowType type) override;

  private:
    void OpenHere(const QUrl& url);
};

}  // namespace ovx
