#pragma once
// A label that reacts to the left mouse button, for the links to the maker's pages.

#include <QLabel>

namespace ovx {

class LinkLabel : public QLabel {
    Q_OBJECT

  public:
    explicit LinkLabel(QWidget* parent = nullptr);

  signals:
    void pressed();

  protected:
    void mousePressEvent(QMouseEvent* event) override;
};

}  // namespace ovx
