// SPDX-License-Identifier: GPL-3.0-or-later
// The full-screen shooting view and time-lapse through the real window with the test camera: real keys,
// the view covering the screen, pictures saved by the window's Snap, and the list following playback.

#include <QGuiApplication>
#include <QImage>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <QSlider>
#include <QTabWidget>
#include <QTest>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "app/application.h"
#include "app/fmMain.h"
#include "app/image.h"
#include "app/picture_files.h"
#include "app/shooting_view.h"
#include "app/time_lapse.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/canvas.h"
#include "platform/mediagraph/service.h"
#include "support/fake_desktop.h"
#include "support/fixed_chooser.h"
#include "support/record_tab.h"
#include "support/solid_picture.h"
#include "support/temp_dir.h"
#include "support/window_test_main.h"
#include "test_camera.h"

namespace flipbook {
namespace {

// The pictures in the folder before the test: flat colours the blue camera never shows.
QRgb ColourOf(int index) {
    return qRgb(10 + 40 * index, 200, 30);
}
constexpr int kPictures = 4;
const QRgb kCameraBlue = qRgb(0, 0, 255);

// Milliseconds of the day in a snapshot's name (snap-yyyymmdd-hhnnsszzz.png).
int TimeOfName(const std::string& name) {
    const std::string time = name.substr(14, 9);
    return ((std::stoi(time.substr(0, 2)) * 60 + std::stoi(time.substr(2, 2))) * 60 +
            std::stoi(time.substr(4, 2))) *
               1000 +
           std::stoi(time.substr(6, 3));
}

}  // namespace

class ShootingViewTest : public QObject {
    Q_OBJECT

private slots:
    void init() {
        folder_ = std::make_unique<testing::TempDir>();
        for (int index = 0; index < kPictures; ++index) {
            QVERIFY(testing::SaveSolidPicture(folder_->File("snap-" + std::to_string(100 + index) + ".png"),
                                              320, 240, ColourOf(index)));
        }
        desktop_ = std::make_unique<testing::FakeDesktop>();
        chooser_ = std::make_unique<testing::FixedChooser>(folder_->Path().string());
        testing::SetTestCameras("Camera:320x240@30:blue:bgr");
        form_ = std::make_unique<TFormMain>();
        QVERIFY(testing::ShowOnRecordTab(*form_, testing::Activation::Active));
        // The display is written on the streaming thread under its canvas lock.
        QVERIFY(QTest::qWaitFor(
            [&] {
                Bitmap& display = form_->imGrabSample->Picture();
                std::lock_guard lock(display.GetCanvas());
                return !display.Empty();
            },
            10000));
    }
    void cleanup() {
        if (QTest::currentTestFailed()) folder_->Keep();
        form_.reset();
        chooser_.reset();
        desktop_.reset();
        folder_.reset();
    }

    void ShootingView_KeysActOnTheFullScreenPicture() {
        const QRect box = form_->imGrabSample->geometry();
        form_->lbSnapshots->setFocus();
        QVERIFY(PressOnTab(Qt::Key_F));
        TShootingView* view = form_->fmShooting;
        QVERIFY(QTest::qWaitForWindowExposed(view));
        QCOMPARE(view->geometry(), QGuiApplication::primaryScreen()->geometry());
        QVERIFY(view->isFullScreen());
        // No folder chosen yet, so no reference: the camera's picture alone, fitted 4:3 into 5:4.
        QVERIFY(QTest::qWaitFor([&] { return Shown(view, 640, 512) == kCameraBlue; }, 10000));
        QCOMPARE(Shown(view, 640, 10), qRgb(0, 0, 0));

        // The first Snap asks for the folder, then saves; the new picture becomes the reference.
        QTest::keyClick(view, Qt::Key_Space);
        QVERIFY(QTest::qWaitFor(
            [&] { return form_->PendingSaves() == 0 && form_->lbSnapshots->count() == kPictures + 1; },
            10000));
        QVERIFY(view->isVisible());

        QTest::keyClick(view, Qt::Key_Up);
        QCOMPARE(form_->tbGrabOnion->value(), 55);
        // Page Up: the picture before the new one is the reference; T shows it alone, pixel for pixel.
        QTest::keyClick(view, Qt::Key_PageUp);
        QCOMPARE(form_->lbSnapshots->currentRow(), kPictures - 1);
        // The onion skin at the slider's new weight: 45 % camera blue and 55 % of the reference.
        QVERIFY(QTest::qWaitFor([&] { return Shown(view, 640, 512) == qRgb(72, 110, 131); }, 5000));
        QTest::keyClick(view, Qt::Key_T);
        QVERIFY(QTest::qWaitFor([&] { return Shown(view, 640, 512) == ColourOf(kPictures - 1); }, 5000));
        const QImage compared = view->grab().toImage();
        for (int y = 40; y < 900; y += 37)
            for (int x = 0; x < 1280; x += 41) QCOMPARE(compared.pixel(x, y), ColourOf(kPictures - 1));

        // G: lines at the thirds of the picture (1280 x 960 below a bar of 32); any key ends T.
        QTest::keyClick(view, Qt::Key_G);
        QVERIFY(QTest::qWaitFor([&] { return Shown(view, 640, 512) != ColourOf(kPictures - 1); }, 5000));
        QVERIFY(QTest::qWaitFor(
            [&] {
                const QImage image = view->grab().toImage();
                return image.pixel(426, 200) != image.pixel(400, 200) &&
                       image.pixel(100, 32 + 320) != image.pixel(100, 300);
            },
            5000));
        QTest::keyClick(view, Qt::Key_Space);
        QVERIFY(QTest::qWaitFor(
            [&] { return form_->PendingSaves() == 0 && form_->lbSnapshots->count() == kPictures + 2; },
            10000));
        Bitmap saved;
        const std::string newest = form_->lbSnapshots->item(kPictures + 1)->text().toStdString();
        QVERIFY(LoadPicture(&saved, form_->SnapshotFolder() + newest));
        QCOMPARE(saved.Width(), 320);
        for (int y = 0; y < 240; ++y)
            for (int x = 0; x < 320; ++x) {
                const Rgb colour = saved.PixelColor(x, y);
                QVERIFY2(colour.red == 0 && colour.green == 0 && colour.blue == 255,
                         qPrintable(QString("%1,%2").arg(x).arg(y)));
            }

        QTest::keyClick(view, Qt::Key_Escape);
        QVERIFY(QTest::qWaitFor([&] { return !view->isVisible(); }, 5000));
        QCOMPARE(form_->pcMain->currentWidget(), form_->tsMainGrab);
        QCOMPARE(form_->imGrabSample->geometry(), box);
        QCOMPARE(box.size(), QSize(400, 300));
    }

    void TimeLapse_TakesTheNumberAtItsInterval() {
        form_->TimeLapse->IntervalSeconds = 1;
        form_->TimeLapse->Count = 3;
        form_->lbSnapshots->setFocus();
        QVERIFY(PressOnTab(Qt::Key_I));
        QVERIFY(form_->TimeLapse->Running());
        QVERIFY(QTest::qWaitFor([&] { return !form_->TimeLapse->Running(); }, 30000));
        QVERIFY(QTest::qWaitFor([&] { return form_->PendingSaves() == 0; }, 10000));
        QCOMPARE(form_->StatusText(),
                 QStringLiteral("Time-lapse stopped after 3 taken: all 3 pictures are taken"));
        QCOMPARE(form_->lbSnapshots->count(), kPictures + 3);
        std::vector<int> times;
        for (int row = kPictures; row < kPictures + 3; ++row)
            times.push_back(TimeOfName(form_->lbSnapshots->item(row)->text().toStdString()));
        for (std::size_t index = 1; index < times.size(); ++index)
            QVERIFY2(times[index] - times[index - 1] >= 900,
                     qPrintable(QString::number(times[index] - times[index - 1])));
    }

    void TimeLapse_IStopsAnEndlessOne() {
        form_->TimeLapse->IntervalSeconds = 1;
        form_->lbSnapshots->setFocus();
        QVERIFY(PressOnTab(Qt::Key_I));
        QVERIFY(QTest::qWaitFor([&] { return form_->TimeLapse->Taken() >= 2; }, 20000));
        QVERIFY(form_->StatusText().startsWith(QStringLiteral("Time-lapse: ")));
        QVERIFY(PressOnTab(Qt::Key_I));
        QVERIFY(!form_->TimeLapse->Running());
        const int taken = form_->TimeLapse->Taken();
        QTest::qWait(2500);
        QVERIFY(QTest::qWaitFor([&] { return form_->PendingSaves() == 0; }, 10000));
        QCOMPARE(form_->TimeLapse->Taken(), taken);
        QCOMPARE(form_->lbSnapshots->count(), kPictures + taken);
        QVERIFY(form_->StatusText().startsWith(QStringLiteral("Time-lapse stopped after")));
    }

    // While a series plays the list marks each picture shown; the reference stays, and so, at the end,
    // does the selection.
    void Playback_ListFollowsThePictureShown() {
        QTest::mouseClick(form_->btSnapshotsDir, Qt::LeftButton);
        form_->lbSnapshots->setCurrentRow(1);
        form_->PlaybackRate = 4;
        form_->lbSnapshots->setFocus();
        QVERIFY(PressOnTab(Qt::Key_P));
        std::vector<int> marked;
        while (form_->Playing()) {
            const int row = form_->lbSnapshots->currentRow();
            if (marked.empty() || marked.back() != row) marked.push_back(row);
            QTest::qWait(5);
        }
        QCOMPARE(marked.front(), 1);
        QVERIFY2(std::is_sorted(marked.begin(), marked.end()) && marked.back() == kPictures - 1,
                 qPrintable(QString::number(marked.size())));
        QCOMPARE(form_->lbSnapshots->currentRow(), 1);
        const Rgb reference =
            form_->WithPictures([](Bitmap&, Bitmap& picture) { return picture.PixelColor(5, 5); });
        QCOMPARE(qRgb(reference.red, reference.green, reference.blue), ColourOf(1));
    }

private:
    // A key of the "Record" tab's shortcuts, which act only in the active window; GUI tests running
    // beside this one on the same display may have taken the activation meanwhile.
    bool PressOnTab(Qt::Key key) {
        form_->activateWindow();
        if (!QTest::qWaitForWindowActive(form_.get())) return false;
        form_->lbSnapshots->setFocus();
        QTest::keyClick(form_->lbSnapshots, key);
        return true;
    }

    static QRgb Shown(QWidget* view, int x, int y) { return view->grab().toImage().pixel(x, y); }

    std::unique_ptr<testing::TempDir> folder_;
    std::unique_ptr<testing::FakeDesktop> desktop_;
    std::unique_ptr<testing::FixedChooser> chooser_;
    std::unique_ptr<TFormMain> form_;
};

}  // namespace flipbook

FLIPBOOK_WINDOW_TEST_MAIN(flipbook::ShootingViewTest)

#include "shooting_view_test.moc"
