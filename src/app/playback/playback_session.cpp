// SPDX-License-Identifier: GPL-3.0-or-later
// Playback of the listed series. Decoding ahead and pacing live in playback/; this file hands the
// display and the list over to them while a series plays, and back after.
#include "app/playback/playback_session.h"

#include <QApplication>
#include <QEvent>
#include <QListWidget>

#include <algorithm>
#include <mutex>
#include <thread>

#include "app/library/picture_files.h"
#include "app/library/snapshot_library.h"
#include "app/playback/export_session.h"
#include "app/playback/playback_settings_dialog.h"
#include "platform/graphics/canvas.h"
#include "playback/player.h"

namespace flipbook {
namespace {

// Watches every event of the application while playback runs: a key, a click or a turn of the wheel
// stops it and goes no further, so it neither snaps nor changes the selection, the format or the
// camera, and no shortcut acts on it.
class PlaybackInterrupt : public QObject {
public:
    explicit PlaybackInterrupt(std::function<void()> stop) : stop_(std::move(stop)) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        switch (event->type()) {
            case QEvent::ShortcutOverride:
                // Claimed, so the key arrives as a plain key press below instead of as a shortcut.
                event->accept();
                return true;
            case QEvent::KeyPress:
            case QEvent::MouseButtonPress:
            case QEvent::MouseButtonDblClick:
            case QEvent::Wheel:
                stop_();
                return true;
            default:
                return QObject::eventFilter(watched, event);
        }
    }

private:
    std::function<void()> stop_;
};

bool LoadListedPicture(Bitmap& target, const std::string& path) {
    return LoadPicture(&target, path);
}

// Two decoders keep a 1080p PNG series ahead of 24 frames a second on two cores; more cores help little.
int DecodeThreads() {
    return static_cast<int>(std::clamp(std::thread::hardware_concurrency(), 2u, 4u));
}

}  // namespace

TPlaybackSession::TPlaybackSession(QWidget* dialogs, TSnapshotLibrary& library, QListWidget* list,
                                   Display display)
    : dialogs_(dialogs),
      library_(library),
      list_(list),
      display_(std::move(display)),
      interrupt_(std::make_unique<PlaybackInterrupt>([this] { Stop(); })) {
    AskExportPath = ExportPathDialog(dialogs_);
}

// The player, the last member, goes first; the interrupt, once gone, no longer filters.
TPlaybackSession::~TPlaybackSession() = default;

std::vector<std::string> TPlaybackSession::ListedPictures(int first) const {
    std::vector<std::string> pictures;
    for (int row = std::max(first, 0); row < list_->count(); ++row) pictures.push_back(library_.PathOf(row));
    return pictures;
}

void TPlaybackSession::Play(int firstRow, bool loop) {
    Start(ListedPictures(firstRow), loop, false);
}

void TPlaybackSession::PlayLast(bool loop) {
    Start(ListedPictures(list_->count() - PlaybackLastFrames), loop, true);
}

void TPlaybackSession::AskRate() {
    AskPlaybackSettings(dialogs_, PlaybackRate, PlaybackLastFrames);
}

void TPlaybackSession::Start(std::vector<std::string> pictures, bool loop, bool endOnLive) {
    Stop();
    if (pictures.empty()) return;
    DecodeAheadSettings decoding;
    decoding.threads = DecodeThreads();
    // Pictures of another size than the live picture fit into it; without a camera, into the view.
    const QSize live = LiveSize ? LiveSize() : QSize();
    const QSize fit = live.isEmpty() ? display_.view->size() : live;
    decoding.fitWidth = fit.width();
    decoding.fitHeight = fit.height();
    {
        std::lock_guard lock(display_.picture->GetCanvas());
        displayBeforePlayback_ = *display_.picture;
    }
    const PlaybackOptions options{PlaybackRate, loop, endOnLive};
    const QString playing = QStringLiteral("Playing %1 pictures at %2 fps%3: any key or click stops")
                                .arg(pictures.size())
                                .arg(options.framesPerSecond)
                                .arg(options.loop ? QStringLiteral(", looped") : QString());
    BeginMarks(list_->count() - static_cast<int>(pictures.size()));
    const std::uint64_t generation = ++generation_;
    qApp->installEventFilter(interrupt_.get());
    player_ = std::make_unique<TPlayer>(
        std::move(pictures), LoadListedPicture, options, decoding,
        [this](const Bitmap* picture) { ShowFrame(picture); },
        [this, generation] {
            // The end comes on the player's thread; the player is stopped on the window's.
            QMetaObject::invokeMethod(
                this,
                [this, generation] {
                    if (generation == generation_) Stop();
                },
                Qt::QueuedConnection);
        });
    playingStatus_ = playing;
    emit Changed();
}

void TPlaybackSession::Stop() {
    if (!player_) return;
    qApp->removeEventFilter(interrupt_.get());
    player_->Stop();
    player_.reset();
    ShowFrame(nullptr);
    EndMarks();
    playingStatus_.clear();
    emit Changed();
}

void TPlaybackSession::ShowFrame(const Bitmap* picture) {
    Bitmap& display = *display_.picture;
    {
        // The frame handler reads the flag under this lock too, so no live frame drawn after this
        // can land on the picture.
        std::lock_guard lock(display.GetCanvas());
        showsPicture_ = picture != nullptr;
        // The live view's last picture stands until its next frame; without a camera it stays.
        if (!picture) {
            display = displayBeforePlayback_;
        } else if (!picture->Empty()) {
            // A picture that could not be read leaves the one before it standing.
            display = *picture;
        }
    }
    display_.changed();
    MarkShown(picture);
}

void TPlaybackSession::BeginMarks(int firstRow) {
    firstRow_ = firstRow;
    next_ = 0;
    rowCount_ = list_->count();
    selectionBeforePlayback_ = library_.Selected();
}

void TPlaybackSession::MarkShown(const Bitmap* picture) {
    if (!picture) {
        next_ = 0;
        return;
    }
    if (PictureShown) PictureShown(*picture);
    const int row = firstRow_ + next_;
    next_ = row + 1 < rowCount_ ? next_ + 1 : 0;
    const std::uint64_t generation = generation_;
    QMetaObject::invokeMethod(
        this,
        [this, row, generation] {
            if (generation != generation_ || !Playing() || row >= list_->count()) return;
            // Marked only: the reference stays what it was.
            const auto quiet = library_.Quietly();
            list_->setCurrentRow(row);
            list_->scrollToItem(list_->item(row));
        },
        Qt::QueuedConnection);
}

void TPlaybackSession::EndMarks() {
    const auto quiet = library_.Quietly();
    if (selectionBeforePlayback_ >= 0 && selectionBeforePlayback_ < list_->count()) {
        list_->setCurrentRow(selectionBeforePlayback_);
        list_->scrollToItem(list_->item(selectionBeforePlayback_));
    } else {
        list_->clearSelection();
    }
}

void TPlaybackSession::Export() {
    Stop();
    std::vector<std::string> pictures = ListedPictures(0);
    if (pictures.empty()) return;
    ExportSeries(dialogs_, std::move(pictures), library_.Folder() + "animation.mp4", PlaybackRate,
                 AskExportPath, [this](const QString& text) { emit Said(text); });
}

}  // namespace flipbook
