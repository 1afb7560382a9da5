#pragma once
// A tab control whose pages cover the whole control: the tab row sits on top of the page's
// upper edge, so the controls on a page are placed relative to the tab control itself, as
// the window's layout gives their places.

#include <QWidget>

class QStackedWidget;
class QTabBar;

namespace ovx {

class TabControl : public QWidget {
    Q_OBJECT

  public:
    explicit TabControl(QWidget* parent = nullptr);

    // Appends a page; the tab control takes it over.
    int AddPage(QWidget* page, const QString& caption);
    int Count() const;
    QWidget* Page(int index) const;
    int CurrentIndex() const;
    // Switches pages without raising tabClicked.
    void SetCurrentIndex(int index);
    QTabBar* TabBar() const { return tabBar_; }
    // The height of the tab row; the pages' frame starts there.
    int TabRowHeight() const;

  signals:
    // A tab was clicked with the mouse: raised before the page switches, also when the tab
    // clicked is the current one.
    void tabClicked(int index);
    void currentChanged(int index);

  protected:
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

  private:
    void LayOut();

    QTabBar* tabBar_;
    QStackedWidget* pages_;
};

}  // namespace ovx
