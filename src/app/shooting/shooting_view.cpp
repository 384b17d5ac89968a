// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/shooting/shooting_view.h"

#include <QCloseEvent>
#include <QFontInfo>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>
#include <QTimer>
#include <QVariantAnimation>

#include <algorithm>

#include "app/shooting/onion_pictures.h"
#include "capture/sample_grabber.h"
#include "effects/layers.h"
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
    // The focus check follows the mouse, which no button need hold.
    setMouseTracking(true);
    onionPictures_ = std::make_unique<TOnionPictures>([this] { emit OlderPicturesDecoded(); });
    connect(this, &TShootingView::OlderPicturesDecoded, this, &TShootingView::LookChanged,
            Qt::QueuedConnection);
}

TShootingView::~TShootingView() {
    // Its thread may be reporting to this view.
    onionPictures_.reset();
}

void TShootingView::Open(QScreen* screen) {
    const QSize size = screen ? screen->geometry().size() * screen->devicePixelRatio() : QSize(1280, 720);
    {
        std::lock_guard lock(renderLock_);
        if (screen_.size() != size) {
            screen_ = QImage(size, QImage::Format_RGB32);
            screen_.fill(Qt::black);
        }
        chosenLook_ = ScreenLook::Mix;
        zoomed_ = false;
        open_ = true;
    }
    pointerMoved_ = false;
    WantOlderPictures();
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
        if (options_.clipping && open_ && live.BitsPerPixel() == 24) {
            histogram_ = MeasureHistogram(
                FrameRows{live.Pixels(), live.Width(), live.Height(), live.RowStride(), live.TopDown()});
        }
        Render(live, reference, referenceVersion, options_, true);
    }
    emit RepaintRequested();
}

void TShootingView::DrawPicture(const Bitmap& picture) {
    if (picture.Empty()) return;
    {
        std::lock_guard lock(renderLock_);
        ScreenOptions options = options_;
        options.look = ScreenLook::Live;
        // The checks look at the camera's picture, not at the series.
        options.clipping = false;
        // Playback hands over pictures already decoded to 24 bits and fitted to the live picture's size.
        Render(picture, Bitmap(), 0, options, false);
    }
    emit RepaintRequested();
}

void TShootingView::Render(const Bitmap& live, const Bitmap& reference, std::uint64_t referenceVersion,
                           const ScreenOptions& options, bool liveFrame) {
    if (!open_ || screen_.isNull()) return;
    auto* pixels = reinterpret_cast<std::uint32_t*>(screen_.bits());
    const ScreenImage screen{pixels, screen_.width(), screen_.height(),
                             static_cast<std::size_t>(screen_.bytesPerLine()) / 4};
    zoomedPicture_ = {};
    if (zoomed_ && liveFrame) {
        zoomedPart_ = frame_.RenderZoomed(live, pointerX_, pointerY_, options, screen);
        zoomedPicture_ = QSize(live.Width(), live.Height());
        return;
    }
    // The older pictures as decoded last; a set in the making shows what it has.
    const std::shared_ptr<const TOnionPictures::Set> older = onionPictures_->Current();
    std::array<OnionLayer, kMostOnionPictures - 1> layers{};
    const std::size_t count = std::min(older->size(), layers.size());
    for (std::size_t index = 0; index < count; ++index)
        layers[index] = {(*older)[index].bitmap.get(), (*older)[index].id};
    frame_.Render(live, reference, referenceVersion, options, screen, std::span(layers.data(), count));
}

void TShootingView::SetOlderPictures(std::vector<std::string> paths) {
    if (paths.size() > kMostOnionPictures - 1) paths.resize(kMostOnionPictures - 1);
    if (paths == olderPaths_) return;
    olderPaths_ = std::move(paths);
    WantOlderPictures();
}

void TShootingView::WantOlderPictures() {
    if (!IsOpen()) return;
    const auto wanted = static_cast<std::size_t>(std::max(Options().layers - 1, 0));
    onionPictures_->Want({olderPaths_.begin(), olderPaths_.begin() + static_cast<std::ptrdiff_t>(std::min(
                                                                         wanted, olderPaths_.size()))});
}

int TShootingView::LaidPictures() const {
    return std::min(Options().layers, 1 + static_cast<int>(olderPaths_.size()));
}

std::optional<PixelArea> TShootingView::ZoomedPart() const {
    std::lock_guard lock(renderLock_);
    if (!zoomed_ || zoomedPicture_.isEmpty()) return std::nullopt;
    return zoomedPart_;
}

std::optional<Histogram> TShootingView::ShownHistogram() const {
    std::lock_guard lock(renderLock_);
    return options_.clipping ? histogram_ : std::nullopt;
}

void TShootingView::SetLayers(int layers) {
    {
        std::lock_guard lock(renderLock_);
        options_.layers = std::clamp(layers, 1, kMostOnionPictures);
    }
    WantOlderPictures();
    emit LookChanged();
}

void TShootingView::SetZoomed(bool zoomed) {
    {
        std::lock_guard lock(renderLock_);
        zoomed_ = zoomed;
        if (zoomed && !pointerMoved_) {
            pointerX_ = screen_.width() / 2;
            pointerY_ = screen_.height() / 2;
        }
    }
    emit LookChanged();
}

void TShootingView::mouseMoveEvent(QMouseEvent* event) {
    const QPointF at = event->position() * devicePixelRatioF();
    bool zoomed = false;
    {
        std::lock_guard lock(renderLock_);
        pointerX_ = static_cast<int>(at.x());
        pointerY_ = static_cast<int>(at.y());
        zoomed = zoomed_;
    }
    pointerMoved_ = true;
    if (zoomed) emit LookChanged();
    QWidget::mouseMoveEvent(event);
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
    const bool zoomed = [this] {
        std::lock_guard lock(renderLock_);
        return zoomed_;
    }();
    // With Ctrl, Alt or Meta, Z and the digits are not the view's own keys.
    const bool plain = !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier));
    switch (event->key()) {
        case Qt::Key_Escape:
            // Esc first leaves the focus check, then the view.
            if (zoomed) {
                SetZoomed(false);
            } else {
                close();
            }
            break;
        case Qt::Key_F:
            close();
            break;
        case Qt::Key_Z:
            if (!plain) {
                QWidget::keyPressEvent(event);
                return;
            }
            SetZoomed(!zoomed);
            break;
        case Qt::Key_H: {
            std::lock_guard lock(renderLock_);
            options_.clipping = !options_.clipping;
            histogram_.reset();
        }
            emit LookChanged();
            break;
        case Qt::Key_1:
        case Qt::Key_2:
        case Qt::Key_3:
        case Qt::Key_4:
        case Qt::Key_5:
            if (!plain) {
                QWidget::keyPressEvent(event);
                return;
            }
            SetLayers(event->key() - Qt::Key_0);
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
    std::optional<Histogram> histogram;
    QSize zoomedPicture;
    PixelArea zoomedPart;
    {
        std::lock_guard lock(renderLock_);
        painter.drawImage(rect(), screen_);
        look = chosenLook_;
        if (options_.clipping) histogram = histogram_;
        if (zoomed_) {
            zoomedPicture = zoomedPicture_;
            zoomedPart = zoomedPart_;
        }
    }
    histogramBox_ = {};
    if (histogram) DrawHistogram(painter, *histogram);
    if (!zoomedPicture.isEmpty()) DrawZoomFrame(painter, zoomedPicture, zoomedPart);
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

void TShootingView::DrawHistogram(QPainter& painter, const Histogram& histogram) {
    // Twice as wide as high, a sixth of the view's height, at the top right clear of the edge.
    const int boxHeight = std::max(height() / 6, 96);
    const int margin = boxHeight / 8;
    histogramBox_ = QRect(width() - 2 * boxHeight - margin, margin, 2 * boxHeight, boxHeight);
    const QRect plot = histogramBox_.adjusted(margin / 2, margin / 2, -margin / 2, -margin / 2);
    painter.save();
    painter.setOpacity(0.75);
    painter.fillRect(histogramBox_, Qt::black);
    painter.setOpacity(1.0);
    painter.setRenderHint(QPainter::Antialiasing);
    // Scaled to the tallest level but the two ends, where the clipped pixels pile up and would flatten
    // the rest; the ends are cut at the top.
    std::uint32_t tallest = 1;
    for (const auto* levels : {&histogram.luma, &histogram.red, &histogram.green, &histogram.blue})
        for (std::size_t level = 1; level < 255; ++level) tallest = std::max(tallest, (*levels)[level]);
    const auto curve = [&](const std::array<std::uint32_t, 256>& levels) {
        QPainterPath path(QPointF(plot.left(), plot.bottom()));
        for (std::size_t level = 0; level < 256; ++level) {
            const double share = std::min(1.0, static_cast<double>(levels[level]) / tallest);
            path.lineTo(plot.left() + plot.width() * (level + 0.5) / 256.0,
                        plot.bottom() - share * plot.height());
        }
        path.lineTo(plot.right(), plot.bottom());
        return path;
    };
    painter.fillPath(curve(histogram.luma), QColor(220, 220, 220, 160));
    for (const auto& [levels, colour] :
         {std::pair{&histogram.red, QColor(255, 64, 64)}, std::pair{&histogram.green, QColor(64, 224, 64)},
          std::pair{&histogram.blue, QColor(96, 128, 255)}}) {
        painter.setPen(QPen(colour, 1.5));
        painter.drawPath(curve(*levels));
    }
    // How much is clipped, in words the animator can compare from shot to shot.
    const double clipped = histogram.sampled ? 100.0 * histogram.Clipped() / histogram.sampled : 0.0;
    QFont small = painter.font();
    small.setPixelSize(std::max(10, boxHeight / 9));
    painter.setFont(small);
    painter.setPen(Qt::white);
    painter.drawText(plot, Qt::AlignTop | Qt::AlignLeft,
                     QStringLiteral("clipped %1 %").arg(clipped, 0, 'f', clipped < 10 ? 1 : 0));
    painter.restore();
}

void TShootingView::DrawZoomFrame(QPainter& painter, QSize picture, PixelArea part) {
    // The whole picture as a small outline at the top left, the part shown filled inside it.
    const int frameWidth = std::max(width() / 8, 64);
    const int frameHeight = std::max(1, frameWidth * picture.height() / std::max(picture.width(), 1));
    const int margin = std::max(height() / 48, 8);
    const QRect whole(margin, margin, frameWidth, frameHeight);
    const QRectF shown(whole.left() + static_cast<double>(part.left) * frameWidth / picture.width(),
                       whole.top() + static_cast<double>(part.top) * frameHeight / picture.height(),
                       static_cast<double>(part.width) * frameWidth / picture.width(),
                       static_cast<double>(part.height) * frameHeight / picture.height());
    painter.save();
    painter.setOpacity(0.6);
    painter.fillRect(whole, Qt::black);
    painter.setOpacity(1.0);
    painter.fillRect(shown, QColor(255, 255, 255, 110));
    painter.setPen(QPen(Qt::black, 3));
    painter.drawRect(whole);
    painter.setPen(QPen(Qt::white, 1));
    painter.drawRect(whole);
    painter.drawRect(shown);
    painter.restore();
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
