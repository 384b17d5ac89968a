// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>

#include <QImage>
#include <QWidget>

#include "platform/graphics/bitmap.h"

namespace flipbook {

// The image control: shows its Bitmap stretched to the control's full size. The Bitmap may be
// written on another thread under its canvas lock; painting takes the same lock.
class TImage : public QWidget {
    Q_OBJECT

public:
    explicit TImage(QWidget* parent = nullptr);

    // The shown picture. Write it under Picture().GetCanvas()'s lock, then call PictureChanged().
    Bitmap& Picture() { return picture_; }
    // Asks for a repaint; safe from any thread, and many calls before the repaint make one.
    void PictureChanged();

signals:
    // Emitted by PictureChanged() from any thread; answered on the window's thread with a repaint.
    void RepaintRequested();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Bitmap picture_;
    // The picture as last painted, at the control's size in device pixels.
    QImage shown_;
    std::atomic<bool> repaintPending_{false};
};

}  // namespace flipbook
