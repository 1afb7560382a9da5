#include "app/WindowLayout.h"

namespace ovx {
namespace {

void SetWidth(QRect& r, int width) {
    r.setWidth(width);
}
void SetLeft(QRect& r, int left) {
    r.moveLeft(left);
}

}  // namespace

WindowGeometry ApplyResizeLayout(WindowGeometry g, int W) {
    // Page 1: the browser and the buttons at the right end of the address row.
    SetWidth(g.tabs, W - 20);
    SetWidth(g.browser, W - 40);
    SetLeft(g.albumPageButton, W - g.albumPageButton.width() - 40);
    SetLeft(g.openButton, W - g.albumPageButton.width() - g.openButton.width() - 60);
    SetWidth(g.urlEdit, 440);

    // Page 2: the three groups span the page; the list grows, the log keeps its width.
    const int groupWidth = g.tabs.width() - 20;
    SetWidth(g.listGroup, groupWidth);
    SetWidth(g.locationGroup, groupWidth);
    SetWidth(g.homeGroup, groupWidth);
    SetWidth(g.reportList, g.listGroup.width() - g.logGroup.width() - 20);
    SetLeft(g.logGroup, g.listGroup.width() - g.logGroup.width() - 5);

    const int home = g.homeGroup.width();
    SetWidth(g.userEdit, home - g.getAlbumsButton.width() - g.downloadButton.width() - 235);
    SetLeft(g.getAlbumsButton, home - g.getAlbumsButton.width() - g.downloadButton.width() - 100);
    SetLeft(g.downloadButton, home - g.downloadButton.width() - 80);
    // Pause and continue share the download button's place; one of the three shows at a time.
    SetLeft(g.pauseButton, g.downloadButton.left());
    SetLeft(g.continueButton, g.downloadButton.left());
    SetLeft(g.endButton, g.downloadButton.left() + g.downloadButton.width() + 10);

    SetWidth(g.saveEdit, g.userEdit.width());
    SetLeft(g.chooseFolderButton, g.getAlbumsButton.left());
    SetLeft(g.openFolderButton, g.downloadButton.left());
    return g;
}

}  // namespace ovx
