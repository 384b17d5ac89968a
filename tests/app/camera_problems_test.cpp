// SPDX-License-Identifier: GPL-3.0-or-later
// The main window with cameras as users meet them: a 1080p webcam in its full-size mode, a camera held
// by another program, one pulled out and plugged in again, and cameras plugged in and out while the
// program runs. Each is checked by what the user sees: the status text, the device box, the picture.

#include <QComboBox>
#include <QGroupBox>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

#include <atomic>
#include <filesystem>
#include <memory>
#include <optional>

#include "app/window/application.h"
#include "app/window/fmMain.h"
#include "app/window/image.h"
#include "app/library/picture_files.h"
#include "capture/sample_grabber.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/canvas.h"
#include "platform/mediagraph/service.h"
#include "support/fake_desktop.h"
#include "support/record_tab.h"
#include "support/temp_dir.h"
#include "support/window_test_main.h"
#include "test_camera.h"
#include "widgets/select_dir.h"

namespace flipbook {
namespace {

// Answers the folder chooser with a fixed folder (or as cancelled), counting the questions.
class FolderAnswer : public DirectoryChooser {
public:
    FolderAnswer() : previous_(InstallDirectoryChooser(this)) {}
    ~FolderAnswer() override { InstallDirectoryChooser(previous_); }
    FolderAnswer(const FolderAnswer&) = delete;
    FolderAnswer& operator=(const FolderAnswer&) = delete;

    bool Select(QWidget*, std::string& directory, SelectDirOptions, int) override {
        ++asked;
        if (!answer) return false;
        directory = *answer;
        return true;
    }

    std::optional<std::string> answer;
    int asked = 0;

private:
    DirectoryChooser* previous_;
};

}  // namespace

class CameraProblemsTest : public QObject {
    Q_OBJECT

private slots:
    void cleanup() {
        form_.reset();
        testing::SetTestCameras("");
    }

    // How fast the live view runs with such a camera, and what it costs, is measured by the benchmark
    // program (LiveWindow/mjpeg), not here.
    void Webcam1080_ShowsAndSnapsFullHdPictures() {
        Start("HD Webcam:webcam1080");
        WaitForFrames(3);
        QCOMPARE(DisplaySize(), QSize(1920, 1080));
        testing::TempDir folder;
        chooser_.answer = folder.Path().string();
        QTest::mouseClick(form_->btGrabSnap, Qt::LeftButton);
        QVERIFY(QTest::qWaitFor([&] { return form_->PendingSaves() == 0; }, 30000));
        QCOMPARE(form_->lbSnapshots->count(), 1);
        Bitmap snapped;
        QVERIFY(LoadPicture(&snapped,
                            form_->SnapshotFolder() + form_->lbSnapshots->item(0)->text().toStdString()));
        QCOMPARE(QSize(snapped.Width(), snapped.Height()), QSize(1920, 1080));
    }

    // At start a camera held by another program is passed over for the next one that starts, and the
    // status bar says so; chosen by hand it is named there and Snap saves nothing. With every camera
    // held, the first stays chosen.
    void CameraInUse_IsPassedOverAtStart_NamedWhenChosen_AndSnapSavesNothing() {
        Start("HD Webcam:webcam1080:busy;Spare:320x240@30");
        WaitForFrames(3);
        QCOMPARE(form_->cbVideoDevices->currentIndex(), 1);
        QCOMPARE(form_->StatusText(),
                 QStringLiteral("HD Webcam: the camera is in use by another program; showing Spare instead"));
        QVERIFY(!form_->CameraLost());

        SelectDevice(0);
        QCOMPARE(form_->StatusText(), QStringLiteral("HD Webcam: the camera is in use by another program"));
        QVERIFY(form_->CameraLost());
        QTest::mouseClick(form_->btGrabSnap, Qt::LeftButton);
        QCOMPARE(form_->StatusText(),
                 QStringLiteral("HD Webcam: the camera is in use by another program; nothing was saved"));
        QCOMPARE(chooser_.asked, 0);

        SelectDevice(1);
        WaitForFrames(3);
        QVERIFY(!form_->CameraLost());
        QCOMPARE(form_->StatusText(), QString());

        Start("Held A:busy;Held B:busy");
        QCOMPARE(form_->cbVideoDevices->currentIndex(), 0);
        QCOMPARE(form_->StatusText(), QStringLiteral("Held A: the camera is in use by another program"));
    }

    // Two cameras of one model are told apart by their device paths: the one in use, pulled out, does
    // not hand over to its twin, and it starts again when it comes back to its place.
    void TwinCameras_AreToldApartByDevicePath_AndTheReturningOneStartsAgain() {
        Start("Twin:320x240@30;Twin:160x120@30:unplug=15");
        SelectDevice(1);
        QVERIFY(QTest::qWaitFor(
            [&] { return form_->StatusText() == QStringLiteral("Twin: the camera was disconnected"); },
            10000));
        QVERIFY(QTest::qWaitFor([&] { return form_->cbVideoDevices->count() == 1; }, 10000));
        QCOMPARE(form_->cbVideoDevices->currentIndex(), -1);

        const int before = frames_->load();
        testing::PlugInTestCamera("Twin:160x120@30:path=/dev/video1");
        WaitForFrames(3, before);
        QVERIFY(!form_->CameraLost());
        QCOMPARE(form_->cbVideoDevices->count(), 2);
        QCOMPARE(DisplaySize(), QSize(160, 120));
    }

    void PulledOutCamera_IsReported_AndItsLiveViewStartsAgainWhenPluggedIn() {
        Start("HD Webcam:webcam1080:unplug=10");
        QVERIFY(QTest::qWaitFor(
            [&] { return form_->StatusText() == QStringLiteral("HD Webcam: the camera was disconnected"); },
            10000));
        QCOMPARE(form_->cbVideoDevices->count(), 0);
        QTest::mouseClick(form_->btGrabSnap, Qt::LeftButton);
        QCOMPARE(form_->StatusText(),
                 QStringLiteral("HD Webcam: the camera was disconnected; nothing was saved"));
        QCOMPARE(chooser_.asked, 0);

        const int before = frames_->load();
        testing::PlugInTestCamera("HD Webcam:webcam1080");
        WaitForFrames(3, before);
        QCOMPARE(form_->cbVideoDevices->currentText(), QStringLiteral("HD Webcam"));
        QVERIFY(!form_->CameraLost());
        QCOMPARE(form_->StatusText(), QString());
        QCOMPARE(DisplaySize(), QSize(1920, 1080));
    }

    void DeviceBox_FollowsCamerasPluggedInAndOut_KeepingTheChoice() {
        Start("Camera A:320x240@30;Camera B:160x120@30");
        SelectDevice(1);
        testing::PlugInTestCamera("Camera C:200x150@30");
        QVERIFY(QTest::qWaitFor([&] { return form_->cbVideoDevices->count() == 3; }, 10000));
        QCOMPARE(form_->cbVideoDevices->currentText(), QStringLiteral("Camera B"));
        testing::PullOutTestCamera("Camera A");
        QVERIFY(QTest::qWaitFor([&] { return form_->cbVideoDevices->count() == 2; }, 10000));
        QCOMPARE(form_->cbVideoDevices->itemText(0), QStringLiteral("Camera B"));
        QCOMPARE(form_->cbVideoDevices->itemText(1), QStringLiteral("Camera C"));
        QCOMPARE(form_->cbVideoDevices->currentText(), QStringLiteral("Camera B"));
        WaitForFrames(3);
        QCOMPARE(DisplaySize(), QSize(160, 120));

        testing::PullOutTestCamera("Camera B");
        QVERIFY(QTest::qWaitFor(
            [&] { return form_->StatusText() == QStringLiteral("Camera B: the camera was disconnected"); },
            10000));
        QCOMPARE(form_->cbVideoDevices->currentIndex(), -1);
    }

    void FirstCameraPluggedIn_AfterAStartWithoutAny_StartsTheLiveView() {
        Start("");
        QVERIFY(!form_->gbGrabVideo->isEnabled());
        testing::PlugInTestCamera("Late Camera:320x240@30");
        WaitForFrames(3);
        QVERIFY(form_->gbGrabVideo->isEnabled());
        QVERIFY(form_->gbGrabPictures->isEnabled());
        QCOMPARE(form_->cbVideoDevices->currentText(), QStringLiteral("Late Camera"));
        QCOMPARE(form_->StatusText(), QString());
    }

private:
    void Start(const std::string& cameras) {
        // The window before watches the cameras of its list; gone, it lets the new list be read.
        form_.reset();
        testing::SetTestCameras(cameras);
        chooser_.answer.reset();
        chooser_.asked = 0;
        form_ = std::make_unique<TFormMain>();
        frames_ = std::make_shared<std::atomic<int>>(0);
        form_->fwSampleGrabber->OnBuffer = [handler = form_->fwSampleGrabber->OnBuffer, frames = frames_](
                                               TSampleGrabber& sender, double time,
                                               const std::uint8_t* buffer, std::uint32_t length) {
            handler(sender, time, buffer, length);
            ++*frames;
        };
        QVERIFY(testing::ShowOnRecordTab(*form_));
    }

    void SelectDevice(int index) {
        form_->cbVideoDevices->setCurrentIndex(index);
        emit form_->cbVideoDevices->activated(index);
    }

    void WaitForFrames(int count, std::optional<int> from = {}) {
        const int target = from.value_or(frames_->load()) + count;
        QVERIFY(QTest::qWaitFor([&] { return frames_->load() >= target; }, 10000));
    }

    QSize DisplaySize() {
        Bitmap& display = form_->imGrabSample->Picture();
        std::lock_guard lock(display.GetCanvas());
        return {display.Width(), display.Height()};
    }

    testing::FakeDesktop desktop_;
    FolderAnswer chooser_;
    std::unique_ptr<TFormMain> form_;
    std::shared_ptr<std::atomic<int>> frames_;
};

}  // namespace flipbook

FLIPBOOK_WINDOW_TEST_MAIN(flipbook::CameraProblemsTest)

#include "camera_problems_test.moc"
