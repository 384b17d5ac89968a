// SPDX-License-Identifier: GPL-3.0-or-later
// A long run of the whole program over the test camera: frames at 30 per second with the onion skin
// on, a Snap every second in rotating formats, a device switch every few seconds, and halfway the
// camera in use pulled out (Snap then saves nothing) and plugged in again (its live view comes back).
// At the end every snapped file must exist and decode, no frame may have failed, and memory must not
// have grown.
// FLIPBOOK_LONG_RUN_SECONDS sets the length (180 seconds unless given).

#include <QComboBox>
#include <QElapsedTimer>
#include <QListWidget>
#include <QPushButton>
#include <QSlider>
#include <QTest>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/window/application.h"
#include "app/window/fmMain.h"
#include "app/camera/live_view.h"
#include "app/library/picture_files.h"
#include "platform/graphics/bitmap.h"
#include "platform/mediagraph/service.h"
#include "support/fake_desktop.h"
#include "support/fixed_chooser.h"
#include "support/temp_dir.h"
#include "support/window_test_main.h"
#include "test_camera.h"

namespace flipbook {
namespace {

// The resident memory of the process in kilobytes.
long ResidentKilobytes() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
    }
    return -1;
}

int RunSeconds() {
    const char* text = std::getenv("FLIPBOOK_LONG_RUN_SECONDS");
    const int seconds = text ? std::atoi(text) : 0;
    return seconds > 0 ? seconds : 180;
}

}  // namespace

class LongRunTest : public QObject {
    Q_OBJECT

private slots:
    void SnapsAndSwitches_KeepEveryPicture_WithoutFailuresOrGrowth() {
        testing::TempDir folder;
        testing::FakeDesktop desktop;
        testing::FixedChooser chooser(folder.Path().string());
        const std::map<std::string, std::string> cameras = {{"A", "A:320x240@30:smpte:yuy2"},
                                                            {"B", "B:320x240@30:ball:mjpeg"}};
        testing::SetTestCameras(cameras.at("A") + ";" + cameras.at("B"));
        TFormMain form;
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        form.pcMain->setCurrentWidget(form.tsMainGrab);
        QCOMPARE(form.cbVideoDevices->count(), 2);
        form.tbGrabOnion->setValue(50);

        const int seconds = RunSeconds();
        const std::uint64_t failuresBefore = SwallowedFrameFailures();
        // Memory is measured once everything has warmed up (codecs, pipelines, the first files).
        const int warmUpSeconds = std::min(20, seconds / 3);
        long residentAfterWarmUp = -1;
        std::vector<std::string> snapped;
        QElapsedTimer clock;
        clock.start();
        for (int second = 1; second <= seconds; ++second) {
            QTest::qWait(static_cast<int>(second * 1000 - clock.elapsed()));
            if (second % 5 == 0) {
                const int device = (second / 5) % 2;
                form.cbVideoDevices->setCurrentIndex(device);
                emit form.cbVideoDevices->activated(device);
            }
            if (second % 7 == 0) {
                const int format = (second / 7) % 3;
                form.cbSnapshotsExt->setCurrentIndex(format);
                emit form.cbSnapshotsExt->activated(format);
            }
            QTest::qWait(300);  // a few frames of the device just chosen
            if (second == seconds / 2) {
                const std::string name = form.cbVideoDevices->currentText().toStdString();
                testing::PullOutTestCamera(name);
                QVERIFY(QTest::qWaitFor([&] { return form.CameraLost(); }, 10000));
                QTest::mouseClick(form.btGrabSnap, Qt::LeftButton);
                QVERIFY(form.StatusText().endsWith(QStringLiteral("nothing was saved")));
                testing::PlugInTestCamera(cameras.at(name));
                QVERIFY(QTest::qWaitFor([&] { return !form.CameraLost(); }, 10000));
                QCOMPARE(form.cbVideoDevices->currentText().toStdString(), name);
                continue;
            }
            QTest::mouseClick(form.btGrabSnap, Qt::LeftButton);
            QVERIFY(QTest::qWaitFor([&] { return form.PendingSaves() == 0; }, 30000));
            snapped.push_back(form.SnapshotFolder() + form.lbSnapshots->currentItem()->text().toStdString());
            if (second == warmUpSeconds) residentAfterWarmUp = ResidentKilobytes();
        }
        const long residentAtEnd = ResidentKilobytes();
        QVERIFY(form.close());

        std::printf("long run: %d s, %zu snaps, resident %ld kB after warm-up, %ld kB at the end\n", seconds,
                    snapped.size(), residentAfterWarmUp, residentAtEnd);
        QCOMPARE(SwallowedFrameFailures() - failuresBefore, std::uint64_t{0});
        for (const std::string& path : snapped) {
            Bitmap picture;
            QVERIFY2(LoadPicture(&picture, path), path.c_str());
            QVERIFY2(picture.Width() == 320 && picture.Height() == 240, path.c_str());
        }
        // Heap fragments and caches may settle a little; a leak of one frame a second would not.
        QVERIFY2(residentAtEnd - residentAfterWarmUp < 48 * 1024, "memory grew during the run");
    }
};

}  // namespace flipbook

FLIPBOOK_WINDOW_TEST_MAIN(flipbook::LongRunTest)

#include "long_run_test.moc"
