#include "Preview.h"

#include <QFile>
#include <QFutureWatcher>
#include <QImageReader>
#include <QtConcurrent>

#include <csetjmp>
#include <cstdio>

#include <jpeglib.h>

namespace {

struct JpegError {
    jpeg_error_mgr manager;
    std::jmp_buf escape;
};

void leave(j_common_ptr info) {
    std::longjmp(reinterpret_cast<JpegError*>(info->err)->escape, 1);
}

// libjpeg reports through longjmp: nothing with a destructor may live between setjmp and the
// calls that can fail, so the result is written into `out` only at the end.
bool decodeJpeg(const QByteArray& bytes, QSize fill, QImage& out, QSize& fullSize) {
    jpeg_decompress_struct info{};
    JpegError error{};
    info.err = jpeg_std_error(&error.manager);
    error.manager.error_exit = leave;
    error.manager.output_message = [](j_common_ptr) {};
    QImage* image = new QImage;
    if (setjmp(error.escape)) {
        jpeg_destroy_decompress(&info);
        delete image;
        return false;
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, reinterpret_cast<const unsigned char*>(bytes.constData()),
                 static_cast<unsigned long>(bytes.size()));
    jpeg_read_header(&info, TRUE);
    fullSize = QSize(int(info.image_width), int(info.image_height));
    info.out_color_space = JCS_RGB;
    // The smallest of 1/8 … 8/8 whose result still covers the preview in one direction.
    info.scale_denom = 8;
    for (info.scale_num = 1; info.scale_num < 8; ++info.scale_num) {
        jpeg_calc_output_dimensions(&info);
        if (int(info.output_width) >= fill.width() || int(info.output_height) >= fill.height())
            break;
    }
    jpeg_start_decompress(&info);
    *image = QImage(int(info.output_width), int(info.output_height), QImage::Format_RGB888);
    if (image->isNull()) // larger than memory allows
        leave(reinterpret_cast<j_common_ptr>(&info));
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = image->scanLine(int(info.output_scanline));
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    out = std::move(*image);
    delete image;
    return true;
}

} // namespace

QImage LoadPreview(const QString& path, QSize fill, QSize& fullSize) {
    fullSize = QSize(0, 0);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray head = file.peek(3);
    if (head.startsWith("\xFF\xD8\xFF")) {
        const QByteArray bytes = file.readAll();
        QImage image;
        if (decodeJpeg(bytes, fill, image, fullSize))
            return image;
        fullSize = QSize(0, 0);
    }
    file.close();
    QImageReader reader(path);
    QImage image = reader.read();
    if (image.isNull())
        return {};
    fullSize = image.size();
    return image.convertToFormat(QImage::Format_RGB888);
}

PreviewRefresh::PreviewRefresh(QObject* parent) : QObject(parent) {
    settle_.setSingleShot(true);
    settle_.setInterval(300);
    connect(&settle_, &QTimer::timeout, this, &PreviewRefresh::decode);
}

void PreviewRefresh::shown(const QString& path, QSize decoded, QSize full) {
    ++generation_;
    settle_.stop();
    path_ = path;
    decoded_ = decoded;
    full_ = full;
}

void PreviewRefresh::resized(QSize fill) {
    fill_ = fill;
    // Shown larger than decoded, while the file holds more pixels than were decoded.
    const bool enlarged = decoded_.scaled(fill, Qt::KeepAspectRatio).width() > decoded_.width();
    if (!path_.isEmpty() && !decoded_.isEmpty() && enlarged && decoded_.width() < full_.width())
        settle_.start();
}

void PreviewRefresh::decode() {
    auto* watcher = new QFutureWatcher<QImage>(this);
    const quint64 generation = generation_;
    connect(watcher, &QFutureWatcher<QImage>::finished, this, [this, watcher, generation] {
        const QImage picture = watcher->result();
        watcher->deleteLater();
        if (generation != generation_ || picture.isNull())
            return; // another picture came meanwhile, or the file is gone
        shown(path_, picture.size(), full_);
        emit decoded(picture);
        resized(fill_); // the page may have grown further meanwhile
    });
    watcher->setFuture(QtConcurrent::run([path = path_, fill = fill_] {
        QSize full;
        return LoadPreview(path, fill, full);
    }));
}
