// The embedded browser's engine starts after the window's first paint, or at once when the
// browser is used before the window was ever shown; either way the page is the program's own,
// on the profile kept in the program folder, and an address set in between is not lost.
#include <QEvent>
#include <QWebEnginePage>
#include <QWebEngineProfile>

#include "MainWindowTestSupport.h"
#include "TestInteraction.h"
#include "app/BrowserView.h"
#include "app/LoginPage.h"
#include "app/MainWindow.h"

namespace ovx {
namespace {

using testing::WaitUntil;

// Notes whether the engine had started when the view was first painted.
class FirstPaint : public QObject {
  public:
    explicit FirstPaint(BrowserView* view) : view_(view) { view->installEventFilter(this); }
    bool Seen() const { return seen_; }
    bool EngineHadStarted() const { return startedThen_; }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == view_ && event->type() == QEvent::Paint && !seen_) {
            seen_ = true;
            startedThen_ = view_->Started();
        }
        return false;
    }

  private:
    BrowserView* view_;
    bool seen_ = false;
    bool startedThen_ = false;
};

class BrowserStartTest : public ::testing::Test {
  protected:
    void SetUp() override {
        InstallInteraction(&interaction_);
        window_ = std::make_unique<MainWindow>(MainWindow::Options{false});
        view_ = qobject_cast<BrowserView*>(window_->Login()->Browser());
        ASSERT_NE(view_, nullptr);
    }
    void TearDown() override {
        window_.reset();
        InstallInteraction(nullptr);
    }
    // The engine's page is ours: made on the profile kept in the program folder, and the only
    // page the view ever had (the view makes one of its own when asked for one too early).
    void ExpectOwnPage() const {
        ASSERT_TRUE(view_->Started());
        EXPECT_EQ(view_->page()->profile(), view_->Profile());
        EXPECT_EQ(QDir(view_->Profile()->persistentStoragePath()).canonicalPath(),
                  QDir(ToQString(BrowserDataFolder())).canonicalPath());
        EXPECT_EQ(view_->findChildren<QWebEnginePage*>(Qt::FindDirectChildrenOnly).size(), 1);
    }

    testing::ScratchProgramFolder folder_;
    testing::TestInteraction interaction_;
    std::unique_ptr<MainWindow> window_;
    BrowserView* view_ = nullptr;
};

TEST_F(BrowserStartTest, AShownWindowIsPaintedFirstAndTheAddressSetMeanwhileIsLoadedAfter) {
    FirstPaint paint(view_);
    window_->show();
    // As start-up does: the home page is set before the first paint.
    ASSERT_TRUE(window_->Login()->SetBrowserAddress(QStringLiteral("about:blank")));
    EXPECT_FALSE(view_->Started());
    EXPECT_EQ(window_->Login()->BrowserAddress(), QStringLiteral("about:blank"));

    ASSERT_TRUE(WaitUntil([&] { return view_->Started(); }));
    EXPECT_TRUE(paint.Seen());
    EXPECT_FALSE(paint.EngineHadStarted());
    ExpectOwnPage();
    EXPECT_EQ(view_->page()->url(), QUrl(QStringLiteral("about:blank")));
}

TEST_F(BrowserStartTest, AWindowNeverShownStartsTheEngineWhenAnAddressIsLoaded) {
    EXPECT_FALSE(view_->Started());
    // A refused address needs no engine.
    EXPECT_FALSE(window_->Login()->SetBrowserAddress(QStringLiteral("javascript:void(0)")));
    EXPECT_FALSE(view_->Started());

    ASSERT_TRUE(window_->Login()->SetBrowserAddress(QStringLiteral("about:blank")));
    ExpectOwnPage();
    EXPECT_EQ(view_->page()->url(), QUrl(QStringLiteral("about:blank")));
}

}  // namespace
}  // namespace ovx
