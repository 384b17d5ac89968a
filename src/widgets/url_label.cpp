// SPDX-License-Identifier: GPL-3.0-or-later
#include "widgets/url_label.h"

#include <QCursor>
#include <QMouseEvent>
#include <QTimer>

#include "platform/shell/desktop.h"

namespace flipbook {
namespace {

constexpr int kHoverCheckMilliseconds = 100;

// The first `count` code points of the text, never cutting a surrogate pair.
QString LeftCodePoints(const QString& text, int count) {
    qsizetype units = 0;
    for (int codePoints = 0; codePoints < count && units < text.size(); ++codePoints) {
        units += text.at(units).isHighSurrogate() && units + 1 < text.size() ? 2 : 1;
    }
    return text.left(units);
}

}  // namespace

TUrlLabel::TUrlLabel(QWidget* parent) : QLabel(parent) {
    setCursor(Qt::PointingHandCursor);
    setMouseTracking(true);
    SetUnderlineURL(true);
}

TUrlLabel::~TUrlLabel() = default;

void TUrlLabel::SetCaption(const QString& caption) {
    caption_ = caption;
    ShowText();
}

void TUrlLabel::SetURL(const QString& url) {
    url_ = url;
    ShowText();
}

void TUrlLabel::ShowText() {
    setText(caption_.isEmpty() ? url_ : caption_);
    if (autoSize_) adjustSize();
}

void TUrlLabel::SetAutoSize(bool autoSize) {
    autoSize_ = autoSize;
    if (autoSize_) adjustSize();
}

QColor TUrlLabel::OrFontColor(const QColor& color) const {
    return color.isValid() ? color : FontColor();
}

void TUrlLabel::SetHighlightColor(const QColor& color) {
    highlightColor_ = OrFontColor(color);
    normalColor_.reset();
}

void TUrlLabel::SetVisitedColor(const QColor& color) {
    visitedColor_ = OrFontColor(color);
    normalColor_.reset();
}

void TUrlLabel::SetUnderlineURL(bool underline) {
    QFont labelFont = font();
    labelFont.setUnderline(underline);
    setFont(labelFont);
}

QColor TUrlLabel::FontColor() const {
    return palette().color(QPalette::WindowText);
}

void TUrlLabel::SetFontColor(const QColor& color) {
    QPalette labelPalette = palette();
    labelPalette.setColor(QPalette::WindowText, color);
    setPalette(labelPalette);
}

void TUrlLabel::mouseMoveEvent(QMouseEvent* event) {
    QLabel::mouseMoveEvent(event);
    if (OnMouseMove) OnMouseMove(event);
    if (!rect().contains(event->position().toPoint()) || hoverTimer_) return;
    if (!normalColor_) normalColor_ = FontColor();
    SetFontColor(highlightColor_);
    // No leave message is relied on: the timer looks where the pointer is until it has gone.
    hoverTimer_ = std::make_unique<QTimer>(this);
    hoverTimer_->setInterval(kHoverCheckMilliseconds);
    connect(hoverTimer_.get(), &QTimer::timeout, this, &TUrlLabel::HoverTimerTick);
    hoverTimer_->start();
}

void TUrlLabel::HoverTimerTick() {
    if (rect().contains(mapFromGlobal(QCursor::pos()))) return;
    hoverTimer_.reset();
    if (normalColor_) SetFontColor(*normalColor_);
    update();
}

void TUrlLabel::mousePressEvent(QMouseEvent* event) {
    QLabel::mousePressEvent(event);
    pressed_ = event->button() == Qt::LeftButton;
}

void TUrlLabel::mouseReleaseEvent(QMouseEvent* event) {
    QLabel::mouseReleaseEvent(event);
    const bool clicked =
        pressed_ && event->button() == Qt::LeftButton && rect().contains(event->position().toPoint());
    pressed_ = false;
    if (clicked) Click();
}

void TUrlLabel::Click() {
    if (!url_.isEmpty()) {
        const QString address = LeftCodePoints(url_, kMaxUrlLength);
        if (!TheDesktop().OpenUrl(address.toStdString())) {
            TheDesktop().Beep();
            if (OnOpenFailed) OnOpenFailed(address);
        }
    }
    if (OnClick) OnClick();
    if (useVisitedColor_) normalColor_ = visitedColor_;
}

}  // namespace flipbook
