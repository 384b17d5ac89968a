// SPDX-License-Identifier: GPL-3.0-or-later
// Playback and export of the listed series: items of the list's context menu after "Delete Picture",
// with keys that work anywhere on the "Record" tab. Decoding ahead and pacing live in playback/, the
// video writer in export/; this file only wires them to the window.

#include <QAction>
#include <QApplication>
#include <QEvent>
#include <QFileDialog>
#include <QListWidget>
#include <QMenu>
#include <QProgressDialog>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <optional>
#include <thread>

#include "app/fmMain.h"
#include "app/image.h"
#include "app/live_view.h"
#include "app/picture_files.h"
#include "app/playback_settings_dialog.h"
#include "app/snapshot_item.h"
#include "app/video_export_job.h"
#include "capture/sample_grabber.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/canvas.h"
#include "platform/shell/desktop.h"
#include "playback/player.h"

namespace flipbook {
namespace {

// Watches every event of the application while playback runs: a key or a click stops it and goes no
// further, so it neither snaps nor changes the selection, and no shortcut acts on it.
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

void TFormMain::CreatePlayback() {
    const auto addItem = [this](const char* name, const char* caption, QKeySequence key,
                                void (TFormMain::*handler)()) {
        QAction* item = pmSnapshots->addAction(QString::fromLatin1(caption));
        item->setObjectName(QString::fromLatin1(name));
        if (!key.isEmpty()) {
            item->setShortcut(key);
            AddRecordTabKey(item);
        }
        if (handler) connect(item, &QAction::triggered, this, handler);
        return item;
    };
    pmSnapshots->addSeparator();
    miSnapPlay = addItem("miSnapPlay", "Play", QKeySequence(Qt::Key_P), &TFormMain::miSnapPlayClick);
    miSnapPlayLast = addItem("miSnapPlayLast", "Play Last Frames", QKeySequence(Qt::Key_L),
                             &TFormMain::miSnapPlayLastClick);
    miSnapLoop = addItem("miSnapLoop", "Loop Playback", QKeySequence(Qt::Key_O), nullptr);
    miSnapLoop->setCheckable(true);
    miSnapRate = addItem("miSnapRate", "Playback Rate...", {}, &TFormMain::miSnapRateClick);
    pmSnapshots->addSeparator();
    miSnapExport = addItem("miSnapExport", "Export Video...", {}, &TFormMain::miSnapExportClick);
    // In the menu, what there is nothing to play or export for is greyed; the keys stay live and simply
    // do nothing then.
    connect(pmSnapshots, &QMenu::aboutToShow, this, [this] {
        const bool listed = lbSnapshots->count() > 0;
        for (QAction* item : {miSnapPlay, miSnapPlayLast, miSnapExport}) item->setEnabled(listed);
    });
    connect(pmSnapshots, &QMenu::aboutToHide, this, [this] {
        for (QAction* item : {miSnapPlay, miSnapPlayLast, miSnapExport}) item->setEnabled(true);
    });

    displayBeforePlayback_ = std::make_unique<Bitmap>();
    playbackInterrupt_ = std::make_unique<PlaybackInterrupt>([this] { StopPlayback(); });
    AskExportPath = [this](const std::string& suggestion) {
        return QFileDialog::getSaveFileName(
                   this, QStringLiteral("Export Video"), QString::fromStdString(suggestion),
                   QStringLiteral("MP4 video, H.264 (*.mp4);;WebM video, VP9 (*.webm)"))
            .toStdString();
    };
}

std::vector<std::string> TFormMain::ListedPictures(int first) const {
    std::vector<std::string> pictures;
    for (int row = std::max(first, 0); row < lbSnapshots->count(); ++row)
        pictures.push_back(snapshotDir_ + SnapshotFileName(*lbSnapshots->item(row)));
    return pictures;
}

void TFormMain::miSnapPlayClick() {
    StartPlayback(ListedPictures(SelectedSnapshot()), false);
}

void TFormMain::miSnapPlayLastClick() {
    StartPlayback(ListedPictures(lbSnapshots->count() - PlaybackLastFrames), true);
}

void TFormMain::miSnapRateClick() {
    AskPlaybackSettings(this, PlaybackRate, PlaybackLastFrames);
}

void TFormMain::StartPlayback(std::vector<std::string> pictures, bool endOnLive) {
    StopPlayback();
    if (pictures.empty()) return;
    DecodeAheadSettings decoding;
    decoding.threads = DecodeThreads();
    // Pictures of another size than the live picture fit into it; without a camera, into the view.
    const auto frame = WithPictures([this](Bitmap&, Bitmap&) {
        return liveFrameState_ == LiveFrameState::None ? std::nullopt : fwSampleGrabber->FrameHeader();
    });
    const bool sized = frame && frame->width > 0 && frame->height != 0;
    decoding.fitWidth = sized ? frame->width : imGrabSample->width();
    decoding.fitHeight = sized ? std::abs(frame->height) : imGrabSample->height();
    {
        Bitmap& display = imGrabSample->Picture();
        std::lock_guard lock(display.GetCanvas());
        *displayBeforePlayback_ = display;
    }
    const PlaybackOptions options{PlaybackRate, miSnapLoop->isChecked(), endOnLive};
    statusBeforePlayback_ = StatusText();
    SetStatusText(QStringLiteral("Playing %1 pictures at %2 fps%3: any key or click stops")
                      .arg(pictures.size())
                      .arg(options.framesPerSecond)
                      .arg(options.loop ? QStringLiteral(", looped") : QString()));
    BeginPlaybackMarks(lbSnapshots->count() - static_cast<int>(pictures.size()));
    const std::uint64_t generation = ++playbackGeneration_;
    qApp->installEventFilter(playbackInterrupt_.get());
    player_ = std::make_unique<TPlayer>(
        std::move(pictures), LoadListedPicture, options, decoding,
        [this](const Bitmap* picture) { PlaybackFrame(picture); },
        [this, generation] {
            // The end comes on the player's thread; the player is stopped on the window's.
            QMetaObject::invokeMethod(
                this,
                [this, generation] {
                    if (generation == playbackGeneration_) StopPlayback();
                },
                Qt::QueuedConnection);
        });
}

void TFormMain::StopPlayback() {
    if (!player_) return;
    qApp->removeEventFilter(playbackInterrupt_.get());
    player_->Stop();
    player_.reset();
    PlaybackFrame(nullptr);
    EndPlaybackMarks();
    SetStatusText(statusBeforePlayback_);
}

void TFormMain::PlaybackFrame(const Bitmap* picture) {
    Bitmap& display = imGrabSample->Picture();
    {
        std::lock_guard lock(display.GetCanvas());
        playbackShowsPicture_ = picture != nullptr;
        // The live view's last picture stands until its next frame; without a camera it stays.
        if (!picture) {
            display = *displayBeforePlayback_;
        } else if (!picture->Empty()) {
            // A picture that could not be read leaves the one before it standing.
            display = *picture;
        }
    }
    imGrabSample->PictureChanged();
    PlaybackShown(picture);
}

void TFormMain::miSnapExportClick() {
    StopPlayback();
    SeriesExport job;
    job.pictures = ListedPictures(0);
    if (job.pictures.empty()) return;
    std::string output = AskExportPath(snapshotDir_ + "animation.mp4");
    if (output.empty()) return;
    const std::string extension = UpperCaseExtension(output);
    if (extension != ".MP4" && extension != ".WEBM") output += ".mp4";
    job.output = output;
    job.framesPerSecond = PlaybackRate;
    job.load = LoadListedPicture;

    QProgressDialog progress(
        QStringLiteral("Writing %1...").arg(QString::fromStdString(job.output.filename().string())),
        QStringLiteral("Cancel"), 0, static_cast<int>(job.pictures.size()), this);
    progress.setObjectName(QStringLiteral("dlgExportVideo"));
    progress.setWindowTitle(QStringLiteral("Export Video"));
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(0);
    progress.setAutoClose(false);
    progress.setAutoReset(false);
    QString failure;
    TVideoExportJob running(std::move(job));
    connect(&running, &TVideoExportJob::Progress, &progress, &QProgressDialog::setValue);
    connect(&progress, &QProgressDialog::canceled, &running, &TVideoExportJob::Cancel);
    connect(&running, &TVideoExportJob::Finished, &progress,
            [&progress, &failure](bool, const QString& error) {
                failure = error;
                progress.accept();
            });
    running.Start();
    progress.exec();
    if (!failure.isEmpty()) TheDesktop().ShowError(failure.toStdString());
}

}  // namespace flipbook
