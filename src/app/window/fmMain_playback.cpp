// SPDX-License-Identifier: GPL-3.0-or-later
// Playback and export of the listed series: items of the list's context menu after "Delete Picture",
// with keys that work anywhere on the "Record" tab. Decoding ahead and pacing live in playback/, the
// video writer in export/; this file only wires them to the window.

#include <QAction>
#include <QApplication>
#include <QEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QProgressDialog>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <optional>
#include <thread>

#include "app/camera/live_view.h"
#include "app/library/picture_files.h"
#include "app/library/snapshot_item.h"
#include "app/library/snapshot_library.h"
#include "app/playback/playback_settings_dialog.h"
#include "app/playback/video_export_job.h"
#include "app/shooting/time_lapse.h"
#include "app/window/fmMain.h"
#include "app/window/image.h"
#include "capture/sample_grabber.h"
#include "export/video_writer.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/canvas.h"
#include "platform/shell/desktop.h"
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

// The save dialog of "Export Video...": the chosen filter's ending is added to a name typed without
// one before the dialog asks about replacing a file, so it asks about the file really written; a name
// with an ending no video can have is said, in the dialog, and never changed. Qt's own dialog, since
// a desktop's dialog asks about replacing before it adds the ending.
class VideoPathDialog : public QFileDialog {
public:
    VideoPathDialog(QWidget* parent, const QString& suggestion)
        : QFileDialog(parent, QStringLiteral("Export Video"), QFileInfo(suggestion).path()) {
        setObjectName(QStringLiteral("dlgExportPath"));
        setOption(QFileDialog::DontUseNativeDialog);
        setAcceptMode(QFileDialog::AcceptSave);
        setFileMode(QFileDialog::AnyFile);
        setNameFilters({kMp4Filter, kWebMFilter});
        setDefaultSuffix(QStringLiteral("mp4"));
        connect(this, &QFileDialog::filterSelected, this, [this](const QString& filter) {
            setDefaultSuffix(filter == kWebMFilter ? QStringLiteral("webm") : QStringLiteral("mp4"));
        });
        selectFile(QFileInfo(suggestion).fileName());
    }

    void accept() override {
        const QStringList chosen = selectedFiles();
        if (!chosen.isEmpty() && !QFileInfo(chosen.front()).isDir()) {
            const QString ending = QFileInfo(chosen.front()).suffix().toLower();
            if (ending != QStringLiteral("mp4") && ending != QStringLiteral("webm")) {
                QMessageBox::warning(this, windowTitle(),
                                     QStringLiteral("A video can be written only as .mp4 (H.264) or .webm "
                                                    "(VP9), not as %1.")
                                         .arg(QFileInfo(chosen.front()).fileName()));
                return;
            }
        }
        QFileDialog::accept();
    }

private:
    static inline const QString kMp4Filter = QStringLiteral("MP4 video, H.264 (*.mp4)");
    static inline const QString kWebMFilter = QStringLiteral("WebM video, VP9 (*.webm)");
};

// "2.5 s", "1 min 4.0 s": a video's length from its frames and rate.
QString VideoLength(std::size_t frames, int framesPerSecond) {
    const double seconds = static_cast<double>(frames) / std::max(framesPerSecond, 1);
    if (seconds < 60) return QStringLiteral("%1 s").arg(seconds, 0, 'f', 1);
    const int minutes = static_cast<int>(seconds / 60);
    return QStringLiteral("%1 min %2 s").arg(minutes).arg(seconds - minutes * 60, 0, 'f', 1);
}

QString FileNameOf(const std::string& path) {
    return QFile::decodeName(QByteArray::fromStdString(std::filesystem::path(path).filename().string()));
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
    connect(miSnapLoop, &QAction::toggled, this,
            [this](bool on) { SetStatusText(on ? QStringLiteral("Loop on") : QStringLiteral("Loop off")); });
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
        VideoPathDialog dialog(this, QFile::decodeName(QByteArray::fromStdString(suggestion)));
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::string();
        return QFile::encodeName(dialog.selectedFiles().front()).toStdString();
    };
}

std::vector<std::string> TFormMain::ListedPictures(int first) const {
    std::vector<std::string> pictures;
    for (int row = std::max(first, 0); row < lbSnapshots->count(); ++row)
        pictures.push_back(library_->PathOf(row));
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
    playingStatus_ = QStringLiteral("Playing %1 pictures at %2 fps%3: any key or click stops")
                         .arg(pictures.size())
                         .arg(options.framesPerSecond)
                         .arg(options.loop ? QStringLiteral(", looped") : QString());
    StatusStateChanged();
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
    // Whatever was said during the play is over with it: the status says the present state.
    playingStatus_.clear();
    StatusStateChanged();
}

void TFormMain::PlaybackFrame(const Bitmap* picture) {
    Bitmap& display = imGrabSample->Picture();
    {
        // The frame handler reads the flag under this lock too, so no live frame drawn after this
        // can land on the picture.
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
    const std::string output = AskExportPath(library_->Folder() + "animation.mp4");
    if (output.empty()) return;
    // The dialog settles the ending; a name with another is said, never changed into another file.
    try {
        VideoFormatOf(output);
    } catch (const EExportError& error) {
        TheDesktop().ShowError(error.what());
        return;
    }
    job.output = output;
    job.framesPerSecond = PlaybackRate;
    job.load = LoadListedPicture;
    const std::size_t frames = job.pictures.size();

    QProgressDialog progress(QStringLiteral("Writing %1...").arg(FileNameOf(output)),
                             QStringLiteral("Cancel"), 0, static_cast<int>(frames), this);
    progress.setObjectName(QStringLiteral("dlgExportVideo"));
    progress.setWindowTitle(QStringLiteral("Export Video"));
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(0);
    progress.setAutoClose(false);
    progress.setAutoReset(false);
    QString failure;
    bool written = false;
    std::optional<bool> holding;  // the answer, asked once for the whole export
    std::vector<std::string> held;
    TVideoExportJob running(std::move(job));
    running.AskHoldUnreadable = [&](const std::string& picture) {
        if (!holding) {
            holding = TheDesktop().Ask(
                "Export Video",
                FileNameOf(picture).toStdString() +
                    " cannot be read. Go on with the picture before it held in its place, for this and "
                    "any other picture that cannot be read? No ends the export.");
        }
        if (*holding) held.push_back(picture);
        return *holding;
    };
    connect(&running, &TVideoExportJob::Progress, &progress, &QProgressDialog::setValue);
    connect(&progress, &QProgressDialog::canceled, &running, &TVideoExportJob::Cancel);
    connect(&running, &TVideoExportJob::Finished, &progress,
            [&progress, &failure, &written](bool done, const QString& error) {
                written = done;
                failure = error;
                progress.accept();
            });
    running.Start();
    progress.exec();
    if (!failure.isEmpty()) {
        TheDesktop().ShowError(failure.toStdString());
        return;
    }
    if (!written) return;
    const QString where = QFile::decodeName(QByteArray::fromStdString(output));
    SetStatusText(QStringLiteral("Exported %1 pictures, %2 at %3 fps%4, to %5")
                      .arg(frames)
                      .arg(VideoLength(frames, PlaybackRate))
                      .arg(PlaybackRate)
                      .arg(held.empty() ? QString() : QStringLiteral(" (%1 held)").arg(held.size()))
                      .arg(where));
    if (held.empty()) return;
    std::string list;
    for (const std::string& picture : held) {
        list += '\n';
        list += FileNameOf(picture).toStdString();
    }
    TheDesktop().ShowError("The video " + output + " was written, but " + std::to_string(held.size()) +
                           (held.size() == 1 ? " picture" : " pictures") +
                           " could not be read; the picture before each stands in its place:" + list);
}

}  // namespace flipbook
