// SPDX-License-Identifier: GPL-3.0-or-later
// "Average Frames": Snap takes the mean of that many consecutive frames (the live picture's context
// menu, A in the shooting view). The frames are summed on the streaming thread by the camera room's
// TFrameAveraging; the mean comes back here and is snapped as a live frame would be.
#include <QAction>
#include <QActionGroup>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QMenu>
#include <QTimer>

#include "app/camera/frame_averaging.h"
#include "app/camera/live_view.h"
#include "app/library/snapshot_library.h"
#include "app/shooting/shooting_view.h"
#include "app/window/fmMain.h"
#include "platform/graphics/bitmap.h"
#include "platform/shell/desktop.h"

namespace flipbook {
namespace {

QString ChoiceText(int frames) {
    return frames == 1 ? QStringLiteral("1 frame (off)") : QStringLiteral("%1 frames").arg(frames);
}

}  // namespace

void TFormMain::CreateAveraging() {
    averaging_ = std::make_unique<TFrameAveraging>();
    pmAverageFrames = pmGrabSample->addMenu(QStringLiteral("Average Frames"));
    pmAverageFrames->setObjectName(QStringLiteral("pmAverageFrames"));
    auto* group = new QActionGroup(pmAverageFrames);
    for (const int frames : TFrameAveraging::kChoices) {
        QAction* item = pmAverageFrames->addAction(ChoiceText(frames));
        item->setObjectName(QStringLiteral("miAverage%1").arg(frames));
        item->setCheckable(true);
        item->setChecked(frames == averaging_->Frames());
        group->addAction(item);
        connect(item, &QAction::triggered, this, [this, frames] { SetAverageFrames(frames); });
    }
    connect(fmShooting, &TShootingView::AverageStepRequested, this, [this] {
        SetAverageFrames(averaging_->NextChoice());
        fmShooting->ShowStatusLine();
    });
}

int TFormMain::AverageFrames() const {
    return averaging_->Frames();
}

void TFormMain::SetAverageFrames(int frames) {
    averaging_->SetFrames(frames);
    const QString name = QStringLiteral("miAverage%1").arg(averaging_->Frames());
    for (QAction* item : pmAverageFrames->actions()) item->setChecked(item->objectName() == name);
    SetStatusText(averaging_->Frames() == 1
                      ? QStringLiteral("Snap takes one frame")
                      : QStringLiteral("Snap takes the average of %1 frames").arg(averaging_->Frames()));
}

void TFormMain::BeginAveragedSnap(const std::string& path) {
    const int frames = averaging_->Frames();
    const bool begun = averaging_->Begin([this, path](Bitmap mean) {
        // On the streaming thread: the rest is the window's, on its own thread (dropped if it is gone).
        QMetaObject::invokeMethod(
            this, [this, path, mean = std::move(mean)]() mutable { AveragedSnapDone(path, std::move(mean)); },
            Qt::QueuedConnection);
    });
    if (!begun) {
        SayFailure(QStringLiteral("Nothing was taken: the last picture's frames are still being averaged"));
        TheDesktop().Beep();
        return;
    }
    SetStatusText(QStringLiteral("Averaging %1 frames…").arg(frames));
}

void TFormMain::AveragedSnapDone(const std::string& path, Bitmap mean) {
    // The mean becomes the reference at once, as a snapped frame does, and is saved from its memory.
    Bitmap picture;
    WithPictures([&](Bitmap&, Bitmap& reference) {
        ReplaceReference(reference, liveFrameState_, std::move(mean));
        picture.Share(reference);
        pickedReference_.Share(reference);
    });
    StatusStateChanged();
    library_->Save(picture, path);
}

void TFormMain::FinishAveraging() {
    // A Snap whose frames are still coming is a picture taken: the window waits for them (a few
    // frames' time), unless the camera has stopped giving any.
    if (!averaging_->Gathering()) return;
    QEventLoop loop;
    QTimer poll;
    QElapsedTimer waited;
    waited.start();
    connect(&poll, &QTimer::timeout, &loop, [&] {
        if (!averaging_->Gathering() || CameraLost() || waited.elapsed() > 5000) loop.quit();
    });
    poll.start(20);
    loop.exec();
    AbandonAveraging(QStringLiteral("the window closed before its frames came"));
    // The mean's way back to this thread, queued, is taken before the saves are waited for.
    QCoreApplication::sendPostedEvents(this);
}

void TFormMain::AbandonAveraging(const QString& why) {
    if (averaging_->Abandon()) {
        SayFailure(QStringLiteral("Nothing was saved: %1").arg(why));
        TheDesktop().Beep();
    }
}

}  // namespace flipbook
