#include "app/CoverPicture.h"

#include <QBuffer>
#include <QByteArray>
#include <QImageReader>
#include <QPainter>
#include <QPainterPath>

namespace ovx {
namespace {

// `picture` scaled into the square, keeping its aspect ratio, centred; the margins are
// transparent, so a selected row shows through them.
QImage FitIntoSquare(const QImage& picture) {
    QImage square(kCoverSide, kCoverSide, QImage::Format_ARGB32_Premultiplied);
    square.fill(Qt::transparent);
    const QImage scaled =
        picture.scaled(kCoverSide, kCoverSide, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    QPainter painter(&square);
    painter.drawImage((kCoverSide - scaled.width()) / 2, (kCoverSide - scaled.height()) / 2,
                      scaled);
    return square;
}

QImage DrawPlaceholder() {
    QImage image(kCoverSide, kCoverSide, QImage::Format_ARGB32_Premultiplied);
    image.fill(QColor(0xf4, 0xf5, 0xf7));
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    // A frame ...
    const QRectF frame(14.5, 22.5, 71, 56);
    p.setPen(QPen(QColor(0xa8, 0xb0, 0xbc), 3));
    p.setBrush(Qt::white);
    p.drawRoundedRect(frame, 6, 6);
    // ... a sun ...
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0xf2, 0xb1, 0x3c));
    p.drawEllipse(QPointF(64, 40), 7, 7);
    // ... and two hills.
    QPainterPath hills;
    hills.moveTo(17, 76);
    hills.lineTo(38, 48);
    hills.lineTo(52, 64);
    hills.lineTo(60, 56);
    hills.lineTo(83, 76);
    hills.closeSubpath();
    p.setBrush(QColor(0x7f, 0xa6, 0xc9));
    p.drawPath(hills);
    return image;
}

}  // namespace

bool DecodeCover(const Bytes& data, QImage& cover) {
    if (data.empty() || static_cast<qsizetype>(data.size()) > kMaxCoverBytes) return false;
    QByteArray bytes(reinterpret_cast<const char*>(data.data()),
                     static_cast<qsizetype>(data.size()));
    QBuffer buffer(&bytes);
    if (!buffer.open(QIODevice::ReadOnly)) return false;
    QImageReader reader(&buffer);
    reader.setDecideFormatFromContent(true);
    // The size comes from the header: a huge picture is refused before it is decoded.
    const QSize size = reader.size();
    if (!size.isValid() || size.isEmpty() ||
        static_cast<qint64>(size.width()) * size.height() > kMaxCoverPixels)
        return false;
    reader.setAllocationLimit(static_cast<int>(kMaxCoverPixels * 4 / (1024 * 1024)) + 1);
    QImage picture;
    if (!reader.read(&picture) || picture.isNull()) return false;
    cover = FitIntoSquare(picture);
    return true;
}

QImage CoverImageFrom(const Bytes& data) {
    QImage cover;
    return DecodeCover(data, cover) ? cover : PlaceholderCover();
}

const QImage& PlaceholderCover() {
    static const QImage placeholder = DrawPlaceholder();
    return placeholder;
}

}  // namespace ovx
