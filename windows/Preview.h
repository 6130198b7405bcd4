#pragma once

#include <QImage>
#include <QSize>
#include <QString>

// The picture of a file for the preview page, 24 bits per pixel. A JPEG is decoded with DCT
// scaling to the smallest size that still fills `fill` (a 24-megapixel photo is never decoded
// whole to show 700 pixels); other formats are read whole. `fullSize` is the picture's real
// size. A file that is no picture gives a null image and a 0 × 0 size.
QImage LoadPreview(const QString& path, QSize fill, QSize& fullSize);
