#pragma once
// The embedded browser: a web view with its own profile, whose cookies and storage are kept
// in a folder across runs and whose cookies are shared with the program's own requests.
// It reports the address the user is on for the address box (never "about:blank").

#include <QWebEngineView>

class QWebEngineProfile;

namespace ovx {

class BrowserCookieBridge;
class SameViewPage;

class BrowserView : public QWebEngineView {
    Q_OBJECT

  public:
    // `storageFolder` keeps cookies and cache; empty keeps everything in memory only.
    explicit BrowserView(const QString& storageFolder, QWidget* parent = nullptr);
    ~BrowserView() override;

    // The address the browser is on.
    QString Address() const;
    // Sets the browser's address, which makes it load that address; only web addresses are
    // loaded (app/WebAddress.h). False when the address was refused.
    bool SetAddress(const QString& address);

    QWebEngineProfile* Profile() const { return profile_; }

  signals:
    // The address to show: the target when a navigation is about to start, the page's own
    // address when a document has loaded. "about:blank" is never reported.
    void addressToShow(const QString& address);

  private:
    void Report(const QUrl& url);

    QWebEngineProfile* profile_;
    SameViewPage* page_;
    BrowserCookieBridge* cookies_;
};

}  // namespace ovx
