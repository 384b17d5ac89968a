// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <QWidget>

#include "app/camera/camera_session.h"
#include "app/camera/camera_settings_dialog.h"
#include "app/camera/live_view.h"
#include "platform/graphics/bitmap.h"
#include "platform/shell/desktop.h"
#include "widgets/version_info.h"

class QAction;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QListWidget;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QSlider;
class QStatusBar;
class QTabWidget;

namespace flipbook {

class Bitmap;
class TFilter;
class TFrameAveraging;
class BandWorker;
class TFilterGraph;
class TElidedLabel;
class TImage;
class TPlaybackSession;
class TSampleGrabber;
class TShootingView;
class TSnapshotHistory;
class TSnapshotLibrary;
class TStatusModel;
class TTimeLapse;
class TUrlLabel;

// The program's one window: the "Help" tab with the read-me and the update link, the "Record" tab
// with the live view and the snapshot library, and the status bar. The controls are the window's
// children; the fields below only point at them.
class TFormMain : public QWidget {
    Q_OBJECT

public:
    static constexpr int kClientWidth = 688;
    static constexpr int kClientHeight = 466;
    static constexpr const char* kNoDeviceMessage =
        "Init failed: No Video Input Device found. Please read Help!!";
    static constexpr const char* kNoPictureYetMessage = "No picture from the camera yet";

    // Builds the controls, then runs the window-creation steps.
    explicit TFormMain(QWidget* parent = nullptr);
    // The window-destruction steps.
    ~TFormMain() override;

    // What the status bar shows (status_model.h): a message while it is new, else the present state.
    QString StatusText() const;
    void SetStatusText(const QString& text);

    // Fills the device box with the devices' friendly names, in the device list's order.
    void FillVideoDevices(const std::vector<std::string>& friendlyNames);

    QTabWidget* pcMain = nullptr;
    QWidget* tsMainHelp = nullptr;
    QGroupBox* gbHelpInfo = nullptr;
    TUrlLabel* hlUrlUpdate = nullptr;
    QGroupBox* gbHelpReadme = nullptr;
    QPlainTextEdit* mmHelpReadme = nullptr;
    QWidget* tsMainGrab = nullptr;
    QGroupBox* gbGrabVideo = nullptr;
    QComboBox* cbVideoDevices = nullptr;
    QCheckBox* ckGrabOnion = nullptr;
    QSlider* tbGrabOnion = nullptr;
    QPushButton* btGrabSnap = nullptr;
    TImage* imGrabSample = nullptr;
    QGroupBox* gbGrabPictures = nullptr;
    QComboBox* cbSnapshotsExt = nullptr;
    QListWidget* lbSnapshots = nullptr;
    QPushButton* btSnapshotsDir = nullptr;
    QStatusBar* sbMain = nullptr;
    QMenu* pmSnapshots = nullptr;
    QAction* miSnapDelete = nullptr;
    // Playback and export, after "Delete Picture" in the list's context menu; the first three have keys
    // that work anywhere on the "Record" tab.
    QAction* miSnapPlay = nullptr;
    QAction* miSnapPlayLast = nullptr;
    QAction* miSnapLoop = nullptr;
    QAction* miSnapRate = nullptr;
    QAction* miSnapExport = nullptr;
    // The full-screen shooting view (F, or a double-click on the live picture) and time-lapse (I, and
    // "Time-Lapse..." in the list's context menu); fmMain_shooting.cpp wires them.
    QAction* miSnapTimeLapse = nullptr;
    QAction* acShootingView = nullptr;
    QAction* acTimeLapse = nullptr;
    TShootingView* fmShooting = nullptr;
    TTimeLapse* TimeLapse = nullptr;

    // The live picture's context menu (fmMain_camera.cpp): "Lock Camera" (K anywhere on the "Record"
    // tab), "Camera Settings..." and the "Camera Mode" submenu.
    QMenu* pmGrabSample = nullptr;
    QAction* miCameraLock = nullptr;
    QAction* miCameraSettings = nullptr;
    QMenu* pmCameraMode = nullptr;
    // "Average Frames" (fmMain_averaging.cpp): how many consecutive frames a Snap averages; A in the
    // shooting view steps through the choices.
    QMenu* pmAverageFrames = nullptr;
    int AverageFrames() const;
    void SetAverageFrames(int frames);

    // Reads the program's own version block for the caption.
    TVersionInfo viVersionInfo;

    // The capture graph and its two members: the sample grabber, which hands every frame to
    // fwSampleGrabberBuffer, and the source filter, which is bound to the selected device.
    std::unique_ptr<TFilterGraph> fwFilterGraph;
    std::unique_ptr<TSampleGrabber> fwSampleGrabber;
    std::unique_ptr<TFilter> fwFilterSource;

    // A copy of the camera's latest frame, as Snap would take it; empty before the first.
    Bitmap LatestFrame();

    // Runs the action with the live frame and the reference picture under the lock that the frame
    // handler takes on the streaming thread; keep the action short (no file work inside). The live
    // frame holds the camera's frame only where one is converted or the shooting view shows it; the
    // latest frame is LatestFrame.
    template <class Action>
    decltype(auto) WithPictures(Action&& action) {
        std::lock_guard<std::mutex> lock(picturesLock_);
        // Any action may change the reference; the shooting view scales it again when this moves.
        referenceVersion_.fetch_add(1, std::memory_order_relaxed);
        return action(*liveFrame_, *referencePicture_);
    }

    // While the selected camera cannot deliver pictures (held by another program, disconnected),
    // true, and the status bar says why in plain words.
    bool CameraLost() const { return camera_->CameraLost(); }
    // For Snap: when the camera is lost, says in the status bar that nothing was saved, and true.
    bool SnapRefusedWhileCameraLost() { return camera_->SnapRefusedWhileCameraLost(); }
    // Snap with no frame to take: the status bar says so, with a beep.
    void SayNoPictureYet();

    // The snapshot folder ("" until chosen; ends with "/" once set) and extension (".png", ...).
    const std::string& SnapshotFolder() const;
    const std::string& SnapshotExtension() const;
    // The clock that names snapshots; tests replace it.
    std::function<std::chrono::system_clock::time_point()> SnapshotClock = std::chrono::system_clock::now;
    // Snapshots taken whose saving has not yet been reported on the window's thread.
    int PendingSaves() const;
    // The most picture memory the writer's queue holds before Snap refuses to take more; read when
    // the window is made (tests lower it).
    static inline std::size_t SaveQueueBytes = std::size_t{256} << 20;

    // Locks the camera in use (every automatic to manual at its value now), or gives the automatics
    // back when it is locked; the status bar says what was done, or that the camera has nothing to
    // lock. Any view of the window may call it (K on the "Record" tab does).
    void ToggleCameraLock() { camera_->ToggleCameraLock(); }
    bool CameraLocked() const { return camera_->CameraLocked(); }
    // "Camera Settings...": opens the settings dialog, or raises it when open.
    void ShowCameraSettings() { camera_->ShowCameraSettings(); }
    // The open settings dialog, or null.
    TCameraSettingsDialog* CameraSettings() const { return camera_->CameraSettings(); }
    // The camera in use: its devices, problems, controls, lock and modes.
    TCameraSession& CameraSession() { return *camera_; }

public:
    // Playback and export of the listed series: the rate, how many pictures "Play Last Frames" plays,
    // and the question where to write a video.
    TPlaybackSession& Playback() { return *playback_; }
    // True from the start of a playback until it ends or is stopped and the live view is back.
    bool Playing() const;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void CreateControls();
    void CreateRecordPage();
    // Makes the action's key work whenever the "Record" tab is the current one, wherever the focus is
    // in the window (the tab bar, the list), but not in a dialog or another window.
    void AddRecordTabKey(QAction* action);
    void ConnectHandlers();

    void FormCreate();
    void FormShow();
    void FormClose();
    void LoadReadme();

    // Handlers of the "Record" tab.
    void cbVideoDevicesChange();
    void ckGrabOnionClick();
    void btGrabSnapClick();
    void cbSnapshotsExtChange();
    void lbSnapshotsClick();
    // Every change of the list's selection, by mouse or keyboard: follows it with the reference
    // picture and the enabled state of "Delete Picture".
    void lbSnapshotsSelectionChanged();
    void btSnapshotsDirClick();
    void pmSnapshotsPopup(const QPoint& position);
    void miSnapDeleteClick();

    // Playback and export (fmMain_playback.cpp): the list's context menu items, whose handlers hand
    // the work to the playback session, made once the library is.
    void CreatePlaybackItems();
    void CreatePlayback();
    void miSnapPlayClick();
    void miSnapPlayLastClick();
    void miSnapRateClick();
    void miSnapExportClick();
    // What the status bar says when nothing newer has happened: the lost camera's problem, the running
    // play or time-lapse, no camera at all, or else the folder.
    QString PresentStatusText() const;
    // A state that the status bar shows changed: what was said before gives way to it.
    void StatusStateChanged();
    // A failure that stays said until the state changes or something newer is said.
    void SayFailure(const QString& text);

    // The live view: the capture components with their stored values, and the onion-skin settings
    // mirrored for the streaming thread, which must not read the controls.
    void CreateLiveView();
    // Stops the frames before the pictures they are drawn into are freed.
    void DestroyLiveView();
    // The frame handler, on the streaming thread.
    void fwSampleGrabberBuffer(TSampleGrabber& sender, double sampleTime, const std::uint8_t* buffer,
                               std::uint32_t bufferLength);

    // The snapshot library (folder, format, list, delete, saving): wired to the window's status bar,
    // time-lapse and shooting view.
    void CreateLibrary();
    // The entry selected in the list, or -1.
    int SelectedSnapshot() const;

    // Averaged Snap (fmMain_averaging.cpp): gathers the frames for the picture of that path; the mean,
    // back on the window's thread, is snapped; a camera lost or changed meanwhile drops it, with why.
    void CreateAveraging();
    void BeginAveragedSnap(const std::string& path);
    void AveragedSnapDone(const std::string& path, Bitmap mean);
    void AbandonAveraging(const QString& why);
    // Before the window closes: the frames of a Snap still being averaged.
    void FinishAveraging();
    std::unique_ptr<TFrameAveraging> averaging_;

    // The camera session, wired to the device box, the graph, the status bar and the time-lapse; and
    // the live picture's context menu (fmMain_camera.cpp).
    void CreateCameraSession();
    void CreateCameraMenu();
    // The camera is lost: a Snap's frames being averaged are dropped and a running time-lapse stops,
    // each saying why.
    void CameraWasLost(const QString& problem);

    // The second core of the live view's costly blends, made before the graph and freed after it.
    std::unique_ptr<BandWorker> liveBands_;
    // Guards the live frame, its state and the reference picture between the streaming and the UI
    // thread.
    std::mutex picturesLock_;
    std::unique_ptr<Bitmap> liveFrame_;
    std::unique_ptr<Bitmap> referencePicture_;
    // The reference as picked or snapped, sharing its memory: the tab's blend cuts or extends the
    // reference to the camera's size in place, but the shooting view fits the picture whole.
    Bitmap pickedReference_;
    LiveFrameState liveFrameState_ = LiveFrameState::None;
    TElidedLabel* statusText_ = nullptr;
    TStatusModel* status_ = nullptr;
    bool shown_ = false;
    // The snapshot library: folder, format, list, delete, and the pictures being saved.
    std::unique_ptr<TSnapshotLibrary> library_;
    // Undo and redo of Snap and "Delete Picture" (Ctrl+Z, Ctrl+Shift+Z or Ctrl+Y on the "Record" tab
    // and in the shooting view); fmMain_history.cpp wires it.
    std::unique_ptr<TSnapshotHistory> history_;
    void CreateHistory();
    // Ctrl+Z: an averaged Snap still gathering its frames, else the history's last step.
    void Undo();
    // While the window closes: no more snaps.
    bool closing_ = false;
    std::unique_ptr<TCameraSession> camera_;
    std::atomic<bool> onionSkinOn_{true};
    std::atomic<int> onionSkinPosition_{50};

    // The shooting view and time-lapse (fmMain_shooting.cpp).
    void CreateShooting();
    void OpenShootingView();
    void ShootingSnap();
    void StepReference(int step);
    void RedrawShootingView();
    void ToggleTimeLapse();
    // Empty when the picture was taken, else why the time-lapse stops.
    QString TakeTimeLapsePicture();
    QString ShootingStatusLine() const;
    std::atomic<std::uint64_t> referenceVersion_{1};

    // Playback and export. Last, so its player is stopped first, before anything it draws into goes.
    std::unique_ptr<TPlaybackSession> playback_;
};

}  // namespace flipbook
