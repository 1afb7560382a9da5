#pragma once
// Creating a control at a fixed place: every control of the window has a name (its object
// name, by which tests and the settings code find it) and a rectangle relative to its
// container.

#include <QRect>
#include <QString>
#include <QWidget>

namespace ovx {

template <class Control>
Control* Place(QWidget* container, const char* utf8Name, const QRect& place) {
    auto* control = new Control(container);
    control->setObjectName(QString::fromUtf8(utf8Name));
    control->setGeometry(place);
    return control;
}

}  // namespace ovx
