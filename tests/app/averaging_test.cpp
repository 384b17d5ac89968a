// SPDX-License-Identifier: GPL-3.0-or-later
// "Average Frames" through the real window over the test camera: a still scene with a sensor's noise,
// snapped as one frame and as the mean of eight, against the same scene without noise; and a camera
// pulled out while its frames are gathered.
#include <QAction>
#include <QComboBox>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QTest>

#include <cmath>
#include <filesystem>
#include <memory>
#include <string>

#include "app/library/picture_files.h"
#include "app/shooting/shooting_view.h"
#include "app/window/application.h"
#include "app/window/fmMain.h"
#include "platform/graphics/bitmap.h"
#include "support/fake_desktop.h"
#include "support/fixed_chooser.h"
#include "support/record_tab.h"
#include "support/temp_dir.h"
#include "support/window_test_main.h"
#include "test_camera.h"

namespace flipbook {
namespace {

// The root mean square of the difference between two pictures of one size, over every colour byte.
double RmsDifference(const Bitmap& first, const Bitmap& second) {
    double sum = 0;
    const int bytes = first.Width() * 3;
    for (int y = 0; y < first.Height(); ++y) {
        const std::uint8_t* a = first.ScanLine(y);
        const std::uint8_t* b = second.ScanLine(y);
        for (int x = 0; x < bytes; ++x) sum += (a[x] - b[x]) * (a[x] - b[x]);
    }
    return std::sqrt(sum / (static_cast<double>(bytes) * first.Height()));
}

}  // namespace

class AveragingTest : public QObject {
    Q_OBJECT

private slots:
    void init() {
        folder_ = std::make_unique<testing::TempDir>();
        desktop_ = std::make_unique<testing::FakeDesktop>();
        chooser_ = std::make_unique<testing::FixedChooser>(folder_->Path().string());
        testing::SetTestCameras(
            "Clean:64x48@30:bgr:gradient;Noisy:64x48@30:bgr:gradient:noise=16;Slow:64x48@2:bgr:gradient");
        form_ = std::make_unique<TFormMain>();
        QVERIFY(testing::ShowOnRecordTab(*form_, testing::Activation::Active));
        QVERIFY(QTest::qWaitFor([&] { return !form_->LatestFrame().Empty(); }, 10000));
    }
    void cleanup() {
        if (QTest::currentTestFailed()) folder_->Keep();
        form_.reset();
        chooser_.reset();
        desktop_.reset();
        folder_.reset();
    }

    // Theory gives 1 / sqrt(8) = 0.35 of the noise; rounding the mean to a level adds a little.
    void EightFramesAveraged_HaveAtMostFourTenthsOfTheNoise_AndAStepsThroughTheChoices() {
        const Bitmap clean = SnapAndLoad();
        SelectCamera(1);
        const Bitmap oneFrame = SnapAndLoad();

        form_->acShootingView->trigger();
        QVERIFY(form_->fmShooting->IsOpen());
        for (int press = 0; press < 3; ++press) QTest::keyClick(form_->fmShooting, Qt::Key_A);
        QCOMPARE(form_->AverageFrames(), 8);
        QVERIFY(form_->findChild<QAction*>(QStringLiteral("miAverage8"))->isChecked());
        QVERIFY(form_->fmShooting->StatusLine().contains(QStringLiteral("average of 8 frames")));
        const Bitmap eightFrames = SnapAndLoad(form_->fmShooting, QStringLiteral("Averaging 8 frames…"));
        QTest::keyClick(form_->fmShooting, Qt::Key_Escape);

        const double noiseOfOne = RmsDifference(oneFrame, clean);
        const double noiseOfEight = RmsDifference(eightFrames, clean);
        qInfo("noise of one frame %.2f, of eight %.2f", noiseOfOne, noiseOfEight);
        QVERIFY2(noiseOfOne > 12 && noiseOfOne < 20, qPrintable(QString::number(noiseOfOne)));
        QVERIFY2(noiseOfEight <= 0.4 * noiseOfOne,
                 qPrintable(QStringLiteral("%1 against %2").arg(noiseOfEight).arg(noiseOfOne)));
        // The mean is the reference at once, as a snapped frame is.
        QCOMPARE(RmsDifference(form_->WithPictures([](Bitmap&, Bitmap& reference) { return reference; }),
                               eightFrames),
                 0.0);
    }

    // Two frames at two a second: the close waits for them, and the picture is saved.
    void ClosingWhileAveraging_WaitsForTheFrames_AndSavesThePicture() {
        SnapAndLoad();
        SelectCamera(2);
        form_->SetAverageFrames(2);
        QTest::mouseClick(form_->btGrabSnap, Qt::LeftButton);
        QCOMPARE(form_->StatusText(), QStringLiteral("Averaging 2 frames…"));
        QVERIFY(form_->close());
        QCOMPARE(std::distance(std::filesystem::directory_iterator(folder_->Path()), {}), 2);
    }

    // Sixteen frames at two a second: the camera goes long before they are in.
    void CameraPulledOutWhileAveraging_SavesNothing_AndSaysSo() {
        SnapAndLoad();
        SelectCamera(2);
        form_->findChild<QAction*>(QStringLiteral("miAverage16"))->trigger();
        QCOMPARE(form_->AverageFrames(), 16);
        // Ctrl+Z takes back the Snap still gathering its frames, not the one before it.
        QTest::mouseClick(form_->btGrabSnap, Qt::LeftButton);
        form_->findChild<QAction*>(QStringLiteral("acUndo"))->trigger();
        QCOMPARE(form_->StatusText(),
                 QStringLiteral("Undone: the averaged Snap stopped before its picture was taken"));
        QCOMPARE(form_->lbSnapshots->count(), 1);
        QTest::mouseClick(form_->btGrabSnap, Qt::LeftButton);
        QCOMPARE(form_->StatusText(), QStringLiteral("Averaging 16 frames…"));
        testing::PullOutTestCamera("Slow");
        QTRY_VERIFY(form_->CameraLost());
        QCOMPARE(form_->StatusText(), QStringLiteral("Nothing was saved: Slow: the camera was disconnected"));
        QTest::qWait(200);
        QCOMPARE(form_->PendingSaves(), 0);
        QCOMPARE(form_->lbSnapshots->count(), 1);
        QCOMPARE(std::distance(std::filesystem::directory_iterator(folder_->Path()), {}), 1);
    }

private:
    void SelectCamera(int index) {
        form_->cbVideoDevices->setCurrentIndex(index);
        emit form_->cbVideoDevices->activated(index);
        QVERIFY(QTest::qWaitFor([&] { return !form_->LatestFrame().Empty(); }, 10000));
    }

    // Snaps with Space in the view given, or the button, and loads the picture saved.
    Bitmap SnapAndLoad(QWidget* view = nullptr, const QString& said = {}) {
        const int listed = form_->lbSnapshots->count();
        if (view) {
            QTest::keyClick(view, Qt::Key_Space);
        } else {
            QTest::mouseClick(form_->btGrabSnap, Qt::LeftButton);
        }
        if (!said.isEmpty()) [&] { QCOMPARE(form_->StatusText(), said); }();
        Bitmap picture;
        [&] {
            QTRY_COMPARE(form_->lbSnapshots->count(), listed + 1);
            QTRY_COMPARE(form_->PendingSaves(), 0);
            const std::string name = form_->lbSnapshots->item(listed)->text().toStdString();
            QVERIFY(LoadPicture(&picture, form_->SnapshotFolder() + name));
        }();
        return picture;
    }

    std::unique_ptr<testing::TempDir> folder_;
    std::unique_ptr<testing::FakeDesktop> desktop_;
    std::unique_ptr<testing::FixedChooser> chooser_;
    std::unique_ptr<TFormMain> form_;
};

}  // namespace flipbook

FLIPBOOK_WINDOW_TEST_MAIN(flipbook::AveragingTest)

#include "averaging_test.moc"
