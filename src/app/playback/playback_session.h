// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <QObject>
#include <QSize>
#include <QString>

#include "platform/graphics/bitmap.h"

class QListWidget;
class QWidget;

namespace flipbook {

class TPlayer;
class TSnapshotLibrary;

// Playback and export of the listed series: the player and its decoding ahead, the display handed
// over to the series and back to the live view, the list's marks while it plays, the key or click
// that stops it, the rate settings and the export job. It writes no status text: it tells of a play's
// start and end through Changed, with the words for it in PlayingStatus, and says what an export did
// through Said.
class TPlaybackSession : public QObject {
    Q_OBJECT

public:
    // The picture box the series is shown in: the widget (whose size pictures fit without a camera),
    // its picture, written under the picture's canvas lock, and the call that repaints it.
    struct Display {
        QWidget* view = nullptr;
        Bitmap* picture = nullptr;
        std::function<void()> changed;
    };

    // dialogs: the parent of the rate, export and progress dialogs. The library's listed pictures are
    // the series; its list's rows are marked as they play.
    TPlaybackSession(QWidget* dialogs, TSnapshotLibrary& library, QListWidget* list, Display display);
    // Stops the player first, before anything it draws into goes.
    ~TPlaybackSession() override;
    TPlaybackSession(const TPlaybackSession&) = delete;
    TPlaybackSession& operator=(const TPlaybackSession&) = delete;

    // Frames a second (1 to 30), and how many pictures "Play Last Frames" plays.
    int PlaybackRate = 12;
    int PlaybackLastFrames = 10;
    // Asks where to write the exported video, starting from the suggested path; "" when cancelled.
    // A file dialog unless tests replace it.
    std::function<std::string(const std::string& suggestion)> AskExportPath;

    // The live picture's size, which the series' pictures are fitted into; empty without frames.
    std::function<QSize()> LiveSize;
    // On the player's thread, with each picture of the series as it is shown (the shooting view
    // draws it while open).
    std::function<void(const Bitmap& picture)> PictureShown;

    // True from the start of a playback until it ends or is stopped and the live view is back.
    bool Playing() const { return player_ != nullptr; }
    // What plays, in the status bar's words, while it plays; else empty.
    const QString& PlayingStatus() const { return playingStatus_; }
    // While true a picture of the series is shown and the live view leaves the display alone. Any
    // thread may ask; the frame handler asks again under the display picture's canvas lock.
    bool ShowsPicture() const { return showsPicture_.load(); }

    // "Play": the listed pictures from the row given (the first for -1) on.
    void Play(int firstRow, bool loop);
    // "Play Last Frames": the last PlaybackLastFrames listed pictures, then the live picture.
    void PlayLast(bool loop);
    // Stops a play and gives the display back to the live view; nothing when none plays.
    void Stop();
    // "Playback Rate...".
    void AskRate();
    // "Export Video...": the listed pictures as a video at the rate, to a file the user names.
    void Export();

signals:
    // What just happened, in the status bar's words.
    void Said(const QString& text);
    // A play started or ended: PlayingStatus changed.
    void Changed();

private:
    // The listed pictures from the row given to the last, as paths.
    std::vector<std::string> ListedPictures(int first) const;
    void Start(std::vector<std::string> pictures, bool loop, bool endOnLive);
    // On the player's thread: shows the picture, or gives the display back to the live view (null).
    void ShowFrame(const Bitmap* picture);
    // The list follows the series as it plays: from the row of its first picture, each shown picture
    // is marked; when it stops, the selection before it comes back.
    void BeginMarks(int firstRow);
    void MarkShown(const Bitmap* picture);
    void EndMarks();

    QWidget* dialogs_;
    TSnapshotLibrary& library_;
    QListWidget* list_;
    Display display_;
    // Catches any key or click while playing: it stops playback and goes no further.
    std::unique_ptr<QObject> interrupt_;
    std::atomic<bool> showsPicture_{false};
    QString playingStatus_;
    // The display as the live view left it, shown again when playback hands back to the live view.
    Bitmap displayBeforePlayback_;
    // Tells the end of one play from the end of the next.
    std::uint64_t generation_ = 0;
    int firstRow_ = 0;
    int rowCount_ = 0;
    int next_ = 0;  // on the player's thread
    int selectionBeforePlayback_ = -1;

    // Last, so it is stopped first, before anything it draws into goes.
    std::unique_ptr<TPlayer> player_;
};

}  // namespace flipbook
