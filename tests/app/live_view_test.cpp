// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's live view over the test camera: device box, device changes, closing, the onion
// skin, and frames flowing while everything else changes.

#include <QCheckBox>
#include <QComboBox>
#include <QImage>
#include <QPushButton>
#include <QSlider>
#include <QTest>

#include <memory>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

#include "app/window/application.h"
#include "app/window/fmMain.h"
#include "app/window/image.h"
#include "capture/filter.h"
#include "capture/filter_graph.h"
#include "capture/sample_grabber.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/canvas.h"
#include "platform/mediagraph/service.h"
#include "support/fake_desktop.h"
#include "support/fixed_chooser.h"
#include "support/record_tab.h"
#include "support/temp_dir.h"
#include "support/window_test_main.h"
#include "test_camera.h"

namespace flipbook {
namespace {

// The display's width after every frame the window's handler drew.
struct FrameLog {
    std::mutex mutex;
    std::vector<int> displayWidths;

    std::size_t Count() {
        std::lock_guard lock(mutex);
        return displayWidths.size();
    }
    std::vector<int> Widths() {
        std::lock_guard lock(mutex);
        return displayWidths;
    }
    void Clear() {
        std::lock_guard lock(mutex);
        displayWidths.clear();
    }
};

Bitmap Solid(int width, int height, Rgb color) {
    Bitmap bitmap;
    bitmap.SetSize(width, height);
    bitmap.GetCanvas().SetBrushColor(color);
    bitmap.GetCanvas().FillRect({0, 0, width, height});
    return bitmap;
}

// A picture whose every pixel differs from its neighbours: red x, green y, blue x + y.
Bitmap Gradient(int width, int height) {
    Bitmap bitmap;
    bitmap.SetSize(width, height);
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = bitmap.ScanLine(y);
        for (int x = 0; x < width; ++x) {
            row[3 * x] = static_cast<std::uint8_t>(x + y);
            row[3 * x + 1] = static_cast<std::uint8_t>(y);
            row[3 * x + 2] = static_cast<std::uint8_t>(x);
        }
    }
    return bitmap;
}

bool Near(QRgb actual, Rgb expected) {
    auto close = [](int a, int b) { return std::abs(a - b) <= 24; };
    return close(qRed(actual), expected.red) && close(qGreen(actual), expected.green) &&
           close(qBlue(actual), expected.blue);
}

}  // namespace

class LiveViewTest : public QObject {
    Q_OBJECT

private slots:
    void cleanup() {
        form_.reset();
        testing::SetTestCameras("");
    }

    void Show_RunsTheFirstDevice_AndTheImageShowsItsPicture() {
        Start("Camera A:320x240@30:smpte:yuy2;Camera B:160x120@30:ball:mjpeg");
        QCOMPARE(form_->cbVideoDevices->count(), 2);
        QCOMPARE(form_->cbVideoDevices->itemText(0), QStringLiteral("Camera A"));
        QCOMPARE(form_->cbVideoDevices->itemText(1), QStringLiteral("Camera B"));
        QCOMPARE(form_->cbVideoDevices->currentIndex(), 0);
        QVERIFY(form_->fwFilterGraph->Active());
        WaitForFrames(3);
        {
            Bitmap& display = form_->imGrabSample->Picture();
            std::lock_guard lock(display.GetCanvas());
            QCOMPARE(display.Width(), 320);
            QCOMPARE(display.Height(), 240);
            QCOMPARE(display.BitsPerPixel(), 24);
        }
        // The control stretches the 320 x 240 frame to its 400 x 300: the bars scale by 1.25.
        QCOMPARE(form_->imGrabSample->size(), QSize(400, 300));
        const QImage shown = form_->imGrabSample->grab().toImage();
        QVERIFY(Near(shown.pixel(25, 50), {255, 255, 255}));
        QVERIFY(Near(shown.pixel(81, 50), {255, 255, 0}));
        QVERIFY(Near(shown.pixel(375, 50), {0, 0, 255}));
    }

    void SelectingAnotherDevice_StopsTheOldGraphBeforeTheNewDeviceBinds() {
        Start("Camera A:320x240@30:smpte:yuy2;Camera B:160x120@30:ball:mjpeg");
        const Bitmap reference = Solid(320, 240, {0, 200, 0});
        form_->WithPictures([&](Bitmap&, Bitmap& picture) { picture = reference; });
        WaitForFrames(2);
        // The new device binds when the graph becomes active again with the source's new moniker. By
        // then the old graph has stopped: none of its frames comes later, and its last frame is no
        // longer the camera's, so a Snap takes nothing and leaves the reference as it is.
        testing::TempDir folder;
        const testing::FixedChooser chooser(folder.Path().string());
        std::optional<std::size_t> framesWhenBound;
        QString snapWhenBound;
        form_->fwFilterGraph->OnActivate = [&](TFilterGraph&) {
            framesWhenBound = frames_->Count();
            QTest::mouseClick(form_->btGrabSnap, Qt::LeftButton);
            snapWhenBound = form_->StatusText();
        };
        SelectDevice(1);
        form_->fwFilterGraph->OnActivate = nullptr;
        QVERIFY(framesWhenBound.has_value());
        QCOMPARE(snapWhenBound, QStringLiteral("No picture from the camera yet"));
        QCOMPARE(form_->WithPictures([&](Bitmap&, Bitmap& picture) { return picture.PixelColor(7, 7); }),
                 (Rgb{0, 200, 0}));
        WaitForFrames(5);
        const std::vector<int> widths = frames_->Widths();
        QCOMPARE(widths.front(), 320);
        for (std::size_t index = *framesWhenBound; index < widths.size(); ++index)
            QCOMPARE(widths[index], 160);
        QVERIFY(form_->fwFilterGraph->Active());
    }

    void Close_StopsClearsAndDeactivatesTheGraph() {
        Start("Camera:160x120@60");
        WaitForFrames(2);
        QVERIFY(form_->close());
        QVERIFY(!form_->fwFilterGraph->Active());
        QVERIFY(!form_->fwSampleGrabber->GetFilter());
        QVERIFY(!form_->fwFilterSource->GetFilter());
        const std::size_t after = frames_->Count();
        QTest::qWait(100);
        QCOMPARE(frames_->Count(), after);
    }

    // The box itself is Qt's; what is checked here is the window's answer to the click: the track
    // bar follows it, and the display shows the live picture alone, then mixed with the reference again.
    void OnionSkinOff_ShowsTheLivePicture_AndDisablesTheTrackBar() {
        Start("Camera:320x240@30:snow:bgr");
        const Bitmap reference = Solid(320, 240, {200, 0, 0});
        form_->WithPictures([&](Bitmap&, Bitmap& picture) { picture = reference; });
        WaitForFrames(3);
        QVERIFY(QTest::qWaitFor([&] { return DisplayMixes(reference, 50); }, 5000));

        QTest::mouseClick(form_->ckGrabOnion, Qt::LeftButton);
        QVERIFY(!form_->tbGrabOnion->isEnabled());
        QVERIFY(QTest::qWaitFor([&] { return DisplayShowsTheLatestFrame(); }, 5000));

        QTest::mouseClick(form_->ckGrabOnion, Qt::LeftButton);
        QVERIFY(form_->tbGrabOnion->isEnabled());
        QVERIFY(QTest::qWaitFor([&] { return DisplayMixes(reference, 50); }, 5000));
    }

    void OnionSkinOnWithoutReference_ShowsTheLivePicture() {
        Start("Camera:320x240@30:snow:bgr");
        QVERIFY(form_->ckGrabOnion->isChecked());
        WaitForFrames(3);
        QVERIFY(QTest::qWaitFor([&] { return DisplayShowsTheLatestFrame(); }, 5000));
    }

    void Weight100_ShowsOnlyTheReference() {
        Start("Camera:320x240@30:snow:bgr");
        form_->tbGrabOnion->setValue(100);
        const Bitmap reference = Gradient(320, 240);
        form_->WithPictures([&](Bitmap&, Bitmap& picture) { picture = reference; });
        WaitForFrames(3);
        Bitmap& display = form_->imGrabSample->Picture();
        std::lock_guard lock(display.GetCanvas());
        for (int y = 0; y < 240; y += 7)
            for (int x = 0; x < 320; x += 5) QCOMPARE(display.PixelColor(x, y), reference.PixelColor(x, y));
    }

    // Weight 37: every displayed byte is 63 % of the live frame and 37 % of the reference.
    void Weight37_MixesBothPictures() {
        Start("Camera:320x240@30:snow:bgr");
        form_->tbGrabOnion->setValue(37);
        const Bitmap reference = Gradient(320, 240);
        form_->WithPictures([&](Bitmap&, Bitmap& picture) { picture = reference; });
        WaitForFrames(3);
        QVERIFY(QTest::qWaitFor([&] { return DisplayMixes(reference, 37); }, 5000));
    }

    void LargerReference_IsCutToItsTopLeft_SmallerOneExtendedWithWhite() {
        Start("Camera:320x240@30:smpte:yuy2");
        form_->tbGrabOnion->setValue(100);
        const Bitmap large = Gradient(640, 480);
        form_->WithPictures([&](Bitmap&, Bitmap& reference) { reference = large; });
        WaitForFrames(3);
        form_->WithPictures([&](Bitmap&, Bitmap& reference) {
            QCOMPARE(reference.Width(), 320);
            QCOMPARE(reference.Height(), 240);
            QCOMPARE(reference.PixelColor(319, 239), large.PixelColor(319, 239));
            QCOMPARE(reference.PixelColor(5, 9), large.PixelColor(5, 9));
        });

        const Bitmap small = Gradient(160, 120);
        form_->WithPictures([&](Bitmap&, Bitmap& reference) { reference = small; });
        WaitForFrames(3);
        form_->WithPictures([&](Bitmap&, Bitmap& reference) {
            QCOMPARE(reference.Width(), 320);
            QCOMPARE(reference.Height(), 240);
            QCOMPARE(reference.PixelColor(159, 119), small.PixelColor(159, 119));
            QCOMPARE(reference.PixelColor(160, 10), kWhite);
            QCOMPARE(reference.PixelColor(10, 120), kWhite);
            QCOMPARE(reference.PixelColor(319, 239), kWhite);
        });
    }

    // Run under ThreadSanitizer: the streaming thread draws while the user-interface thread switches
    // devices, replaces the reference picture and moves the onion-skin controls.
    void FramesFlowing_WhileDevicesSwitchAndReferencesChange() {
        Start("A:160x120@60:snow:yuy2;B:200x150@60:ball:mjpeg");
        for (int round = 0; round < 12; ++round) {
            SelectDevice(round % 2);
            for (int i = 0; i < 40; ++i) {
                const Bitmap latest = i % 3 == 0 ? form_->LatestFrame() : Bitmap();
                form_->WithPictures([&](Bitmap&, Bitmap& reference) {
                    if (i % 3 == 0)
                        reference = latest;  // as Snap does
                    else if (i % 3 == 1)
                        reference = Solid(90 + i, 70, {0, 0, 255});
                    else
                        reference.Clear();
                });
                form_->tbGrabOnion->setValue(1 + (i * 7) % 100);
                if (i % 10 == 0) QTest::mouseClick(form_->ckGrabOnion, Qt::LeftButton);
                QTest::qWait(1);
            }
        }
        // Frames still come, all of them the last chosen device's, drawn whole.
        frames_->Clear();
        WaitForFrames(3);
        for (const int width : frames_->Widths()) QCOMPARE(width, 200);
        QVERIFY(form_->close());
    }

private:
    void Start(const std::string& cameras) {
        testing::SetTestCameras(cameras);
        form_ = std::make_unique<TFormMain>();
        frames_ = std::make_shared<FrameLog>();
        // Watches the window's own handler, which stays in charge of every frame.
        Bitmap* display = &form_->imGrabSample->Picture();
        form_->fwSampleGrabber->OnBuffer = [handler = form_->fwSampleGrabber->OnBuffer, log = frames_,
                                            display](TSampleGrabber& sender, double time,
                                                     const std::uint8_t* buffer, std::uint32_t length) {
            handler(sender, time, buffer, length);
            int width = 0;
            {
                std::lock_guard lock(display->GetCanvas());
                width = display->Width();
            }
            std::lock_guard lock(log->mutex);
            log->displayWidths.push_back(width);
        };
        QVERIFY(testing::ShowOnRecordTab(*form_));
    }

    void SelectDevice(int index) {
        form_->cbVideoDevices->setCurrentIndex(index);
        emit form_->cbVideoDevices->activated(index);
    }

    void WaitForFrames(std::size_t count) {
        const std::size_t target = frames_->Count() + count;
        QVERIFY(QTest::qWaitFor([&] { return frames_->Count() >= target; }, 10000));
    }

    // Copies of the display and the camera's latest frame, taken together under the display's lock.
    std::pair<Bitmap, Bitmap> DisplayAndLatestFrame() {
        Bitmap& display = form_->imGrabSample->Picture();
        std::lock_guard lock(display.GetCanvas());
        return {display, form_->LatestFrame()};
    }
    // True when the display holds the latest frame mixed with the reference at the slider position:
    // each byte the live frame's (100 - position) % and the reference's position %, rounded. Checked on
    // a grid of pixels; false until the display and the grabber hold the same frame (the grabber keeps
    // a new one just before it is drawn).
    bool DisplayMixes(const Bitmap& reference, int position) {
        const auto [display, live] = DisplayAndLatestFrame();
        if (live.Empty() || display.PixelBytes() != live.PixelBytes()) return false;
        const double weight = position / 100.0;
        for (int y = 0; y < live.Height(); y += 7) {
            for (int x = 0; x < live.Width(); x += 5) {
                for (int byte = 0; byte < 3; ++byte) {
                    const double mixed = (1 - weight) * live.ScanLine(y)[3 * x + byte] +
                                         weight * reference.ScanLine(y)[3 * x + byte];
                    if (std::abs(display.ScanLine(y)[3 * x + byte] - mixed) > 0.5 + 1e-9) return false;
                }
            }
        }
        return true;
    }
    bool DisplayShowsTheLatestFrame() {
        const auto [display, live] = DisplayAndLatestFrame();
        return !live.Empty() && live.PixelBytes() == display.PixelBytes() &&
               std::equal(live.Pixels(), live.Pixels() + live.PixelBytes(), display.Pixels());
    }

    testing::FakeDesktop desktop_;
    std::unique_ptr<TFormMain> form_;
    std::shared_ptr<FrameLog> frames_;
};

}  // namespace flipbook

FLIPBOOK_WINDOW_TEST_MAIN(flipbook::LiveViewTest)

#include "live_view_test.moc"
