// SPDX-License-Identifier: GPL-3.0-or-later
// The camera session's controls: the lock (K), the settings dialog and the modes of the "Camera Mode"
// menu. The controls, the lock and the modes themselves live in cameracontrols/ and the media graph;
// this file keeps them with the camera in use.

#include <cmath>

#include <QAction>
#include <QActionGroup>
#include <QComboBox>
#include <QMenu>

#include "app/camera/camera_session.h"
#include "cameracontrols/camera_control.h"
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

void TCameraSession::ToggleCameraLock() {
    QString said;
    if (!cameraControls_ && CameraLost()) {
        // Nothing can be locked or given back on a camera that is not there; the problem says why.
        said = Problem();
    } else {
        try {
            said = QString::fromStdString(cameraLock_.Toggle(cameraControls_.get()));
            if (cameraLock_.Locked()) lockedCamera_ = cameraName_;
        } catch (const ECameraGone& error) {
            // Pulled out before its stream noticed: the lock is gone with it, and its node is closed
            // now rather than when the stream notices.
            said = QString::fromUtf8(error.what());
            CameraControlsLost();
        } catch (const ECameraControl& error) {
            said = QString::fromUtf8(error.what());
        }
    }
    if (cameraSettings_) cameraSettings_->Refresh();
    // Also when nothing changed: a menu item that toggled itself on a refusal shows the lock again.
    emit LockChanged(cameraLock_.Locked());
    emit Said(said);
}

void TCameraSession::ShowCameraSettings() {
    if (!cameraSettings_) {
        TCameraSettingsDialog::Hooks hooks;
        hooks.controls = [this] { return cameraControls_.get(); };
        hooks.lockState = [this] {
            if (cameraLock_.Locked())
                return QString::fromStdString("Locked: " + JoinNames(cameraLock_.Names()) + " held still");
            return QStringLiteral("Not locked: the camera's automatics run (K locks them)");
        };
        hooks.defaultsRestored = [this] { RestoredDefaults(); };
        hooks.unavailable = [this] { return CameraLost() ? Problem() : QString(); };
        cameraSettings_ = new TCameraSettingsDialog(dialogParent_, std::move(hooks));
        cameraSettings_->setAttribute(Qt::WA_DeleteOnClose);
    }
    cameraSettings_->show();
    cameraSettings_->raise();
    cameraSettings_->activateWindow();
}

void TCameraSession::RestoredDefaults() {
    // The defaults switch the automatics on again, so nothing is held any more.
    const bool wasLocked = cameraLock_.Locked();
    cameraLock_.Forget();
    emit LockChanged(false);
    emit Said(wasLocked ? QStringLiteral("Camera unlocked: its controls are back at their defaults, "
                                         "and its automatics run again")
                        : QStringLiteral("The camera's controls are back at their defaults"));
}

void TCameraSession::PrepareCameraSource() {
    if (cameraLock_.Locked() && lockedCamera_ != cameraName_) {
        // Another camera is chosen: the one left behind gets its automatics back, so no camera stays
        // on manual without the window saying so.
        if (cameraControls_) cameraLock_.Release(*cameraControls_);
        cameraLock_.Forget();
    }
    cameraControls_.reset();
    if (cameraModeCamera_ != cameraName_) cameraMode_.reset();
    const ComPtr<IBaseFilter> source = QueryAs<IBaseFilter>(graph_.source.get());
    if (cameraMode_ && source) PreferCaptureMode(source.Get(), *cameraMode_);
}

void TCameraSession::CameraStarted() {
    const ComPtr<IBaseFilter> source = QueryAs<IBaseFilter>(graph_.source.get());
    const ComPtr<IMoniker> device = deviceList_->GetMoniker(devices_->currentIndex());
    cameraControls_ = OpenCameraControls(device.Get(), source.Get());
    if (lostLock_ && lockedCamera_ == cameraName_) cameraLock_ = *lostLock_;
    lostLock_.reset();
    bool lockLost = false;
    if (cameraLock_.Locked()) {
        bool held = false;
        try {
            held = cameraControls_ && cameraLock_.StillHeld(cameraControls_->List());
        } catch (const ECameraControl&) {
        }
        if (!held) {
            cameraLock_.Forget();
            lockLost = true;
        }
    }
    // Another camera, or the same one bound anew: its rows are built again.
    if (cameraSettings_) cameraSettings_->Rebuild();
    emit LockChanged(cameraLock_.Locked());
    if (lockLost) emit Said(QString::fromLatin1(kLockLostText));
}

void TCameraSession::CameraControlsLost() {
    // Linux frees a device node's number only at its last close: held open here, the camera plugged
    // in again would come back under another node and path, and not be known as the lost one.
    cameraControls_.reset();
    if (cameraLock_.Locked()) lostLock_ = cameraLock_;
    cameraLock_.Forget();
    emit LockChanged(false);
    if (cameraSettings_) cameraSettings_->Refresh();
}

void TCameraSession::FillCameraModes(QMenu& menu) {
    menu.clear();
    const ComPtr<IBaseFilter> source = QueryAs<IBaseFilter>(graph_.source.get());
    const std::vector<CaptureMode> modes =
        source ? OfferedCaptureModes(source.Get()) : std::vector<CaptureMode>{};
    if (modes.empty()) {
        menu.addAction(QStringLiteral("No modes offered"))->setEnabled(false);
        return;
    }
    const std::optional<std::size_t> picked = ChooseCaptureMode(modes);
    auto* group = new QActionGroup(&menu);
    for (std::size_t index = 0; index < modes.size(); ++index) {
        const CaptureMode& mode = modes[index];
        QString text = ModeText(mode);
        if (picked && *picked == index) text += QStringLiteral("  (best)");
        QAction* item = menu.addAction(text);
        item->setCheckable(true);
        group->addAction(item);
        const bool current = cameraMode_ ? ModeText(*cameraMode_) == ModeText(mode) : picked == index;
        item->setChecked(current);
        connect(item, &QAction::triggered, this, [this, mode] { ChooseCameraMode(mode); });
    }
}

void TCameraSession::ChooseCameraMode(const CaptureMode& mode) {
    cameraMode_ = mode;
    cameraModeCamera_ = cameraName_;
    // The live view starts again in that mode; the camera keeps its controls meanwhile.
    SelectDevice();
}

}  // namespace flipbook
