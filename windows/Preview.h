#pragma once

#include <QImage>
#include <QObject>
#include <QSize>
#include <QString>
#include <QTimer>

// The picture of a file for the preview page, 24 bits per pixel. A JPEG is decoded with DCT
// scaling to the smallest size that still fills `fill` (a 24-megapixel photo is never decoded
// whole to show 700 pixels); other formats are read whole. `fullSize` is the picture's real
// size. A file that is no picture gives a null image and a 0 × 0 size.
QImage LoadPreview(const QString& path, QSize fill, QSize& fullSize);

// Keeps the preview as sharp as the page it fills: when the page grows beyond the size the
// picture was decoded at, the file is decoded again at the new size, once the resizing has
// settled and on a worker thread, so the window never waits for it.
class PreviewRefresh : public QObject {
    Q_OBJECT

public:
    explicit PreviewRefresh(QObject* parent = nullptr);

    // The picture now shown: its file, the size it was decoded at and the picture's full size.
    // An empty path stands for no picture.
    void shown(const QString& path, QSize decoded, QSize full);
    // The size the preview is given now.
    void resized(QSize fill);

signals:
    void decoded(const QImage& picture);

private:
    void decode();

    QString path_;
    QSize decoded_, full_, fill_;
    QTimer settle_;
    // Counts the pictures shown; a decode for an earlier one is dropped.
    quint64 generation_ = 0;
};
