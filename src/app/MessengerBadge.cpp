#include "app/MessengerBadge.h"

#include <QFont>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace ovx {

QPixmap MessengerBadge(const QSize& size) {
    QPixmap badge(size);
    badge.fill(Qt::transparent);
    QPainter p(&badge);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF box(0.5, 0.5, size.width() - 1.0, size.height() - 1.0);
    QLinearGradient fill(box.topLeft(), box.bottomLeft());
    fill.setColorAt(0, QColor(0x5b, 0xb8, 0xf0));
    fill.setColorAt(1, QColor(0x1e, 0x7f, 0xc8));
    p.setPen(QColor(0x16, 0x5e, 0x96));
    p.setBrush(fill);
    p.drawRoundedRect(box, 4, 4);

    // A white speech bubble on the left.
    const qreal d = size.height() * 0.55;
    const QRectF bubble(4, (size.height() - d) / 2 - 1, d * 1.2, d);
    QPainterPath path;
    path.addEllipse(bubble);
    path.moveTo(bubble.left() + d * 0.3, bubble.bottom() - 2);
    path.lineTo(bubble.left() + d * 0.1, bubble.bottom() + 3);
    path.lineTo(bubble.left() + d * 0.6, bubble.bottom() - 1);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawPath(path);

    QFont font;
    font.setPixelSize(std::max(9, size.height() / 2));
    font.setBold(true);
    p.setFont(font);
    p.setPen(Qt::white);
    const QRectF text(bubble.right() + 3, 0, size.width() - bubble.right() - 5, size.height());
    p.drawText(text, Qt::AlignCenter, QStringLiteral("在线交谈"));
    return badge;
}

}  // namespace ovx
