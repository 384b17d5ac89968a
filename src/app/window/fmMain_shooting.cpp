// SPDX-License-Identifier: GPL-3.0-or-later
// The full-screen shooting view and time-lapse, wired to the "Record" tab: F (or a double-click on the
// live picture) opens the view, I starts and stops a time-lapse, "Time-Lapse..." in the list's context
// menu sets it. Both take pictures with the window's own Snap.

#include <QAction>
#include <QCheckBox>
#include <QEvent>
#include <QGroupBox>
#include <QListWidget>
#include <QMenu>
#include <QSlider>
#include <QTimer>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "app/camera/frame_averaging.h"
#include "app/library/snapshot_library.h"
#include "app/library/snapshot_saving.h"
#include "app/playback/playback_session.h"
#include "app/shooting/shooting_view.h"
#include "app/shooting/time_lapse.h"
#include "app/window/fmMain.h"
#include "app/window/image.h"
#include "app/window/status_model.h"
#include "capture/sample_grabber.h"
#include "platform/graphics/bitmap.h"
#include "platform/shell/desktop.h"

namespace flipbook {
namespace {

// Opens the shooting view on a double-click of the live picture.
class DoubleClickOpener : public QObject {
public:
    DoubleClickOpener(QObject* parent, std::function<void()> open)
        : QObject(parent), open_(std::move(open)) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::MouseButtonDblClick) return QObject::eventFilter(watched, event);
        open_();
        return true;
    }

private:
    std::function<void()> open_;
};

}  // namespace

void TFormMain::CreateShooting() {
    fmShooting = new TShootingView(this);
    fmShooting->StatusLine = [this] { return ShootingStatusLine(); };
    fmShooting->StatusLinePinned = [this] { return TimeLapse->Running(); };
    connect(fmShooting, &TShootingView::SnapRequested, this, &TFormMain::ShootingSnap);
    connect(fmShooting, &TShootingView::WeightStepRequested, this,
            [this](int step) { tbGrabOnion->setValue(tbGrabOnion->value() + step); });
    connect(fmShooting, &TShootingView::ReferenceStepRequested, this, &TFormMain::StepReference);
    connect(fmShooting, &TShootingView::PlayRequested, miSnapPlay, &QAction::trigger);
    connect(fmShooting, &TShootingView::PlayLastRequested, miSnapPlayLast, &QAction::trigger);
    connect(fmShooting, &TShootingView::LoopRequested, miSnapLoop, &QAction::trigger);
    connect(fmShooting, &TShootingView::TimeLapseRequested, this, &TFormMain::ToggleTimeLapse);
    connect(fmShooting, &TShootingView::LookChanged, this, &TFormMain::RedrawShootingView);
    connect(fmShooting, &TShootingView::Closed, this, [this] {
        activateWindow();
        imGrabSample->PictureChanged();
    });
    // The onion skin's older layers are the pictures before the reference in the list: before the
    // selected entry, or before the end while the reference is a Snap not yet listed. They follow the
    // list and the selection once these settle (an entry is added, then selected), but not the marks
    // of a playing series, which leave the reference alone.
    auto* followLayers = new QTimer(this);
    followLayers->setSingleShot(true);
    followLayers->setInterval(0);
    connect(followLayers, &QTimer::timeout, this, [this] {
        if (Playing()) return;
        const int reference = SelectedSnapshot() >= 0 ? SelectedSnapshot() : lbSnapshots->count();
        std::vector<std::string> older;
        for (int row = reference - 1; row >= 0 && row >= reference - 4; --row)
            older.push_back(library_->PathOf(row));
        fmShooting->SetOlderPictures(std::move(older));
    });
    const auto follow = [followLayers] { followLayers->start(); };
    connect(lbSnapshots->model(), &QAbstractItemModel::rowsInserted, followLayers, follow);
    connect(lbSnapshots->model(), &QAbstractItemModel::rowsRemoved, followLayers, follow);
    connect(lbSnapshots->model(), &QAbstractItemModel::modelReset, followLayers, follow);
    connect(lbSnapshots->model(), &QAbstractItemModel::layoutChanged, followLayers, follow);
    connect(lbSnapshots, &QListWidget::itemSelectionChanged, followLayers, follow);

    TimeLapse = new TTimeLapse(this);
    TimeLapse->TakePicture = [this] { return TakeTimeLapsePicture(); };
    connect(TimeLapse, &TTimeLapse::StatusChanged, this, [this] {
        status_->Update();
        fmShooting->ShowStatusLine();
    });
    connect(TimeLapse, &TTimeLapse::Stopped, this, [this](const QString& text) {
        StatusStateChanged();
        SetStatusText(text);
        fmShooting->ShowStatusLine();
    });

    const auto addKey = [this](const char* name, Qt::Key key, void (TFormMain::*handler)()) {
        auto* action = new QAction(this);
        action->setObjectName(QString::fromLatin1(name));
        action->setShortcut(QKeySequence(key));
        AddRecordTabKey(action);
        connect(action, &QAction::triggered, this, handler);
        return action;
    };
    acShootingView = addKey("acShootingView", Qt::Key_F, &TFormMain::OpenShootingView);
    acTimeLapse = addKey("acTimeLapse", Qt::Key_I, &TFormMain::ToggleTimeLapse);
    imGrabSample->installEventFilter(new DoubleClickOpener(this, [this] { OpenShootingView(); }));

    miSnapTimeLapse = new QAction(QStringLiteral("Time-Lapse..."), this);
    miSnapTimeLapse->setObjectName(QStringLiteral("miSnapTimeLapse"));
    pmSnapshots->insertAction(miSnapExport, miSnapTimeLapse);
    connect(miSnapTimeLapse, &QAction::triggered, this,
            [this] { AskTimeLapseSettings(this, TimeLapse->IntervalSeconds, TimeLapse->Count); });
}

void TFormMain::OpenShootingView() {
    if (!gbGrabVideo->isEnabled()) return;
    {
        // The tab's frame handler copies no frame, so what the live frame holds may be from the view's
        // last opening: it shows the frame the grabber keeps instead, at once, even without a camera.
        std::lock_guard lock(picturesLock_);
        if (liveFrameState_ == LiveFrameState::None || !fwSampleGrabber->GetBitmap(*liveFrame_))
            liveFrame_->Clear();
    }
    // The view's status line shows what the tab said before it opened no more.
    fmShooting->MessagesBeforeOpening = status_->Serial();
    fmShooting->Open(screen());
    RedrawShootingView();
}

void TFormMain::ShootingSnap() {
    // The folder chooser must not open behind the view.
    if (library_->FolderExists()) {
        btGrabSnapClick();
        return;
    }
    fmShooting->hide();
    btGrabSnapClick();
    fmShooting->Open(screen());
}

void TFormMain::StepReference(int step) {
    if (lbSnapshots->count() == 0) return;
    const int row = SelectedSnapshot() < 0 ? lbSnapshots->count() : SelectedSnapshot();
    lbSnapshots->setCurrentRow(std::clamp(row + step, 0, lbSnapshots->count() - 1));
    RedrawShootingView();
}

void TFormMain::RedrawShootingView() {
    // Without frames (a lost camera) a key still shows at once; while a picture of a series shows, it
    // stays.
    if (playback_->ShowsPicture() || !fmShooting->IsOpen()) return;
    std::lock_guard lock(picturesLock_);
    if (liveFrame_->Empty()) return;
    fmShooting->DrawFrame(*liveFrame_, pickedReference_, referenceVersion_.load(),
                          {onionSkinOn_.load(), onionSkinPosition_.load()});
}

void TFormMain::ToggleTimeLapse() {
    if (TimeLapse->Running()) {
        TimeLapse->Stop(QStringLiteral("stopped by the I key"));
    } else if (CameraLost()) {
        // A series that cannot take its first picture is not started, nor said to have stopped.
        SetStatusText(QStringLiteral("Time-lapse not started: %1").arg(camera_->Problem()));
        TheDesktop().Beep();
    } else if (gbGrabVideo->isEnabled()) {
        // What was said before the series gives way to its countdown.
        StatusStateChanged();
        TimeLapse->Start();
    }
}

QString TFormMain::TakeTimeLapsePicture() {
    if (CameraLost()) return camera_->Problem();
    if (TimeLapse->Taken() > 0 && !library_->FolderExists())
        return QStringLiteral("the folder %1 is gone").arg(QString::fromStdString(library_->Folder()));
    if (library_->SavingFull()) return library_->SavingIsBehindText();
    if (averaging_->Gathering()) return QStringLiteral("the last picture's frames are still being averaged");
    playback_->Stop();
    const int pending = library_->PendingSaves();
    if (fmShooting->IsOpen()) {
        ShootingSnap();
    } else {
        btGrabSnapClick();
    }
    if (library_->PendingSaves() == pending && !averaging_->Gathering())
        return QStringLiteral("no picture was taken");
    return {};
}

QString TFormMain::ShootingStatusLine() const {
    QStringList fields;
    // The status bar is hidden behind the view, so what it said since the view opened shows here (a
    // picture not saved, why a time-lapse stopped), and a lost camera always.
    const QString status = StatusText();
    const QString problem = camera_->Problem();
    if (CameraLost()) fields << problem;
    if (status_->Telling() && status_->Serial() != fmShooting->MessagesBeforeOpening && !status.isEmpty() &&
        status != problem && !TimeLapse->Running())
        fields << status;
    fields << (library_->Folder().empty() ? QStringLiteral("no folder yet")
                                          : QString::fromStdString(library_->Folder()));
    const int selected = SelectedSnapshot();
    if (lbSnapshots->count() > 0)
        fields << QStringLiteral("last %1").arg(lbSnapshots->item(lbSnapshots->count() - 1)->text());
    fields << (lbSnapshots->count() == 1 ? QStringLiteral("1 picture")
                                         : QStringLiteral("%1 pictures").arg(lbSnapshots->count()));
    if (selected >= 0) fields << QStringLiteral("reference %1").arg(lbSnapshots->item(selected)->text());
    const int laid = fmShooting->LaidPictures();
    fields << (ckGrabOnion->isChecked()
                   ? QStringLiteral("Onion skin: %1 %2, %3 %")
                         .arg(laid)
                         .arg(laid == 1 ? QStringLiteral("picture") : QStringLiteral("pictures"))
                         .arg(tbGrabOnion->value())
                   : QStringLiteral("Onion skin off"));
    if (fmShooting->LockStatus) fields << fmShooting->LockStatus();
    if (AverageFrames() > 1) fields << QStringLiteral("average of %1 frames").arg(AverageFrames());
    if (TimeLapse->Running()) fields << TimeLapse->StatusText();
    return fields.join(QString::fromUtf8(TShootingView::kFieldSeparator));
}

}  // namespace flipbook
