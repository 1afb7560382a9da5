#pragma once
// The picture on the buttons that open the maker's messenger contact page.

#include <QPixmap>

namespace ovx {

// A small speech-bubble badge with "在线交谈", drawn at the given size.
QPixmap MessengerBadge(const QSize& size);

}  // namespace ovx
