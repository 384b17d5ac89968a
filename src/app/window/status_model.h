// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>

#include <QObject>
#include <QString>
#include <QTimer>

namespace flipbook {

// What the status bar shows: a message saying what just happened while it is new, else the present
// state of the window's capabilities in words (a lost camera, a running time-lapse, the folder). A
// message gives way a few seconds after it was said, or at once when the state changes; a failure
// stays until the state changes or something newer is said, since a picture not saved must not go
// unread. Nothing else writes the status bar, so it never shows a state that is over.
class TStatusModel : public QObject {
    Q_OBJECT

public:
    enum class Kind { Message, Failure };

    // present: the present state in words, asked whenever the text is worked out again.
    TStatusModel(std::function<QString()> present, QObject* parent);

    void Say(const QString& text, Kind kind = Kind::Message);
    // A state that the status shows changed (a camera lost or back, a folder chosen, playback or a
    // time-lapse started or ended): a message said before gives way to the present state.
    void StateChanged();
    // The present state's words changed without a new state (a countdown ticked).
    void Update();

    QString Text() const { return text_; }
    // True while a message (rather than the present state) shows.
    bool Telling() const { return telling_; }
    // Counts the messages said, so a view opened later tells which were said since.
    std::uint64_t Serial() const { return serial_; }

    // How long a message stays; tests shorten it.
    static inline std::chrono::milliseconds MessageLife{8000};

signals:
    void TextChanged(const QString& text);

private:
    void Show(const QString& text);

    std::function<QString()> present_;
    QString text_;
    bool telling_ = false;
    std::uint64_t serial_ = 0;
    QTimer life_;
};

}  // namespace flipbook
