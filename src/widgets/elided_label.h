// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QLabel>
#include <QString>

namespace flipbook {

// A one-line label that shows as much of its text as fits, cutting in the middle: a long folder path
// keeps its start and the folder's own name at its end. The whole text is its tooltip.
class TElidedLabel : public QLabel {
public:
    explicit TElidedLabel(QWidget* parent = nullptr) : QLabel(parent) {}

    const QString& FullText() const { return fullText_; }
    void SetFullText(const QString& text);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void Elide();

    QString fullText_;
};

}  // namespace flipbook
