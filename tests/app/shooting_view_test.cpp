// SPDX-License-Identifier: GPL-3.0-or-later
// The full-screen shooting view and time-lapse through the real window with the test camera: real keys,
// the view covering the screen, pictures saved by the window's Snap, and the list following playback.

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QFontInfo>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <QSlider>
#include <QSpinBox>
#include <QStatusBar>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "app/library/picture_files.h"
#include "app/playback/playback_session.h"
#include "app/shooting/shooting_view.h"
#include "app/shooting/time_lapse.h"
#include "app/window/application.h"
#include "app/window/fmMain.h"
#include "app/window/image.h"
#include "effects/histogram.h"
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
        // The still reference is named on screen, above the status line, or it passes for a frozen
        // camera; the status line's letters are at least 2.5 % of the screen's height.
        QVERIFY(QFontInfo(view->StatusFont()).pixelSize() * 40 >= view->height());
        const QRect banner = view->LookBanner();
        QVERIFY(!banner.isEmpty());
        QVERIFY(qGreen(compared.pixel(banner.left() + 4, banner.center().y())) <
                qGreen(ColourOf(kPictures - 1)) / 2);
        // A second T brings the mix back, and the banner goes.
        QTest::keyClick(view, Qt::Key_T);
        QVERIFY(QTest::qWaitFor([&] { return Shown(view, 640, 512) == qRgb(72, 110, 131); }, 5000));
        QVERIFY(view->LookBanner().isEmpty());
        QTest::keyClick(view, Qt::Key_T);
        QVERIFY(QTest::qWaitFor([&] { return Shown(view, 640, 512) == ColourOf(kPictures - 1); }, 5000));

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

    // The tab's blend cuts or extends a reference of another size to the camera's, in place; the view
    // shows the reference as picked, fitted whole with bars.
    void ReferenceOfAnotherSize_IsFittedWhole() {
        const QRgb narrow = qRgb(250, 20, 120);
        QVERIFY(testing::SaveSolidPicture(folder_->File("snap-200.png"), 160, 240, narrow));
        QTest::mouseClick(form_->btSnapshotsDir, Qt::LeftButton);
        form_->lbSnapshots->setCurrentRow(kPictures);
        // The tab's frames bring the reference to the camera's size.
        QVERIFY(QTest::qWaitFor(
            [&] {
                return form_->WithPictures(
                    [](Bitmap&, Bitmap& reference) { return reference.Width() == 320; });
            },
            10000));
        QVERIFY(PressOnTab(Qt::Key_F));
        TShootingView* view = form_->fmShooting;
        QVERIFY(QTest::qWaitForWindowExposed(view));
        QTest::keyClick(view, Qt::Key_T);
        // 2:3 fitted into the 1280 x 960 picture area: 640 wide in its middle, black on either side.
        QVERIFY(QTest::qWaitFor([&] { return Shown(view, 640, 512) == narrow; }, 5000));
        QCOMPARE(Shown(view, 100, 512), qRgb(0, 0, 0));
        QCOMPARE(Shown(view, 1180, 512), qRgb(0, 0, 0));
        QCOMPARE(Shown(view, 330, 100), narrow);
        QTest::keyClick(view, Qt::Key_Escape);
    }

    // Keys 1 to 5 lay the reference and the pictures before it in the list over the camera's blue, each
    // older one at half the weight of the one after it; the reference keeps the slider's 50 % and the
    // live picture weighs what is left. In 1600ths at 50: 800, 400, 200, 100 and the live picture the
    // rest, each level rounded to the nearest; the values below are worked out by hand from that.
    void OnionLayers_KeysLayThePicturesBeforeTheReference() {
        QTest::mouseClick(form_->btSnapshotsDir, Qt::LeftButton);
        form_->lbSnapshots->setCurrentRow(3);
        QVERIFY(PressOnTab(Qt::Key_F));
        TShootingView* view = form_->fmShooting;
        QVERIFY(QTest::qWaitForWindowExposed(view));
        const auto shows = [&](QRgb colour) {
            return QTest::qWaitFor(
                [&] {
                    const QImage image = view->grab().toImage();
                    // The middle and two corners of the picture (1280 x 960 below a bar of 32).
                    return image.pixel(640, 512) == colour && image.pixel(2, 34) == colour &&
                           image.pixel(1277, 800) == colour;
                },
                5000);
        };
        // One picture, as before: (50 % of (0, 0, 255)) + 50 % of (130, 200, 30).
        QVERIFY(shows(qRgb(65, 100, 143)));
        QVERIFY(view->StatusLine().contains(QStringLiteral("Onion skin: 1 picture, 50 %")));

        // 3: 130, 90 and 50 red at 800, 400 and 200, the camera at 200.
        QTest::keyClick(view, Qt::Key_3);
        QVERIFY(shows(qRgb(94, 175, 58)));
        QVERIFY2(view->StatusLine().contains(QStringLiteral("Onion skin: 3 pictures, 50 %")),
                 qPrintable(view->StatusLine()));
        // 5 asks for four before the reference; there are three, so four pictures lie over the camera.
        QTest::keyClick(view, Qt::Key_5);
        QVERIFY(shows(qRgb(94, 188, 44)));
        QVERIFY(view->StatusLine().contains(QStringLiteral("Onion skin: 4 pictures, 50 %")));
        // The layers follow the reference: Page Up, and 90, 50 and 10 red lie over the camera.
        QTest::keyClick(view, Qt::Key_PageUp);
        QVERIFY(shows(qRgb(59, 175, 58)));
        // 1 goes back to the reference alone.
        QTest::keyClick(view, Qt::Key_1);
        QVERIFY(shows(qRgb(45, 100, 143)));
        QTest::keyClick(view, Qt::Key_Escape);
    }

    // Z shows the camera's own pixels, one to one for a camera larger than the screen: the pixel under
    // the pointer in the fitted view stays under it, the mouse moves the part shown, and Esc leaves the
    // check before it leaves the view.
    void FocusCheck_ShowsTheCamerasPixelsOneToOneAtThePointer() {
        form_.reset();
        testing::SetTestCameras("Camera:1920x1080@10:circular:bgr");
        form_ = std::make_unique<TFormMain>();
        QVERIFY(testing::ShowOnRecordTab(*form_, testing::Activation::Active));
        QVERIFY(QTest::qWaitFor([&] { return !form_->LatestFrame().Empty(); }, 10000));
        const Bitmap camera = form_->LatestFrame();
        QVERIFY(PressOnTab(Qt::Key_F));
        TShootingView* view = form_->fmShooting;
        QVERIFY(QTest::qWaitForWindowExposed(view));

        // The camera fitted to 1280 x 720 below a bar of 152: at (300, 500) the view shows its pixel
        // (450, 522), which the check puts at (300, 500), so its part starts at (150, 22).
        QTest::mouseMove(view, QPoint(300, 500));
        QTest::keyClick(view, Qt::Key_Z);
        QVERIFY(ShowsOneToOne(view, camera, {150, 22, 1280, 1024}));
        // The small frame at the top left is painted over the picture.
        const QImage painted = view->grab().toImage();
        const QImage picture = view->ScreenPicture();
        bool framed = false;
        for (int x = 0; x < 200 && !framed; ++x) framed = painted.pixel(x, 40) != picture.pixel(x, 40);
        QVERIFY(framed);

        // At (1000, 700) the pixel is (1500, 822): the part starts at (500, 122), kept inside the
        // camera's 1080 rows at 56.
        QTest::mouseMove(view, QPoint(1000, 700));
        QVERIFY(ShowsOneToOne(view, camera, {500, 56, 1280, 1024}));

        QTest::keyClick(view, Qt::Key_Escape);
        QVERIFY(QTest::qWaitFor([&] { return !view->ZoomedPart() && Shown(view, 640, 100) == qRgb(0, 0, 0); },
                                5000));
        QVERIFY(view->isVisible());
        QTest::keyClick(view, Qt::Key_Z);
        QVERIFY(QTest::qWaitFor([&] { return view->ZoomedPart().has_value(); }, 5000));
        QTest::keyClick(view, Qt::Key_Z);
        QVERIFY(QTest::qWaitFor([&] { return !view->ZoomedPart(); }, 5000));
        QTest::keyClick(view, Qt::Key_Escape);
        QVERIFY(QTest::qWaitFor([&] { return !view->isVisible(); }, 5000));
    }

    // H: a histogram of the camera's picture at the top right, and its clipped pixels (the blue camera
    // is all at 255 in blue) in their stripes on the screen, but never in a picture saved meanwhile.
    void ExposureCheck_MarksTheScreenButNotTheSavedPicture() {
        QTest::mouseClick(form_->btSnapshotsDir, Qt::LeftButton);
        QVERIFY(PressOnTab(Qt::Key_F));
        TShootingView* view = form_->fmShooting;
        QVERIFY(QTest::qWaitForWindowExposed(view));
        QTest::keyClick(view, Qt::Key_H);
        QVERIFY(QTest::qWaitFor([&] { return view->ShownHistogram().has_value(); }, 5000));
        const Histogram histogram = *view->ShownHistogram();
        // Every second row and column of 320 x 240, each blue at 255 and red and green at 0.
        QCOMPARE(histogram.sampled, 160u * 120u);
        QCOMPARE(histogram.blue[255], histogram.sampled);
        QCOMPARE(histogram.red[0], histogram.sampled);
        QCOMPARE(histogram.green[0], histogram.sampled);
        QCOMPARE(histogram.luma[Luma(0, 0, 255)], histogram.sampled);
        QCOMPARE(histogram.clippedHigh, histogram.sampled);
        // The picture fills 1280 x 960 below a bar of 32; the stripes run with the screen's pixels.
        const auto marked = [&] {
            const QImage image = view->ScreenPicture();
            for (int y = 40; y < 990; y += 53)
                for (int x = 0; x < 1280; x += 37)
                    if (image.pixel(x, y) != ClippingMark(Clipping::High, x, y)) return false;
            return true;
        };
        QVERIFY(QTest::qWaitFor(marked, 5000));
        QVERIFY(QTest::qWaitFor([&] { return !view->HistogramBox().isEmpty(); }, 5000));
        const QRect box = view->HistogramBox();
        QVERIFY(box.right() < view->width() && box.top() >= 0 && box.left() > view->width() / 2);
        QVERIFY(view->grab().toImage().pixel(box.center()) != view->ScreenPicture().pixel(box.center()));

        QTest::keyClick(view, Qt::Key_Space);
        QVERIFY(QTest::qWaitFor(
            [&] { return form_->PendingSaves() == 0 && form_->lbSnapshots->count() == kPictures + 1; },
            10000));
        Bitmap saved;
        QVERIFY(LoadPicture(
            &saved, form_->SnapshotFolder() + form_->lbSnapshots->item(kPictures)->text().toStdString()));
        for (int y = 0; y < 240; ++y)
            for (int x = 0; x < 320; ++x) {
                const Rgb colour = saved.PixelColor(x, y);
                QVERIFY2(colour.red == 0 && colour.green == 0 && colour.blue == 255,
                         qPrintable(QString("%1,%2").arg(x).arg(y)));
            }

        // H again: the camera's blue as it is, and no histogram.
        QTest::keyClick(view, Qt::Key_H);
        QVERIFY(QTest::qWaitFor([&] { return Shown(view, 640, 512) == kCameraBlue; }, 5000));
        QVERIFY(!view->ShownHistogram());
        QVERIFY(view->HistogramBox().isEmpty());
        QTest::keyClick(view, Qt::Key_Escape);
    }

    // K, F, P, L, O and I act right after a click on the tab's label, wherever the focus is then (the
    // tab bar, the list, a button), and the key wins over the list's type-ahead.
    void RecordTabKeys_WorkRightAfterTheTabLabelIsClicked() {
        QTest::mouseClick(form_->btSnapshotsDir, Qt::LeftButton);
        QCOMPARE(form_->lbSnapshots->count(), kPictures);
        QTabBar* tabs = form_->pcMain->tabBar();
        const auto press = [&](Qt::Key key, QWidget* focus) {
            form_->pcMain->setCurrentWidget(form_->tsMainHelp);
            form_->activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(form_.get()));
            if (focus) focus->setFocus();
            QTest::mouseClick(tabs, Qt::LeftButton, {},
                              tabs->tabRect(form_->pcMain->indexOf(form_->tsMainGrab)).center());
            QCOMPARE(form_->pcMain->currentWidget(), form_->tsMainGrab);
            QWidget* target = QApplication::focusWidget();
            QTest::keyClick(target ? target : form_.get(), key);
        };
        press(Qt::Key_K, tabs);
        QCOMPARE(form_->StatusText(), QStringLiteral("This camera offers no controls"));

        const bool looping = form_->miSnapLoop->isChecked();
        press(Qt::Key_O, form_->lbSnapshots);
        QCOMPARE(form_->miSnapLoop->isChecked(), !looping);
        press(Qt::Key_O, form_->btGrabSnap);
        QCOMPARE(form_->miSnapLoop->isChecked(), looping);

        for (const Qt::Key key : {Qt::Key_P, Qt::Key_L}) {
            press(key, tabs);
            QVERIFY(form_->Playing());
            QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : form_.get(),
                            Qt::Key_Escape);
            QVERIFY(QTest::qWaitFor([&] { return !form_->Playing(); }, 5000));
        }

        press(Qt::Key_I, form_->lbSnapshots);
        QVERIFY(form_->TimeLapse->Running());
        form_->TimeLapse->Stop(QStringLiteral("the test is done with it"));

        press(Qt::Key_F, tabs);
        QVERIFY(form_->fmShooting->IsOpen());
        QTest::keyClick(form_->fmShooting, Qt::Key_Escape);
        QVERIFY(QTest::qWaitFor([&] { return !form_->fmShooting->isVisible(); }, 5000));

        // Right after a dialog closes (here by Esc), with no click: on a desktop that hands the keyboard
        // back nowhere (this test's display has no window manager), the window takes it again.
        QTimer escape;
        connect(&escape, &QTimer::timeout, this, [&] {
            for (QWidget* window : QApplication::topLevelWidgets())
                if (window->objectName() == QLatin1String("dlgTimeLapse") && window->isVisible())
                    QTest::keyClick(window, Qt::Key_Escape);
        });
        escape.start(50);
        form_->miSnapTimeLapse->trigger();
        escape.stop();
        QVERIFY(QTest::qWaitFor([&] { return QApplication::activeWindow() == form_.get(); }, 5000));
        const bool loopingBefore = form_->miSnapLoop->isChecked();
        QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : form_.get(), Qt::Key_O);
        QCOMPARE(form_->miSnapLoop->isChecked(), !loopingBefore);
        form_->miSnapLoop->trigger();

        // On another tab they do nothing.
        form_->pcMain->setCurrentWidget(form_->tsMainHelp);
        QTest::keyClick(form_.get(), Qt::Key_O);
        QCOMPARE(form_->miSnapLoop->isChecked(), looping);
    }

    // Small truths of the status texts: a long folder path keeps the folder's own name in sight, cut in
    // its middle; the time-lapse settings say "1 picture", not "1 pictures".
    // The view's line tells what was said since it opened, never the tab's last word before it.
    void StatusLine_TellsWhatWasSaidSinceTheViewOpened() {
        form_->miSnapLoop->trigger();
        QCOMPARE(form_->StatusText(), QStringLiteral("Loop on"));
        form_->acShootingView->trigger();
        TShootingView* view = form_->fmShooting;
        QVERIFY(view->IsOpen());
        QVERIFY2(!view->StatusLine().contains(QStringLiteral("Loop on")), qPrintable(view->StatusLine()));
        QTest::keyClick(view, Qt::Key_O);
        QVERIFY2(view->StatusLine().contains(QStringLiteral("Loop off")), qPrintable(view->StatusLine()));
        QTest::keyClick(view, Qt::Key_Escape);
    }

    void StatusTexts_ElideInTheMiddle_AndCountInTheSingular() {
        const std::string deep = folder_->Path().string() + "/" + std::string(60, 'a') + "/" +
                                 std::string(60, 'b') + "/scene-twelve";
        std::filesystem::create_directories(deep);
        chooser_.reset();  // first: each chooser puts back the one it found when it goes
        chooser_ = std::make_unique<testing::FixedChooser>(deep);
        QTest::mouseClick(form_->btSnapshotsDir, Qt::LeftButton);
        QCOMPARE(form_->StatusText(), QString::fromStdString(deep + "/"));
        const QString shown = form_->sbMain->findChild<QLabel*>()->text();
        QVERIFY2(shown.contains(QChar(0x2026)) && shown.endsWith(QStringLiteral("scene-twelve/")) &&
                     shown.startsWith(QStringLiteral("/")),
                 qPrintable(shown));

        QString suffix;
        QTimer answer;
        connect(&answer, &QTimer::timeout, this, [&] {
            for (QWidget* window : QApplication::topLevelWidgets()) {
                auto* dialog = qobject_cast<QDialog*>(window);
                if (!dialog || window->objectName() != QLatin1String("dlgTimeLapse") || !window->isVisible())
                    continue;
                suffix = window->findChild<QSpinBox*>(QStringLiteral("seCount"))->suffix();
                dialog->reject();
            }
        });
        answer.start(50);
        int interval = 10;
        int count = 1;
        QVERIFY(!AskTimeLapseSettings(form_.get(), interval, count));
        QCOMPARE(suffix, QStringLiteral(" picture"));
    }

    // However late a tick comes, the next picture keeps the start's rhythm but never comes closer than
    // nine tenths of the interval, counted in milliseconds.
    void TimeLapse_NextPictureKeepsNineTenthsOfTheInterval() {
        using std::chrono::milliseconds;
        const TTimeLapse::Clock::time_point start{};
        const struct {
            int seconds;
            int takenAt;  // ms after the start
            int due;      // ms after the start
        } cases[] = {
            {1, 0, 1000},       {1, 950, 1850},  {1, 1020, 2000},  {2, 1990, 3790},
            {2, 2500, 4300},    {5, 4990, 9490}, {5, 6000, 10500}, {15, 14999, 28499},
            {15, 16000, 30000}, {15, 0, 15000},  {2, 3700, 5500},  {5, 500, 5000},
        };
        for (const auto& row : cases) {
            const auto due = TTimeLapse::NextDue(start, start + milliseconds(row.takenAt),
                                                 std::chrono::seconds(row.seconds));
            QVERIFY2(due == start + milliseconds(row.due),
                     qPrintable(QString("%1 s, taken at %2 ms: due at %3 ms")
                                    .arg(row.seconds)
                                    .arg(row.takenAt)
                                    .arg(std::chrono::duration_cast<milliseconds>(due - start).count())));
        }
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

    // The camera pulled out during a time-lapse: the status says the series ended and why, a second
    // report of the same loss does not hide it, and I then says it cannot start, rather than that a
    // series of 0 stopped.
    void TimeLapse_CameraPulledOut_SaysTheSeriesEnded() {
        form_->TimeLapse->IntervalSeconds = 1;
        QVERIFY(PressOnTab(Qt::Key_I));
        QVERIFY(QTest::qWaitFor([&] { return form_->TimeLapse->Taken() >= 1; }, 10000));
        testing::PullOutTestCamera("Camera");
        QVERIFY(QTest::qWaitFor([&] { return form_->CameraLost() && form_->cbVideoDevices->count() == 0; },
                                10000));
        QVERIFY(!form_->TimeLapse->Running());
        const QString ended = form_->StatusText();
        QVERIFY2(
            ended.startsWith(
                QStringLiteral("Time-lapse stopped after %1 taken: Camera: ").arg(form_->TimeLapse->Taken())),
            qPrintable(ended));
        QVERIFY(PressOnTab(Qt::Key_I));
        QVERIFY(!form_->TimeLapse->Running());
        QVERIFY2(form_->StatusText().startsWith(QStringLiteral("Time-lapse not started: Camera: ")),
                 qPrintable(form_->StatusText()));
        testing::PlugInTestCamera("Camera:320x240@30:blue:bgr");
        QVERIFY(QTest::qWaitFor([&] { return !form_->CameraLost(); }, 10000));
    }

    // While a series plays the list marks each picture shown; the reference stays, and so, at the end,
    // does the selection.
    void Playback_ListFollowsThePictureShown() {
        QTest::mouseClick(form_->btSnapshotsDir, Qt::LeftButton);
        form_->lbSnapshots->setCurrentRow(1);
        form_->Playback().PlaybackRate = 4;
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

    // Whether the view comes to show the camera's part pixel for pixel over the whole screen.
    static bool ShowsOneToOne(TShootingView* view, const Bitmap& camera, PixelArea part) {
        return QTest::qWaitFor(
            [&] {
                const std::optional<PixelArea> shown = view->ZoomedPart();
                if (!shown || shown->left != part.left || shown->top != part.top ||
                    shown->width != part.width || shown->height != part.height)
                    return false;
                const QImage image = view->ScreenPicture();
                for (int y = 0; y < part.height; ++y)
                    for (int x = 0; x < part.width; ++x) {
                        const Rgb colour = camera.PixelColor(part.left + x, part.top + y);
                        if (image.pixel(x, y) != qRgb(colour.red, colour.green, colour.blue)) return false;
                    }
                return true;
            },
            5000);
    }

    std::unique_ptr<testing::TempDir> folder_;
    std::unique_ptr<testing::FakeDesktop> desktop_;
    std::unique_ptr<testing::FixedChooser> chooser_;
    std::unique_ptr<TFormMain> form_;
};

}  // namespace flipbook

FLIPBOOK_WINDOW_TEST_MAIN(flipbook::ShootingViewTest)

#include "shooting_view_test.moc"
