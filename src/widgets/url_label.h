// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <memory>
#include <optional>

#include <QColor>
#include <QLabel>
#include <QString>

class QTimer;

namespace flipbook {

// A label that behaves like a link: it shows its caption (or its address when the caption is
// empty), turns to the highlight colour while the pointer is over it, shows the hand cursor, and on a
// click opens its address in the desktop's default browser, with the default beep when that fails.
class TUrlLabel : public QLabel {
    Q_OBJECT

public:
    // The longest address handed to the desktop; longer ones are cut.
    static constexpr int kMaxUrlLength = 1023;

    explicit TUrlLabel(QWidget* parent = nullptr);
    ~TUrlLabel() override;

    const QString& Caption() const { return caption_; }
    void SetCaption(const QString& caption);
    const QString& URL() const { return url_; }
    void SetURL(const QString& url);

    // An invalid colour stands for the font's current colour. Both setters forget the colour that the
    // label returns to after a hover, so the next hover takes the font's colour of that moment.
    QColor HighlightColor() const { return highlightColor_; }
    void SetHighlightColor(const QColor& color);
    QColor VisitedColor() const { return visitedColor_; }
    void SetVisitedColor(const QColor& color);
    bool UseVisitedColor() const { return useVisitedColor_; }
    void SetUseVisitedColor(bool use) { useVisitedColor_ = use; }
    // The underline style of the label's font.
    bool UnderlineURL() const { return font().underline(); }
    void SetUnderlineURL(bool underline);
    // Whether the label sizes itself to its text (on by default, as for an ordinary label).
    bool AutoSize() const { return autoSize_; }
    void SetAutoSize(bool autoSize);

    // The font colour the label shows now.
    QColor FontColor() const;
    void SetFontColor(const QColor& color);
    // True while the hover timer runs.
    bool Highlighted() const { return hoverTimer_ != nullptr; }

    // Opens the address, then runs the ordinary click handling.
    void Click();

    // The ordinary label events.
    std::function<void()> OnClick;
    // After the beep, when the desktop could not open the address (no web browser), with the address.
    std::function<void(const QString& address)> OnOpenFailed;
    std::function<void(QMouseEvent*)> OnMouseMove;

protected:
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void HoverTimerTick();
    void ShowText();
    QColor OrFontColor(const QColor& color) const;

    QString caption_;
    QString url_;
    QColor highlightColor_{Qt::red};
    QColor visitedColor_{Qt::black};
    bool useVisitedColor_ = false;
    bool autoSize_ = true;
    bool pressed_ = false;
    std::optional<QColor> normalColor_;
    std::unique_ptr<QTimer> hoverTimer_;
};

}  // namespace flipbook
