// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/shooting/shooting_view.h"

#include <QCloseEvent>
#include <QFontInfo>
#include <QKeyEvent>
#include <QPainter>
#include <QScreen>
#include <QTimer>
#include <QVariantAnimation>

#include <algorithm>

#include "capture/sample_grabber.h"
#include "platform/graphics/bitmap.h"

namespace flipbook {
namespace {

constexpr int kStatusShownMilliseconds = 2000;
constexpr int kStatusFadeMilliseconds = 600;

// The status text as lines for the width: its fields in order, as many on a line as fit; a field too
// long for a line of its own (a long folder path) gives up its middle, keeping its start and its end.
QStringList StatusLines(const QString& text, const QFontMetrics& metrics, int width) {
    const QString separator = QString::fromUtf8(TShootingView::kFieldSeparator);
    QStringList lines;
    QString line;
    for (QString field : text.split(separator)) {
        if (metrics.horizontalAdvance(field) > width)
            field = metrics.elidedText(field, Qt::ElideMiddle, width);
        const QString joined = line.isEmpty() ? field : line + separator + field;
        if (!line.isEmpty() && metrics.horizontalAdvance(joined) > width) {
            lines << line;
            line = field;
        } else {
            line = joined;
        }
    }
    if (!line.isEmpty()) lines << line;
    return lines;
}

}  // namespace

TShootingView::TShootingView(QWidget* owner) : QWidget(owner, Qt::Window | Qt::FramelessWindowHint) {
    setObjectName(QStringLiteral("fmShooting"));
    setWindowTitle(QStringLiteral("Shooting"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    setCursor(Qt::BlankCursor);
    setFocusPolicy(Qt::StrongFocus);
    fadeDelay_ = new QTimer(this);
    fadeDelay_->setSingleShot(true);
    fadeDelay_->setInterval(kStatusShownMilliseconds);
    fade_ = new QVariantAnimation(this);
    fade_->setStartValue(1.0);
    fade_->setEndValue(0.0);
    fade_->setDuration(kStatusFadeMilliseconds);
    connect(fadeDelay_, &QTimer::timeout, fade_, [this] {
        if (!StatusLinePinned || !StatusLinePinned()) fade_->start();
    });
    connect(fade_, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) {
        statusOpacity_ = value.toDouble();
        update();
    });
    // Connected here, on the window's thread, so frames from other threads only queue a repaint.
    connect(this, &TShootingView::RepaintRequested, this, qOverload<>(&QWidget::update),
            Qt::QueuedConnection);
}

TShootingView::~TShootingView() = default;

void TShootingView::Open(QScreen* screen) {
    const QSize size = screen ? screen->geometry().size() * screen->devicePixelRatio() : QSize(1280, 720);
    {
        std::lock_guard lock(renderLock_);
        if (screen_.size() != size) {
            screen_ = QImage(size, QImage::Format_RGB32);
            screen_.fill(Qt::black);
        }
        chosenLook_ = ScreenLook::Mix;
        open_ = true;
    }
    if (screen) setGeometry(screen->geometry());
    showFullScreen();
    raise();
    activateWindow();
    setFocus();
    ShowStatusLine();
}

bool TShootingView::IsOpen() const {
    std::lock_guard lock(renderLock_);
    return open_;
}

void TShootingView::DrawFrame(const Bitmap& live, const Bitmap& reference, std::uint64_t referenceVersion,
                              TOnionSkin onion) {
    {
        std::lock_guard lock(renderLock_);
        options_.look = chosenLook_ == ScreenLook::Mix && !onion.on ? ScreenLook::Live : chosenLook_;
        options_.weight = onion.position;
        Render(live, reference, referenceVersion, options_);
    }
    emit RepaintRequested();
}

void TShootingView::DrawPicture(const Bitmap& picture) {
    if (picture.Empty()) return;
    {
        std::lock_guard lock(renderLock_);
        ScreenOptions options = options_;
        options.look = ScreenLook::Live;
        // Playback hands over pictures already decoded to 24 bits and fitted to the live picture's size.
        Render(picture, Bitmap(), 0, options);
    }
    emit RepaintRequested();
}

void TShootingView::Render(const Bitmap& live, const Bitmap& reference, std::uint64_t referenceVersion,
                           const ScreenOptions& options) {
    if (!open_ || screen_.isNull()) return;
    auto* pixels = reinterpret_cast<std::uint32_t*>(screen_.bits());
    frame_.Render(
        live, reference, referenceVersion, options,
        {pixels, screen_.width(), screen_.height(), static_cast<std::size_t>(screen_.bytesPerLine()) / 4});
}

QImage TShootingView::ScreenPicture() const {
    std::lock_guard lock(renderLock_);
    return screen_.copy();
}

ScreenOptions TShootingView::Options() const {
    std::lock_guard lock(renderLock_);
    return options_;
}

void TShootingView::SetLook(ScreenLook look) {
    {
        std::lock_guard lock(renderLock_);
        chosenLook_ = look;
    }
    emit LookChanged();
}

void TShootingView::keyPressEvent(QKeyEvent* event) {
    ShowStatusLine();
    const ScreenLook look = [this] {
        std::lock_guard lock(renderLock_);
        return chosenLook_;
    }();
    // T compares with the reference until pressed again or any other key; D stays until pressed again.
    if (look == ScreenLook::Reference && event->key() != Qt::Key_T) SetLook(ScreenLook::Mix);
    const auto toggle = [this](bool ScreenOptions::*option) {
        {
            std::lock_guard lock(renderLock_);
            options_.*option = !(options_.*option);
        }
        emit LookChanged();
    };
    // Undo and redo hold Ctrl, so Z and Y stay free for keys of their own.
    const Qt::KeyboardModifiers modifiers =
        event->modifiers() & (Qt::ControlModifier | Qt::ShiftModifier | Qt::AltModifier | Qt::MetaModifier);
    if (modifiers == Qt::ControlModifier && event->key() == Qt::Key_Z) {
        emit UndoRequested();
        event->accept();
        return;
    }
    if ((modifiers == (Qt::ControlModifier | Qt::ShiftModifier) && event->key() == Qt::Key_Z) ||
        (modifiers == Qt::ControlModifier && event->key() == Qt::Key_Y)) {
        emit RedoRequested();
        event->accept();
        return;
    }
    switch (event->key()) {
        case Qt::Key_Escape:
        case Qt::Key_F:
            close();
            break;
        case Qt::Key_Space:
        case Qt::Key_Return:
        case Qt::Key_Enter:
            if (!event->isAutoRepeat()) emit SnapRequested();
            break;
        case Qt::Key_Up:
        case Qt::Key_Plus:
            emit WeightStepRequested(5);
            break;
        case Qt::Key_Down:
        case Qt::Key_Minus:
            emit WeightStepRequested(-5);
            break;
        case Qt::Key_PageUp:
            emit ReferenceStepRequested(-1);
            break;
        case Qt::Key_PageDown:
            emit ReferenceStepRequested(1);
            break;
        case Qt::Key_P:
            emit PlayRequested();
            break;
        case Qt::Key_L:
            emit PlayLastRequested();
            break;
        case Qt::Key_O:
            emit LoopRequested();
            break;
        case Qt::Key_I:
            emit TimeLapseRequested();
            break;
        case Qt::Key_A:
            emit AverageStepRequested();
            break;
        case Qt::Key_K:
            emit LockRequested();
            break;
        case Qt::Key_T:
            SetLook(look == ScreenLook::Reference ? ScreenLook::Mix : ScreenLook::Reference);
            break;
        case Qt::Key_D:
            SetLook(look == ScreenLook::Difference ? ScreenLook::Mix : ScreenLook::Difference);
            break;
        case Qt::Key_G:
            toggle(&ScreenOptions::grid);
            break;
        case Qt::Key_M:
            toggle(&ScreenOptions::mirrored);
            break;
        default:
            QWidget::keyPressEvent(event);
            return;
    }
    event->accept();
}

void TShootingView::closeEvent(QCloseEvent* event) {
    {
        std::lock_guard lock(renderLock_);
        open_ = false;
    }
    fadeDelay_->stop();
    fade_->stop();
    QWidget::closeEvent(event);
    emit Closed();
}

void TShootingView::ShowStatusLine() {
    fade_->stop();
    statusOpacity_ = 1.0;
    fadeDelay_->start();
    update();
}

QFont TShootingView::StatusFont() const {
    QFont status = font();
    status.setPixelSize(std::max(QFontInfo(font()).pixelSize(), (height() * 25 + 999) / 1000));
    return status;
}

void TShootingView::DrawBanner(QPainter& painter, const QRect& band, const QString& text, int flags,
                               double opacity) {
    painter.setOpacity(opacity * 0.7);
    painter.fillRect(band, Qt::black);
    painter.setOpacity(opacity);
    const int margin = QFontMetrics(painter.font()).height();
    const QRect inside = band.adjusted(margin, 0, -margin, 0);
    // A shadow under the letters keeps them apart from a bright picture showing through the band.
    painter.setPen(Qt::black);
    painter.drawText(inside.translated(2, 2), flags, text);
    painter.setPen(Qt::white);
    painter.drawText(inside, flags, text);
}

void TShootingView::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    ScreenLook look = ScreenLook::Mix;
    {
        std::lock_guard lock(renderLock_);
        painter.drawImage(rect(), screen_);
        look = chosenLook_;
    }
    painter.setFont(StatusFont());
    const int lineHeight = painter.fontMetrics().height();
    const int padding = lineHeight / 4;
    const QStringList lines = StatusLine
                                  ? StatusLines(StatusLine(), painter.fontMetrics(), width() - 2 * lineHeight)
                                  : QStringList();
    const int statusHeight = lines.isEmpty() ? 0 : static_cast<int>(lines.size()) * lineHeight + 2 * padding;
    // Without the mix the picture may not move at all; the view says what it shows, or it would pass
    // for a camera that froze. Above the status line, where the eye looks for what the view says; it
    // never fades.
    lookBanner_ = {};
    if (look == ScreenLook::Reference || look == ScreenLook::Difference) {
        const QString word =
            look == ScreenLook::Reference ? QStringLiteral("Reference") : QStringLiteral("Difference");
        const int bannerHeight = lineHeight + 2 * padding;
        lookBanner_ = QRect(0, height() - statusHeight - bannerHeight,
                            painter.fontMetrics().horizontalAdvance(word) + 2 * lineHeight, bannerHeight);
        DrawBanner(painter, lookBanner_, word, Qt::AlignCenter, 1.0);
    }
    if (statusOpacity_ <= 0 || lines.isEmpty()) return;
    DrawBanner(painter, QRect(0, height() - statusHeight, width(), statusHeight),
               lines.join(QLatin1Char('\n')), Qt::AlignVCenter | Qt::AlignLeft, statusOpacity_);
}

void DrawShootingFrame(TSampleGrabber& grabber, Bitmap& liveFrame, const Bitmap& reference,
                       std::mutex& picturesLock, const std::atomic<std::uint64_t>& referenceVersion,
                       TOnionSkin onion, TShootingView& view) {
    try {
        std::lock_guard lock(picturesLock);
        grabber.GetBitmap(liveFrame);
        // Read under the lock that every change of the reference takes.
        view.DrawFrame(liveFrame, reference, referenceVersion.load(), onion);
    } catch (...) {
        // As in the tab's frame handler: this frame is lost, the next one comes soon.
    }
}

}  // namespace flipbook
