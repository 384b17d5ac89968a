// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/window/image.h"

#include <mutex>

#include <QImage>
#include <QPainter>

#include "effects/area_stretch.h"
#include "platform/graphics/canvas.h"

namespace flipbook {
namespace {

// The Bitmap as a top-down RGB image; 24-bit rows are copied as they are, other formats pixel by pixel.
QImage ToImage(const Bitmap& bitmap) {
    QImage image(bitmap.Width(), bitmap.Height(), QImage::Format_BGR888);
    const auto rowBytes = static_cast<std::size_t>(bitmap.Width()) * 3;
    for (int row = 0; row < bitmap.Height(); ++row) {
        std::uint8_t* target = image.scanLine(row);
        if (bitmap.BitsPerPixel() == 24) {
            std::copy_n(bitmap.ScanLine(row), rowBytes, target);
            continue;
        }
        for (int column = 0; column < bitmap.Width(); ++column) {
            const Rgb color = bitmap.PixelColor(column, row);
            *target++ = color.blue;
            *target++ = color.green;
            *target++ = color.red;
        }
    }
    return image;
}

}  // namespace

TImage::TImage(QWidget* parent) : QWidget(parent) {
    // Connected once, here on the window's thread, so a request from the streaming thread only queues a
    // call and builds nothing of ours there.
    connect(
        this, &TImage::RepaintRequested, this,
        [this] {
            repaintPending_ = false;
            update();
        },
        Qt::QueuedConnection);
}

void TImage::PictureChanged() {
    if (repaintPending_.exchange(true)) return;
    emit RepaintRequested();
}

void TImage::paintEvent(QPaintEvent* /*event*/) {
    // Stretched here, once a paint, into a picture of the control's own pixels: handing Qt a 4K frame
    // to scale would make it convert and read the whole frame again, and only a mean over each
    // pixel's area keeps the fine detail of a large picture from shimmering at this size.
    const QSize size = (QSizeF(this->size()) * devicePixelRatioF()).toSize();
    if (shown_.size() != size) shown_ = QImage(size, QImage::Format_BGR888);
    QImage image;
    {
        std::lock_guard lock(picture_.GetCanvas());
        if (picture_.Empty()) return;
        if (!size.isEmpty() &&
            StretchArea(picture_, shown_.bits(), static_cast<std::size_t>(shown_.bytesPerLine()),
                        size.width(), size.height()))
            image = shown_;
        else
            image = ToImage(picture_);
    }
    QPainter painter(this);
    painter.drawImage(rect(), image);
}

}  // namespace flipbook
