// SPDX-License-Identifier: GPL-3.0-or-later
// The camera as the window offers it: the camera session wired to the device box, the capture graph,
// the status bar and the time-lapse, and the live picture's context menu with "Lock Camera" (also K on
// the "Record" tab and in the shooting view), "Camera Settings..." and "Camera Mode". The session keeps
// the camera's state; this file only wires it to the window.

#include <QAction>
#include <QComboBox>
#include <QGroupBox>
#include <QMenu>
#include <QWidget>

#include "app/camera/camera_session.h"
#include "app/shooting/shooting_view.h"
#include "app/shooting/time_lapse.h"
#include "app/window/fmMain.h"
#include "app/window/image.h"

namespace flipbook {

void TFormMain::CreateCameraSession() {
    TCameraSession::Hooks hooks;
    hooks.fillDevices = [this](const std::vector<std::string>& names) { FillVideoDevices(names); };
    hooks.shown = [this] { return shown_; };
    hooks.welcomeFirstCamera = [this] {
        if (gbGrabVideo->isEnabled()) return false;
        // The first camera of a start without any: the "Record" tab comes to life with it.
        gbGrabVideo->setEnabled(true);
        gbGrabPictures->setEnabled(true);
        StatusStateChanged();
        return true;
    };
    hooks.framesEnded = [this] {
        WithPictures([this](Bitmap&, Bitmap&) { liveFrameState_ = LiveFrameState::None; });
    };
    camera_ = std::make_unique<TCameraSession>(
        this, cbVideoDevices, TCameraSession::Graph{fwFilterGraph, fwFilterSource, fwSampleGrabber},
        std::move(hooks));
    connect(camera_.get(), &TCameraSession::Changed, this, &TFormMain::StatusStateChanged);
    connect(camera_.get(), &TCameraSession::LockChanged, this,
            [this](bool locked) { miCameraLock->setChecked(locked); });
    connect(camera_.get(), &TCameraSession::Said, this, &TFormMain::SetStatusText);
    connect(camera_.get(), &TCameraSession::Lost, this, &TFormMain::CameraWasLost);
    connect(camera_.get(), &TCameraSession::Selecting, this, [this] {
        AbandonAveraging(QStringLiteral("the camera changed while its frames were averaged"));
        TimeLapse->CameraBack();
    });
}

void TFormMain::CameraWasLost(const QString& problem) {
    AbandonAveraging(problem);
    TimeLapse->CameraLost(problem);
}

void TFormMain::CreateCameraMenu() {
    pmGrabSample = new QMenu(this);
    pmGrabSample->setObjectName(QStringLiteral("pmGrabSample"));
    miCameraLock = pmGrabSample->addAction(QStringLiteral("Lock Camera"));
    miCameraLock->setObjectName(QStringLiteral("miCameraLock"));
    miCameraLock->setCheckable(true);
    miCameraLock->setShortcut(QKeySequence(Qt::Key_K));
    AddRecordTabKey(miCameraLock);
    connect(miCameraLock, &QAction::triggered, this, &TFormMain::ToggleCameraLock);
    miCameraSettings = pmGrabSample->addAction(QStringLiteral("Camera Settings..."));
    miCameraSettings->setObjectName(QStringLiteral("miCameraSettings"));
    connect(miCameraSettings, &QAction::triggered, this, &TFormMain::ShowCameraSettings);
    pmCameraMode = pmGrabSample->addMenu(QStringLiteral("Camera Mode"));
    pmCameraMode->setObjectName(QStringLiteral("pmCameraMode"));
    connect(pmCameraMode, &QMenu::aboutToShow, this, [this] { camera_->FillCameraModes(*pmCameraMode); });

    // K in the full-screen shooting view is the same lock; its status line shows the lock's state.
    connect(fmShooting, &TShootingView::LockRequested, this, [this] {
        ToggleCameraLock();
        fmShooting->ShowStatusLine();
    });
    fmShooting->LockStatus = [this] {
        return camera_->CameraLocked() ? QStringLiteral("camera locked")
                                       : QStringLiteral("camera on automatics");
    };

    imGrabSample->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(imGrabSample, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& position) { pmGrabSample->popup(imGrabSample->mapToGlobal(position)); });
}

}  // namespace flipbook
