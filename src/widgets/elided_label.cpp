// SPDX-License-Identifier: GPL-3.0-or-later
#include "widgets/elided_label.h"

#include <QResizeEvent>

namespace flipbook {

void TElidedLabel::SetFullText(const QString& text) {
    fullText_ = text;
    setToolTip(text);
    Elide();
}

void TElidedLabel::resizeEvent(QResizeEvent* event) {
    QLabel::resizeEvent(event);
    Elide();
}

void TElidedLabel::Elide() {
    const int room = contentsRect().width() - 2 * margin();
    // Before the first layout the label has no width yet; it elides once it has one.
    setText(room > 0 ? fontMetrics().elidedText(fullText_, Qt::ElideMiddle, room) : fullText_);
}

}  // namespace flipbook
