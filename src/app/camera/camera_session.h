// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <QObject>
#include <QPointer>
#include <QString>

#include "app/camera/camera_settings_dialog.h"
#include "cameracontrols/camera_lock.h"
#include "platform/com/hresult.h"
#include "platform/mediagraph/capture_mode.h"

class QComboBox;
class QMenu;
class QWidget;

namespace flipbook {

class CameraControls;
class TFilter;
class TFilterGraph;
class TSampleGrabber;
class TSysDevEnum;
class VideoDeviceWatch;

// The camera in use: the device list and its watch, the device selection that starts the window's
// capture graph on the device box's entry, what keeps the camera from delivering pictures and its
// recovery, the mode chosen for it, its controls and their lock, and the settings dialog. It says what
// happened through Said and never writes the status bar; it runs on the window's thread.
class TCameraSession : public QObject {
    Q_OBJECT

public:
    // The window's capture graph and its two members. The window owns them (and makes and frees them);
    // the session starts and stops them through these references.
    struct Graph {
        std::unique_ptr<TFilterGraph>& graph;
        std::unique_ptr<TFilter>& source;
        std::unique_ptr<TSampleGrabber>& grabber;
    };
    struct Hooks {
        // Appends the devices' friendly names to the device box, in the device list's order.
        std::function<void(const std::vector<std::string>& friendlyNames)> fillDevices;
        // True once the window has run its show steps; before, a change of devices only refills the box.
        std::function<bool()> shown;
        // A camera came while the window had none: the window brings its "Record" tab to life and says
        // so, and true; false when it had a camera already.
        std::function<bool()> welcomeFirstCamera;
        // The old device's frames have ended: the live frame is no longer the camera's.
        std::function<void()> framesEnded;
    };

    // dialogParent is the settings dialog's parent; devices is the device box the session reads and
    // refills.
    TCameraSession(QWidget* dialogParent, QComboBox* devices, Graph graph, Hooks hooks);
    ~TCameraSession() override;
    TCameraSession(const TCameraSession&) = delete;
    TCameraSession& operator=(const TCameraSession&) = delete;

    // The window-creation step: the process-wide device list, its names into the device box, and the
    // watch that follows cameras plugged in and pulled out.
    void CreateDeviceList();
    // No more changes of devices are followed (before the graph goes).
    void StopWatching();

    // Runs the device selection for the device box's selected entry; false when it fails.
    bool SelectDevice();
    // At start: the first camera, or when that one does not start, the first one after it that does.
    void SelectFirstWorkingDevice();
    // A failure of the selected camera: remembered and said, once for each new problem.
    void ShowCameraProblem(HRESULT result, const std::string& detail);

    // While the selected camera cannot deliver pictures (held by another program, disconnected), true,
    // and Problem says why in plain words; empty while it works.
    bool CameraLost() const { return !cameraProblem_.empty(); }
    QString Problem() const { return QString::fromStdString(cameraProblem_); }
    // The device whose graph was built last, as shown, and its device path.
    const std::string& CameraName() const { return cameraName_; }
    const std::string& CameraPath() const { return cameraPath_; }
    // For Snap: when the camera is lost, says that nothing was saved, and true.
    bool SnapRefusedWhileCameraLost();

    // Locks the camera in use (every automatic to manual at its value now), or gives the automatics
    // back when it is locked; says what was done, or that the camera has nothing to lock.
    void ToggleCameraLock();
    bool CameraLocked() const { return cameraLock_.Locked(); }
    // Opens the settings dialog, or raises it when open.
    void ShowCameraSettings();
    // The open settings dialog, or null.
    TCameraSettingsDialog* CameraSettings() const { return cameraSettings_; }
    // Fills the "Camera Mode" menu with the modes the camera offers, the chosen one checked; choosing
    // one starts the live view again in it.
    void FillCameraModes(QMenu& menu);

signals:
    // What just happened, in the words the status bar says.
    void Said(const QString& text);
    // The camera's problem changed (lost, or working again): the state the status bar shows.
    void Changed();
    // The lock was taken, given back or lost; also after a refusal that left it as it was.
    void LockChanged(bool locked);
    // The camera in use stopped delivering pictures; emitted once for each new problem.
    void Lost(const QString& problem);
    // A device is about to be bound (chosen, come back, or in another mode): a loss before is over.
    void Selecting();
    // Emitted on the media framework's thread when cameras come or go; answered on the session's.
    void VideoDevicesChangeReported();

private:
    // The device box follows cameras plugged in and pulled out, keeping the current choice; a lost
    // camera that comes back starts its live view again.
    void VideoDevicesChanged();
    // SelectDevice calls these two: before the source is connected (the chosen mode) and once it runs
    // (its controls).
    void PrepareCameraSource();
    void CameraStarted();
    // The camera is gone: its device node is closed at once and its lock kept aside in lostLock_.
    void CameraControlsLost();
    void ChooseCameraMode(const CaptureMode& mode);
    void RestoredDefaults();

    QWidget* dialogParent_;
    QComboBox* devices_;
    Graph graph_;
    Hooks hooks_;
    std::unique_ptr<TSysDevEnum> deviceList_;
    std::unique_ptr<VideoDeviceWatch> deviceWatch_;
    std::string cameraName_;
    // Tells cameras of one model apart.
    std::string cameraPath_;
    std::string cameraProblem_;
    std::unique_ptr<CameraControls> cameraControls_;
    CameraLock cameraLock_;
    std::string lockedCamera_;  // the camera the lock holds
    // The lock of lockedCamera_ when it was lost: on its return it is the lock again if the camera
    // still holds it, else the session says the lock was lost.
    std::optional<CameraLock> lostLock_;
    std::optional<CaptureMode> cameraMode_;
    std::string cameraModeCamera_;  // the camera cameraMode_ was chosen for
    QPointer<TCameraSettingsDialog> cameraSettings_;
};

}  // namespace flipbook
