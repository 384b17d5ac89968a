// SPDX-License-Identifier: GPL-3.0-or-later
// The camera's controls through the window, over the test camera with "controls": the lock (K) that
// stops the automatics' drift between snaps, the settings dialog acting on the live picture, the
// camera's modes, a camera without controls, and a locked camera pulled out and plugged in again. Then
// over a UVC webcam's device node (the test camera with "v4l2", its node answered by FakeV4l2Node), so
// the program's V4L2 code meets what a real webcam does: a control that cannot be read, automatics that
// drop to a stored value, and the camera pulled out in the middle.

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QSlider>
#include <QTest>

#include <linux/videodev2.h>

#include <algorithm>
#include <cerrno>
#include <functional>
#include <memory>

#include "app/window/application.h"
#include "app/camera/camera_settings_dialog.h"
#include "app/window/fmMain.h"
#include "app/window/image.h"
#include "app/library/picture_files.h"
#include "app/shooting/shooting_view.h"
#include "cameracontrols/camera_lock.h"
#include "platform/graphics/bitmap.h"
#include "platform/mediagraph/service.h"
#include "support/fake_desktop.h"
#include "support/fake_v4l2_node.h"
#include "support/fixed_chooser.h"
#include "support/record_tab.h"
#include "support/temp_dir.h"
#include "support/window_test_main.h"
#include "test_camera.h"

namespace flipbook {
namespace {

// The mean of every colour sample: the picture's brightness in levels.
double MeanLevel(const Bitmap& picture) {
    double sum = 0;
    const auto rowBytes = static_cast<std::size_t>(picture.Width()) * 3;
    for (int row = 0; row < picture.Height(); ++row) {
        const std::uint8_t* samples = picture.ScanLine(row);
        for (std::size_t i = 0; i < rowBytes; ++i) sum += samples[i];
    }
    return sum / (static_cast<double>(rowBytes) * picture.Height());
}

double Spread(const std::vector<double>& values) {
    const auto [low, high] = std::minmax_element(values.begin(), values.end());
    return *high - *low;
}

}  // namespace

class CameraControlsTest : public QObject {
    Q_OBJECT

private slots:
    void cleanup() {
        if (QTest::currentTestFailed()) folder_->Keep();
        form_.reset();
        node_.reset();
        nodeFolder_.reset();
        chooser_.reset();
        folder_.reset();
        testing::SetTestCameras("");
    }

    void Lock_StopsTheAutomaticsDriftBetweenSnaps_AndKGivesThemBack() {
        Start("Drifting Camera:320x240@30:smpte75:controls");
        std::vector<double> drifting = ThreeSnapsOneSecondApart();
        QVERIFY2(Spread(drifting) > 2, qPrintable(QString::number(Spread(drifting))));

        QVERIFY(PressK());
        QCOMPARE(form_->StatusText(), QStringLiteral("Camera locked: exposure, white balance, focus"));
        QVERIFY(form_->CameraLocked());
        QVERIFY(form_->miCameraLock->isChecked());
        // Frames made before the lock may still be on their way through the pipeline.
        QTest::qWait(300);
        const std::vector<double> locked = ThreeSnapsOneSecondApart();
        QVERIFY2(Spread(locked) <= 1, qPrintable(QString::number(Spread(locked))));

        QVERIFY(PressK());
        QCOMPARE(form_->StatusText(),
                 QStringLiteral("Camera unlocked: exposure, white balance, focus are automatic again"));
        QVERIFY(!form_->miCameraLock->isChecked());
        drifting = ThreeSnapsOneSecondApart();
        QVERIFY(Spread(drifting) > 2);
    }

    void SettingsDialog_ExposureSliderMovesTheLivePicturesBrightness_AndShowsTheLock() {
        Start("Settings Camera:320x240@30:smpte75:controls");
        form_->miCameraSettings->trigger();
        TCameraSettingsDialog* dialog = form_->CameraSettings();
        QVERIFY(dialog && dialog->isVisible());
        auto* exposure = dialog->findChild<QSlider*>(QStringLiteral("Exposure Time, Absolute"));
        QVERIFY(exposure);
        // Ruled by its automatic until the lock.
        QVERIFY(!exposure->isEnabled());
        auto* state = dialog->findChild<QLabel*>(QStringLiteral("lbCameraLockState"));
        QVERIFY(state->text().startsWith(QStringLiteral("Not locked")));

        form_->ToggleCameraLock();
        QVERIFY(exposure->isEnabled());
        QCOMPARE(state->text(), QStringLiteral("Locked: exposure, white balance, focus held still"));
        QVERIFY(!dialog->findChild<QCheckBox*>(QStringLiteral("White Balance, Automatic"))->isChecked());
        // 10 exposure units make a level of the camera's luma, a little more in the saved colours.
        const double before = LiveLevel();
        exposure->setValue(exposure->value() + 300);
        QVERIFY2(QTest::qWaitFor([&] { return LiveLevel() > before + 20; }, 10000),
                 qPrintable(QString::number(LiveLevel() - before)));
        const double raised = LiveLevel();
        exposure->setValue(exposure->value() - 400);
        QVERIFY2(QTest::qWaitFor([&] { return LiveLevel() < raised - 20; }, 10000),
                 qPrintable(QString::number(LiveLevel() - raised)));

        // "Defaults" gives the automatics back, so nothing is held, and the status bar says so.
        QTest::mouseClick(dialog->findChild<QPushButton*>(QStringLiteral("btCameraDefaults")),
                          Qt::LeftButton);
        QVERIFY(!form_->CameraLocked());
        QVERIFY(!form_->miCameraLock->isChecked());
        QCOMPARE(form_->StatusText(),
                 QStringLiteral("Camera unlocked: its controls are back at their defaults, "
                                "and its automatics run again"));
        QVERIFY(!exposure->isEnabled());
        QVERIFY(state->text().startsWith(QStringLiteral("Not locked")));
    }

    void CameraMode_ChoosingAnotherModeRestartsTheLiveView_AndTheNextSnapHasItsSize() {
        Start("Mode Camera:webcam1080:controls");
        QStringList modes = ModeItems();
        QCOMPARE(modes.size(), 6);
        // The rule's pick is marked, and is the mode running.
        QCOMPARE(CheckedMode(), QStringLiteral("1920 × 1080, 30 fps, compressed (MJPEG)  (best)"));
        QVERIFY(modes.contains(QStringLiteral("640 × 480, 30 fps, raw (YUY2)")));

        ModeItem(QStringLiteral("640 × 480, 30 fps, raw (YUY2)"))->trigger();
        QVERIFY(QTest::qWaitFor([&] { return LiveSize() == QSize(640, 480); }, 10000));
        QCOMPARE(CheckedMode(), QStringLiteral("640 × 480, 30 fps, raw (YUY2)"));
        Bitmap snapped;
        QVERIFY(LoadPicture(&snapped, Snap()));
        QCOMPARE(QSize(snapped.Width(), snapped.Height()), QSize(640, 480));
    }

    void Lock_OnACameraWithoutControls_SaysSo() {
        Start("Plain Camera:320x240@30");
        QVERIFY(PressK());
        QCOMPARE(form_->StatusText(), QStringLiteral("This camera offers no controls"));
        QVERIFY(!form_->CameraLocked());
        QVERIFY(!form_->miCameraLock->isChecked());
    }

    void LockedCamera_PulledOutAndPluggedInAgain_ComesBackOnItsAutomatics_AndTheStatusSaysSo() {
        Start("Replug Camera:320x240@30:smpte75:controls");
        // K in the full-screen shooting view is the same lock.
        QVERIFY(PressOnTab(Qt::Key_F));
        QVERIFY(QTest::qWaitForWindowExposed(form_->fmShooting));
        QTest::keyClick(form_->fmShooting, Qt::Key_K);
        QVERIFY(form_->CameraLocked());
        QVERIFY(form_->fmShooting->StatusLine().contains(QStringLiteral("camera locked")));
        QTest::keyClick(form_->fmShooting, Qt::Key_Escape);
        QVERIFY(!form_->fmShooting->IsOpen());
        testing::PullOutTestCamera("Replug Camera");
        QVERIFY(QTest::qWaitFor([&] { return form_->CameraLost(); }, 10000));
        testing::PlugInTestCamera("Replug Camera:320x240@30:smpte75:controls");
        QVERIFY(QTest::qWaitFor([&] { return !form_->CameraLost(); }, 10000));
        QCOMPARE(form_->StatusText(), QString::fromLatin1(kLockLostText));
        QVERIFY(!form_->CameraLocked());
        QVERIFY(!form_->miCameraLock->isChecked());
    }

    void UvcNode_K_LocksWhatItCanRead_InOneReadOfTheList_AndSaysWhatItCouldNotHold() {
        StartOnNode([](testing::FakeV4l2Node& node) {
            // Firmware that rejects reading these two: neither may hide or block the others.
            node.FailReads(V4L2_CID_BRIGHTNESS, EIO);
            node.FailReads(V4L2_CID_EXPOSURE_ABSOLUTE, EIO);
        });
        node_->ClearLog();
        QVERIFY(PressK());
        // The exposure time could not be read to hold, so the camera fell to its stored value.
        QCOMPARE(form_->StatusText(), QStringLiteral("Camera locked: white balance, focus; exposure set to "
                                                     "manual at the camera's own value"));
        QVERIFY(form_->CameraLocked());
        QCOMPARE(node_->ListWalks(), 1);
        using Write = testing::FakeV4l2Node::Write;
        const std::vector<Write> locking = {
            {V4L2_CID_EXPOSURE_AUTO, V4L2_EXPOSURE_MANUAL, 0},
            {V4L2_CID_AUTO_WHITE_BALANCE, 0, 0},
            {V4L2_CID_WHITE_BALANCE_TEMPERATURE, 5100, 0},
            {V4L2_CID_FOCUS_AUTO, 0, 0},
            {V4L2_CID_FOCUS_ABSOLUTE, 70, 0},
        };
        QVERIFY(node_->Writes() == locking);
        QCOMPARE(node_->Value(V4L2_CID_WHITE_BALANCE_TEMPERATURE), 5100);

        form_->miCameraSettings->trigger();
        TCameraSettingsDialog* dialog = form_->CameraSettings();
        QVERIFY(dialog && dialog->isVisible());
        QVERIFY(RowName(dialog, QStringLiteral("Brightness: cannot be read")));
        QVERIFY(!dialog->findChild<QSlider*>(QStringLiteral("Brightness"))->isEnabled());
        QVERIFY(RowName(dialog, QStringLiteral("Exposure Time, Absolute: cannot be read")));
        QVERIFY(dialog->findChild<QSlider*>(QStringLiteral("Contrast"))->isEnabled());
        QCOMPARE(dialog->findChild<QSlider*>(QStringLiteral("White Balance Temperature"))->value(), 5100);
        QVERIFY(dialog->findChild<QLabel*>(QStringLiteral("lbCameraRefusal"))->text().isEmpty());
        dialog->close();

        QVERIFY(PressK());
        QCOMPARE(form_->StatusText(),
                 QStringLiteral("Camera unlocked: exposure, white balance, focus are automatic again"));
        QCOMPARE(node_->Value(V4L2_CID_EXPOSURE_AUTO), 3);
        QCOMPARE(node_->Value(V4L2_CID_AUTO_WHITE_BALANCE), 1);
        QCOMPARE(node_->Value(V4L2_CID_FOCUS_AUTO), 1);
    }

    void UvcNode_PulledOutDuringUnlock_TriesEveryRelease_ForgetsTheLock_AndClosesTheNode() {
        StartOnNode();
        QVERIFY(PressK());
        QVERIFY(form_->CameraLocked());
        node_->ClearLog();
        // Pulled out before the stream noticed.
        node_->PullOut();
        QVERIFY(PressK());
        QCOMPARE(form_->StatusText(), QStringLiteral("The camera was disconnected, so the lock on exposure, "
                                                     "white balance, focus was lost"));
        using Write = testing::FakeV4l2Node::Write;
        const std::vector<Write> releasing = {
            {V4L2_CID_EXPOSURE_AUTO, 3, ENODEV},
            {V4L2_CID_AUTO_WHITE_BALANCE, 1, ENODEV},
            {V4L2_CID_FOCUS_AUTO, 1, ENODEV},
        };
        QVERIFY(node_->Writes() == releasing);
        QVERIFY(!form_->CameraLocked());
        QVERIFY(!form_->miCameraLock->isChecked());
        QCOMPARE(node_->OpenDescriptors(), 0);
    }

    void UvcNode_LockedCameraPulledOut_GreysTheSettings_AndComesBackByItselfUnderItsNode() {
        StartOnNode();
        form_->miCameraSettings->trigger();
        TCameraSettingsDialog* dialog = form_->CameraSettings();
        QVERIFY(dialog && dialog->isVisible());
        QVERIFY(PressK());
        QVERIFY(form_->CameraLocked());
        auto* exposureDynamic = dialog->findChild<QCheckBox*>(QStringLiteral("Exposure, Dynamic Framerate"));
        QVERIFY(exposureDynamic && exposureDynamic->isEnabled());

        node_->PullOut();
        testing::PullOutTestCamera("UVC Webcam");
        QVERIFY(QTest::qWaitFor([&] { return form_->CameraLost(); }, 10000));
        // Held open, the node would keep its number, and the camera would come back under another.
        QCOMPARE(node_->OpenDescriptors(), 0);
        QCOMPARE(dialog->findChild<QLabel*>(QStringLiteral("lbCameraRefusal"))->text(),
                 QStringLiteral("UVC Webcam: the camera was disconnected"));
        QVERIFY(!exposureDynamic->isEnabled());
        QVERIFY(!dialog->findChild<QPushButton*>(QStringLiteral("btCameraDefaults"))->isEnabled());
        node_->ClearLog();
        QTest::mouseClick(exposureDynamic, Qt::LeftButton);
        QVERIFY(!exposureDynamic->isChecked());
        QVERIFY(node_->Writes().empty());

        const std::string oldPath = node_->Path();
        QCOMPARE(node_->PlugInAgain(), oldPath);
        testing::PlugInTestCamera("UVC Webcam:320x240@30:v4l2:path=" + oldPath);
        QVERIFY(QTest::qWaitFor([&] { return !form_->CameraLost(); }, 10000));
        QCOMPARE(form_->StatusText(), QString::fromLatin1(kLockLostText));
        QVERIFY(!form_->CameraLocked());
        // The dialog shows the camera that came back, live again.
        exposureDynamic = dialog->findChild<QCheckBox*>(QStringLiteral("Exposure, Dynamic Framerate"));
        QVERIFY(exposureDynamic && exposureDynamic->isEnabled());
        QVERIFY(dialog->findChild<QLabel*>(QStringLiteral("lbCameraRefusal"))->text().isEmpty());
    }

    void UvcNode_Defaults_UnlocksAndSaysSo_WithoutWritingWhatTheAutomaticsRule() {
        StartOnNode();
        form_->miCameraSettings->trigger();
        TCameraSettingsDialog* dialog = form_->CameraSettings();
        QVERIFY(dialog && dialog->isVisible());
        auto* defaults = dialog->findChild<QPushButton*>(QStringLiteral("btCameraDefaults"));
        auto* refusal = dialog->findChild<QLabel*>(QStringLiteral("lbCameraRefusal"));
        auto refused = [&] {
            const std::vector<testing::FakeV4l2Node::Write> writes = node_->Writes();
            return std::count_if(writes.begin(), writes.end(),
                                 [](const auto& write) { return write.error != 0; });
        };
        // Not locked: the exposure time, white balance temperature and focus are the automatics'.
        QTest::mouseClick(defaults, Qt::LeftButton);
        QCOMPARE(refusal->text(), QString());
        QCOMPARE(refused(), 0);
        QCOMPARE(form_->StatusText(), QStringLiteral("The camera's controls are back at their defaults"));

        QVERIFY(PressK());
        QVERIFY(form_->CameraLocked());
        QTest::mouseClick(defaults, Qt::LeftButton);
        QCOMPARE(refusal->text(), QString());
        QCOMPARE(refused(), 0);
        QVERIFY(!form_->CameraLocked());
        QCOMPARE(form_->StatusText(),
                 QStringLiteral("Camera unlocked: its controls are back at their defaults, "
                                "and its automatics run again"));
        QCOMPARE(node_->Value(V4L2_CID_EXPOSURE_AUTO), 3);
        QCOMPARE(node_->Value(V4L2_CID_AUTO_WHITE_BALANCE), 1);
        QCOMPARE(node_->Value(V4L2_CID_FOCUS_AUTO), 1);
    }

private:
    // The window over a UVC webcam whose node lies in the test's folder; prepare changes the node
    // before the window first reads it.
    void StartOnNode(const std::function<void(testing::FakeV4l2Node&)>& prepare = {}) {
        nodeFolder_ = std::make_unique<testing::TempDir>();
        node_ = std::make_unique<testing::FakeV4l2Node>(nodeFolder_->Path());
        if (prepare) prepare(*node_);
        Start("UVC Webcam:320x240@30:v4l2:path=" + node_->Path());
    }

    // The name of a row of the settings dialog, when it shows that text.
    static QLabel* RowName(QDialog* dialog, const QString& text) {
        for (QLabel* label : dialog->findChildren<QLabel*>())
            if (label->text() == text) return label;
        return nullptr;
    }

    void Start(const std::string& cameras) {
        folder_ = std::make_unique<testing::TempDir>();
        chooser_ = std::make_unique<testing::FixedChooser>(folder_->Path().string());
        testing::SetTestCameras(cameras);
        form_ = std::make_unique<TFormMain>();
        QVERIFY(testing::ShowOnRecordTab(*form_, testing::Activation::Active));
        // K acts where the user works: on the "Record" tab.
        form_->lbSnapshots->setFocus();
        QVERIFY(QTest::qWaitFor([&] { return !LiveSize().isEmpty(); }, 10000));
    }

    // K on the "Record" tab. Its shortcut acts only in the active window, and GUI tests running beside
    // this one on the same display may have taken the activation meanwhile.
    bool PressK() { return PressOnTab(Qt::Key_K); }
    bool PressOnTab(Qt::Key key) {
        form_->activateWindow();
        if (!QTest::qWaitForWindowActive(form_.get())) return false;
        form_->lbSnapshots->setFocus();
        QTest::keyClick(form_->lbSnapshots, key);
        return true;
    }

    // Snaps, waits for the file and gives its path.
    std::string Snap() {
        QTest::mouseClick(form_->btGrabSnap, Qt::LeftButton);
        if (!QTest::qWaitFor([&] { return form_->PendingSaves() == 0 && form_->lbSnapshots->count() > 0; },
                             30000))
            return {};
        return form_->SnapshotFolder() +
               form_->lbSnapshots->item(form_->lbSnapshots->count() - 1)->text().toStdString();
    }

    std::vector<double> ThreeSnapsOneSecondApart() {
        std::vector<double> levels;
        for (int shot = 0; shot < 3; ++shot) {
            if (shot > 0) QTest::qWait(1000);
            Bitmap picture;
            if (!LoadPicture(&picture, Snap())) return {};
            levels.push_back(MeanLevel(picture));
        }
        return levels;
    }

    double LiveLevel() {
        const Bitmap live = form_->LatestFrame();
        return live.Empty() ? 0.0 : MeanLevel(live);
    }
    QSize LiveSize() {
        const Bitmap live = form_->LatestFrame();
        return QSize(live.Width(), live.Height());
    }

    // The "Camera Mode" submenu's items, as it fills them when it opens.
    QStringList ModeItems() {
        emit form_->pmCameraMode->aboutToShow();
        QStringList texts;
        for (QAction* item : form_->pmCameraMode->actions()) texts << item->text();
        return texts;
    }
    QAction* ModeItem(const QString& text) {
        ModeItems();
        for (QAction* item : form_->pmCameraMode->actions())
            if (item->text() == text) return item;
        return nullptr;
    }
    QString CheckedMode() {
        ModeItems();
        for (QAction* item : form_->pmCameraMode->actions())
            if (item->isChecked()) return item->text();
        return {};
    }

    testing::FakeDesktop desktop_;
    std::unique_ptr<testing::TempDir> folder_;
    std::unique_ptr<testing::FixedChooser> chooser_;
    std::unique_ptr<testing::TempDir> nodeFolder_;
    std::unique_ptr<testing::FakeV4l2Node> node_;
    std::unique_ptr<TFormMain> form_;
};

}  // namespace flipbook

FLIPBOOK_WINDOW_TEST_MAIN(flipbook::CameraControlsTest)

#include "camera_controls_test.moc"
