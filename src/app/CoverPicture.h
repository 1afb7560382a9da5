#pragma once
// Album covers for the album list: the fetched bytes decoded by Qt's image readers (JPEG,
// GIF, BMP, PNG) and scaled into a 100 x 100 square, keeping their aspect ratio. Anything that
// is not a picture, or a picture too large to decode safely, gives the program's own
// placeholder instead. Pure QImage work, so it runs on a worker as well as on the window's
// thread.

#include <QImage>

#include "runtime/Text.h"

namespace ovx {

inline constexpr int kCoverSide = 100;
// Bounds on what is decoded: the data size, and the picture's pixel count read from its header
// before any pixel is decoded.
inline constexpr qsizetype kMaxCoverBytes = qsizetype{16} << 20;
inline constexpr qint64 kMaxCoverPixels = qint64{40} * 1000 * 1000;

// The decoded, scaled cover centred on a transparent 100 x 100 square; the placeholder when the
// bytes are empty, are no picture, or exceed the bounds.
QImage CoverImageFrom(const Bytes& data);
// True when `data` decodes into a cover within the bounds (the result is then not the
// placeholder).
bool DecodeCover(const Bytes& data, QImage& cover);

// The program's own placeholder: a framed landscape sketch on a light ground, 100 x 100.
const QImage& PlaceholderCover();

}  // namespace ovx
