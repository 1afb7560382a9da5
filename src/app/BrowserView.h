#pragma once
// The embedded browser: a web view with its own profile, whose cookies and storage are kept
// in a folder across runs and whose cookies are shared with the program's own requests.
// It reports the address the user is on for the address box (never "about:blank").
//
// The browser engine takes longer to start than the rest of the window together, so the view
// starts it late: right after the view is first painted (the window is on the screen by then,
// with a blank page where the browser goes), or at once when something needs it first. An
// address set while the shown view waits for its first paint is loaded when the engine has
// started. Use the functions below, not QWebEngineView's page functions, until Started():
// those would make a page of the default profile.

#include <QUrl>
#include <QWebEngineView>

class QWebEngineProfile;

namespace ovx {

class BrowserCookieBridge;
class CookieStore;
class SameViewPage;

class BrowserView : public QWebEngineView {
    Q_OBJECT

  public:
    // `storageFolder` keeps cookies and cache; empty keeps everything in memory only. The
    // browser's cookies feed `cookies` (the window session's store, which must outlive the
    // view), and the login kept there serves the browser too.
    BrowserView(const QString& storageFolder, CookieStore& cookies, QWidget* parent = nullptr);
    ~BrowserView() override;

    // The address the browser is on (or will load once started).
    QString Address() const;
    // Sets the browser's address, which makes it load that address; only web addresses are
    // loaded (app/WebAddress.h). False when the address was refused.
    bool SetAddress(const QString& address);

    // Starts the engine: the profile, the cookie bridge and the page. Does nothing the second
    // time.
    void Start();
    bool Started() const { return page_ != nullptr; }
    // The browser's profile; starts the engine.
    QWebEngineProfile* Profile();

  signals:
    // The address to show: the target when a navigation is about to start, the page's own
    // address when a document has loaded. "about:blank" is never reported.
    void addressToShow(const QString& address);

  protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

  private:
    void Report(const QUrl& url);

    QString storageFolder_;
    // Set while the view is shown and not yet painted: addresses wait for the engine.
    bool awaitingPaint_ = false;
    bool startScheduled_ = false;
    QUrl pending_;
    QWebEngineProfile* profile_ = nullptr;
    SameViewPage* page_ = nullptr;
    CookieStore& store_;
    BrowserCookieBridge* cookies_ = nullptr;
};

}  // namespace ovx
