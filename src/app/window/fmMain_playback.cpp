// SPDX-License-Identifier: GPL-3.0-or-later
// Playback and export of the listed series: items of the list's context menu after "Delete Picture",
// with keys that work anywhere on the "Record" tab. The work is the playback session's (app/playback);
// this file only wires it to the window.

#include <QAction>
#include <QListWidget>
#include <QMenu>

#include <cstdlib>
#include <optional>

#include "app/camera/live_view.h"
#include "app/library/snapshot_library.h"
#include "app/playback/playback_session.h"
#include "app/shooting/shooting_view.h"
#include "app/window/fmMain.h"
#include "app/window/image.h"
#include "capture/sample_grabber.h"
#include "platform/graphics/bitmap.h"

namespace flipbook {

void TFormMain::CreatePlaybackItems() {
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
}

void TFormMain::CreatePlayback() {
    playback_ = std::make_unique<TPlaybackSession>(
        this, *library_, lbSnapshots,
        TPlaybackSession::Display{imGrabSample, &imGrabSample->Picture(),
                                  [this] { imGrabSample->PictureChanged(); }});
    playback_->LiveSize = [this] {
        const auto frame = WithPictures([this](Bitmap&, Bitmap&) {
            return liveFrameState_ == LiveFrameState::None ? std::nullopt : fwSampleGrabber->FrameHeader();
        });
        if (!frame || frame->width <= 0 || frame->height == 0) return QSize();
        return QSize(frame->width, std::abs(frame->height));
    };
    playback_->PictureShown = [this](const Bitmap& picture) {
        if (fmShooting->IsOpen()) fmShooting->DrawPicture(picture);
    };
    connect(playback_.get(), &TPlaybackSession::Said, this, &TFormMain::SetStatusText);
    connect(playback_.get(), &TPlaybackSession::Changed, this, &TFormMain::StatusStateChanged);
}

bool TFormMain::Playing() const {
    return playback_->Playing();
}

void TFormMain::miSnapPlayClick() {
    playback_->Play(SelectedSnapshot(), miSnapLoop->isChecked());
}

void TFormMain::miSnapPlayLastClick() {
    playback_->PlayLast(miSnapLoop->isChecked());
}

void TFormMain::miSnapRateClick() {
    playback_->AskRate();
}

void TFormMain::miSnapExportClick() {
    playback_->Export();
}

}  // namespace flipbook
