// The resize rule, as a function and on the live window: what follows the window's width and
// what keeps its place.
#include <QLineEdit>

#include "MainWindowTestSupport.h"
#include "TestInteraction.h"
#include "app/MainWindow.h"
#include "app/TabControl.h"
#include "app/WindowLayout.h"

namespace ovx {
namespace {

// The controls' places as the window is designed, before any resize.
WindowGeometry DesignGeometry() {
    WindowGeometry g;
    g.tabs = {4, 7, 1084, 601};
    g.browser = {12, 107, 896, 437};
    g.albumPageButton = {684, 43, 96, 32};
    g.openButton = {599, 44, 69, 32};
    g.urlEdit = {52, 45, 624, 32};  // start-up widens it before the first resize
    g.homeGroup = {8, 44, 902, 59};
    g.locationGroup = {8, 104, 902, 50};
    g.listGroup = {8, 164, 902, 426};
    g.reportList = {6, 41, 638, 339};
    g.logGroup = {656, 36, 236, 345};
    g.userEdit = {124, 18, 384, 32};
    g.getAlbumsButton = {519, 16, 91, 32};
    g.downloadButton = {640, 16, 85, 32};
    g.pauseButton = {694, 16, 67, 32};
    g.continueButton = {754, 16, 67, 32};
    g.endButton = {828, 16, 64, 32};
    g.saveEdit = {124, 12, 440, 27};
    g.chooseFolderButton = {580, 12, 91, 32};
    g.openFolderButton = {693, 12, 79, 32};
    return g;
}

TEST(WindowLayout, PlacesEveryControlForTheOpeningWidth) {
    const WindowGeometry g = ApplyResizeLayout(DesignGeometry(), 1100);
    EXPECT_EQ(g.tabs, QRect(4, 7, 1080, 601));
    EXPECT_EQ(g.browser, QRect(12, 107, 1060, 437));
    EXPECT_EQ(g.albumPageButton, QRect(964, 43, 96, 32));
    EXPECT_EQ(g.openButton, QRect(875, 44, 69, 32));
    EXPECT_EQ(g.urlEdit, QRect(52, 45, 440, 32));
    EXPECT_EQ(g.homeGroup, QRect(8, 44, 1060, 59));
    EXPECT_EQ(g.locationGroup, QRect(8, 104, 1060, 50));
    EXPECT_EQ(g.listGroup, QRect(8, 164, 1060, 426));
    EXPECT_EQ(g.reportList, QRect(6, 41, 804, 339));
    EXPECT_EQ(g.logGroup, QRect(819, 36, 236, 345));
    EXPECT_EQ(g.userEdit, QRect(124, 18, 649, 32));
    EXPECT_EQ(g.getAlbumsButton, QRect(784, 16, 91, 32));
    EXPECT_EQ(g.downloadButton, QRect(895, 16, 85, 32));
    EXPECT_EQ(g.pauseButton, QRect(895, 16, 67, 32));
    EXPECT_EQ(g.continueButton, QRect(895, 16, 67, 32));
    EXPECT_EQ(g.endButton, QRect(990, 16, 64, 32));
    EXPECT_EQ(g.saveEdit, QRect(124, 12, 649, 27));
    EXPECT_EQ(g.chooseFolderButton, QRect(784, 12, 91, 32));
    EXPECT_EQ(g.openFolderButton, QRect(895, 12, 79, 32));
}

// Widening by 100 pixels: what stretches grows by 100, what sits at the right moves by 100,
// the log keeps its width, the address box keeps its working width, no height changes.
void ExpectWidenedBy100(const WindowGeometry& narrow, const WindowGeometry& wide) {
    auto grew = [](const QRect& a, const QRect& b) {
        return b == QRect(a.left(), a.top(), a.width() + 100, a.height());
    };
    auto moved = [](const QRect& a, const QRect& b) { return b == a.translated(100, 0); };
    EXPECT_TRUE(grew(narrow.tabs, wide.tabs));
    EXPECT_TRUE(grew(narrow.browser, wide.browser));
    EXPECT_TRUE(grew(narrow.homeGroup, wide.homeGroup));
    EXPECT_TRUE(grew(narrow.locationGroup, wide.locationGroup));
    EXPECT_TRUE(grew(narrow.listGroup, wide.listGroup));
    EXPECT_TRUE(grew(narrow.reportList, wide.reportList));
    EXPECT_TRUE(grew(narrow.userEdit, wide.userEdit));
    EXPECT_TRUE(grew(narrow.saveEdit, wide.saveEdit));
    EXPECT_TRUE(moved(narrow.albumPageButton, wide.albumPageButton));
    EXPECT_TRUE(moved(narrow.openButton, wide.openButton));
    EXPECT_TRUE(moved(narrow.logGroup, wide.logGroup));
    EXPECT_TRUE(moved(narrow.getAlbumsButton, wide.getAlbumsButton));
    EXPECT_TRUE(moved(narrow.downloadButton, wide.downloadButton));
    EXPECT_TRUE(moved(narrow.pauseButton, wide.pauseButton));
    EXPECT_TRUE(moved(narrow.continueButton, wide.continueButton));
    EXPECT_TRUE(moved(narrow.endButton, wide.endButton));
    EXPECT_TRUE(moved(narrow.chooseFolderButton, wide.chooseFolderButton));
    EXPECT_TRUE(moved(narrow.openFolderButton, wide.openFolderButton));
    EXPECT_EQ(wide.urlEdit, narrow.urlEdit);
}

TEST(WindowLayout, WideningBy100StretchesTheListsAndMovesTheRightHandButtons) {
    const WindowGeometry narrow = ApplyResizeLayout(DesignGeometry(), 1100);
    ExpectWidenedBy100(narrow, ApplyResizeLayout(narrow, 1200));
    // The rule depends on the width alone, not on the way there.
    EXPECT_EQ(ApplyResizeLayout(ApplyResizeLayout(narrow, 700), 1100), narrow);
}

TEST(WindowLayout, TheShownWindowFollowsTheRuleWhenResized) {
    testing::ScratchProgramFolder folder;
    testing::TestInteraction interaction;
    InstallInteraction(&interaction);
    {
        MainWindow window(MainWindow::Options{false});
        window.show();
        const WindowGeometry opening = window.CurrentLayout();
        EXPECT_EQ(opening, ApplyResizeLayout(DesignGeometry(), 1100));
        window.resize(1200, 700);
        ASSERT_TRUE(testing::WaitUntil([&] { return window.width() == 1200; }));
        ExpectWidenedBy100(opening, window.CurrentLayout());
        // The browser page itself fills the wider tab control.
        EXPECT_EQ(window.Tabs()->width(), 1180);
    }
    InstallInteraction(nullptr);
}

}  // namespace
}  // namespace ovx
