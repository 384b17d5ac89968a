// SPDX-License-Identifier: GPL-3.0-or-later
// The camera's controls as the window offers them: the live picture's context menu with "Lock Camera"
// (also K on the "Record" tab and in the shooting view), "Camera Settings..." and "Camera Mode". The
// controls, the lock and the modes live in cameracontrols/ and the media graph; this file only wires them to
// the window.

#include <QAction>
#include <QActionGroup>
#include <QComboBox>
#include <QMenu>
#include <QWidget>

#include <cmath>

#include "app/camera/camera_settings_dialog.h"
#include "app/shooting/shooting_view.h"
#include "app/window/fmMain.h"
#include "app/window/image.h"
#include "cameracontrols/open_controls.h"
#include "capture/filter.h"
#include "capture/sys_dev_enum.h"
#include "platform/mediagraph/source_modes.h"

namespace flipbook {
namespace {

QString ModeText(const CaptureMode& mode) {
    const double rate = mode.FramesPerSecond();
    const QString rateText = std::abs(rate - std::round(rate)) < 0.005 ? QString::number(std::lround(rate))
                                                                       : QString::number(rate, 'f', 2);
    const QString kind = mode.compressed
                             ? QStringLiteral("compressed (MJPEG)")
                             : QStringLiteral("raw (%1)").arg(QString::fromStdString(mode.format));
    return QStringLiteral("%1 × %2, %3 fps, %4").arg(mode.width).arg(mode.height).arg(rateText, kind);
}

}  // namespace

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
    connect(pmCameraMode, &QMenu::aboutToShow, this, &TFormMain::FillCameraModes);

    // K in the full-screen shooting view is the same lock; its status line shows the lock's state.
    connect(fmShooting, &TShootingView::LockRequested, this, [this] {
        ToggleCameraLock();
        fmShooting->ShowStatusLine();
    });
    fmShooting->LockStatus = [this] {
        return cameraLock_.Locked() ? QStringLiteral("camera locked")
                                    : QStringLiteral("camera on automatics");
    };

    imGrabSample->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(imGrabSample, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& position) { pmGrabSample->popup(imGrabSample->mapToGlobal(position)); });
}

void TFormMain::ToggleCameraLock() {
    if (!cameraControls_ && CameraLost()) {
        // Nothing can be locked or given back on a camera that is not there; the status says why.
        SetStatusText(QString::fromStdString(cameraProblem_));
    } else {
        try {
            SetStatusText(QString::fromStdString(cameraLock_.Toggle(cameraControls_.get())));
            if (cameraLock_.Locked()) lockedCamera_ = cameraName_;
        } catch (const ECameraGone& error) {
            // Pulled out before its stream noticed: the lock is gone with it, and its node is closed
            // now rather than when the stream notices.
            SetStatusText(QString::fromUtf8(error.what()));
            CameraControlsLost();
        } catch (const ECameraControl& error) {
            SetStatusText(QString::fromUtf8(error.what()));
        }
    }
    miCameraLock->setChecked(cameraLock_.Locked());
    if (cameraSettings_) cameraSettings_->Refresh();
}

void TFormMain::ShowCameraSettings() {
    if (!cameraSettings_) {
        TCameraSettingsDialog::Hooks hooks;
        hooks.controls = [this] { return cameraControls_.get(); };
        hooks.lockState = [this] {
            if (cameraLock_.Locked())
                return QString::fromStdString("Locked: " + JoinNames(cameraLock_.Names()) + " held still");
            return QStringLiteral("Not locked: the camera's automatics run (K locks them)");
        };
        hooks.defaultsRestored = [this] {
            // The defaults switch the automatics on again, so nothing is held any more.
            const bool wasLocked = cameraLock_.Locked();
            cameraLock_.Forget();
            miCameraLock->setChecked(false);
            SetStatusText(wasLocked
                              ? QStringLiteral("Camera unlocked: its controls are back at their defaults, "
                                               "and its automatics run again")
                              : QStringLiteral("The camera's controls are back at their defaults"));
        };
        hooks.unavailable = [this] {
            return CameraLost() ? QString::fromStdString(cameraProblem_) : QString();
        };
        cameraSettings_ = new TCameraSettingsDialog(this, std::move(hooks));
        cameraSettings_->setAttribute(Qt::WA_DeleteOnClose);
    }
    cameraSettings_->show();
    cameraSettings_->raise();
    cameraSettings_->activateWindow();
}

void TFormMain::PrepareCameraSource() {
    if (cameraLock_.Locked() && lockedCamera_ != cameraName_) {
        // Another camera is chosen: the one left behind gets its automatics back, so no camera stays
        // on manual without the window saying so.
        if (cameraControls_) cameraLock_.Release(*cameraControls_);
        cameraLock_.Forget();
    }
    cameraControls_.reset();
    if (cameraModeCamera_ != cameraName_) cameraMode_.reset();
    const ComPtr<IBaseFilter> source = QueryAs<IBaseFilter>(fwFilterSource.get());
    if (cameraMode_ && source) PreferCaptureMode(source.Get(), *cameraMode_);
}

void TFormMain::CameraStarted() {
    const ComPtr<IBaseFilter> source = QueryAs<IBaseFilter>(fwFilterSource.get());
    const ComPtr<IMoniker> device = deviceList_->GetMoniker(cbVideoDevices->currentIndex());
    cameraControls_ = OpenCameraControls(device.Get(), source.Get());
    if (lostLock_ && lockedCamera_ == cameraName_) cameraLock_ = *lostLock_;
    lostLock_.reset();
    if (cameraLock_.Locked()) {
        bool held = false;
        try {
            held = cameraControls_ && cameraLock_.StillHeld(cameraControls_->List());
        } catch (const ECameraControl&) {
        }
        if (!held) {
            cameraLock_.Forget();
            SetStatusText(QString::fromLatin1(kLockLostText));
        }
    }
    miCameraLock->setChecked(cameraLock_.Locked());
    // Another camera, or the same one bound anew: its rows are built again.
    if (cameraSettings_) cameraSettings_->Rebuild();
}

void TFormMain::CameraControlsLost() {
    // Linux frees a device node's number only at its last close: held open here, the camera plugged
    // in again would come back under another node and path, and not be known as the lost one.
    cameraControls_.reset();
    if (cameraLock_.Locked()) lostLock_ = cameraLock_;
    cameraLock_.Forget();
    miCameraLock->setChecked(false);
    if (cameraSettings_) cameraSettings_->Refresh();
}

void TFormMain::FillCameraModes() {
    pmCameraMode->clear();
    const ComPtr<IBaseFilter> source = QueryAs<IBaseFilter>(fwFilterSource.get());
    const std::vector<CaptureMode> modes =
        source ? OfferedCaptureModes(source.Get()) : std::vector<CaptureMode>{};
    if (modes.empty()) {
        pmCameraMode->addAction(QStringLiteral("No modes offered"))->setEnabled(false);
        return;
    }
    const std::optional<std::size_t> picked = ChooseCaptureMode(modes);
    auto* group = new QActionGroup(pmCameraMode);
    for (std::size_t index = 0; index < modes.size(); ++index) {
        const CaptureMode& mode = modes[index];
        QString text = ModeText(mode);
        if (picked && *picked == index) text += QStringLiteral("  (best)");
        QAction* item = pmCameraMode->addAction(text);
        item->setCheckable(true);
        group->addAction(item);
        const bool current = cameraMode_ ? ModeText(*cameraMode_) == ModeText(mode) : picked == index;
        item->setChecked(current);
        connect(item, &QAction::triggered, this, [this, mode] { ChooseCameraMode(mode); });
    }
}

void TFormMain::ChooseCameraMode(const CaptureMode& mode) {
    cameraMode_ = mode;
    cameraModeCamera_ = cameraName_;
    // The live view starts again in that mode; the camera keeps its controls meanwhile.
    SelectDevice();
}

}  // namespace flipbook
