#include "app/TabControl.h"

#include <QPainter>
#include <QStackedWidget>
#include <QStyleOptionTabWidgetFrame>
#include <QTabBar>

namespace ovx {

TabControl::TabControl(QWidget* parent)
    : QWidget(parent), tabBar_(new QTabBar(this)), pages_(new QStackedWidget(this)) {
    tabBar_->setDrawBase(false);
    tabBar_->setExpanding(false);
    tabBar_->setFocusPolicy(Qt::TabFocus);
    connect(tabBar_, &QTabBar::tabBarClicked, this, &TabControl::tabClicked);
    connect(tabBar_, &QTabBar::currentChanged, this, [this](int index) {
        pages_->setCurrentIndex(index);
        emit currentChanged(index);
    });
    // The tab row is drawn over the pages' top edge.
    tabBar_->raise();
    LayOut();
}

int TabControl::AddPage(QWidget* page, const QString& caption) {
    pages_->addWidget(page);
    const int index = tabBar_->addTab(caption);
    LayOut();
    return index;
}

int TabControl::Count() const {
    return tabBar_->count();
}

QWidget* TabControl::Page(int index) const {
    return pages_->widget(index);
}

int TabControl::CurrentIndex() const {
    return tabBar_->currentIndex();
}

void TabControl::SetCurrentIndex(int index) {
    tabBar_->setCurrentIndex(index);
}

int TabControl::TabRowHeight() const {
    return tabBar_->sizeHint().height();
}

void TabControl::LayOut() {
    const QSize hint = tabBar_->sizeHint();
    tabBar_->setGeometry(2, 0, std::min(hint.width(), std::max(0, width() - 4)), hint.height());
    pages_->setGeometry(0, 0, width(), height());
}

void TabControl::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    LayOut();
}

void TabControl::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    QStyleOptionTabWidgetFrame frame;
    frame.initFrom(this);
    const int top = TabRowHeight() - 1;
    frame.rect = QRect(0, top, width(), height() - top);
    frame.tabBarSize = tabBar_->sizeHint();
    frame.tabBarRect = tabBar_->geometry();
    frame.shape = QTabBar::RoundedNorth;
    style()->drawPrimitive(QStyle::PE_FrameTabWidget, &frame, &painter, this);
}

}  // namespace ovx
