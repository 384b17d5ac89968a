// SPDX-License-Identifier: GPL-3.0-or-later
// Saves a picture of the "Record" tab with the test camera live and the onion skin on, for the
// documentation:
//   live_view_screenshot <file.png>
// A frame of the first test camera (colour bars) is taken as the reference picture, as Snap takes it,
// then the second camera (a moving ball) is selected, so the picture shows one laid over the other.
// Run it under a display, for example xvfb-run -a.

#include <cstdio>

#include <QComboBox>
#include <QTabWidget>
#include <QTest>

#include "app/window/application.h"
#include "app/window/fmMain.h"
#include "app/window/image.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/canvas.h"
#include "platform/mediagraph/service.h"
#include "test_camera.h"

namespace {

// Waits until the display holds a picture of the given width.
bool WaitForDisplay(flipbook::TFormMain& form, int width) {
    return QTest::qWaitFor(
        [&] {
            flipbook::Bitmap& display = form.imGrabSample->Picture();
            std::lock_guard lock(display.GetCanvas());
            return display.Width() == width;
        },
        10000);
}

}  // namespace

int main(int argc, char** argv) {
    flipbook::testing::PrepareTestCamera();
    flipbook::testing::SetTestCameras(
        "Test Camera:320x240@30:smpte:yuy2;Second Test Camera:320x240@30:ball:mjpeg");
    flipbook::ComApartment apartment;
    flipbook::TApplication application(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: live_view_screenshot <file.png>\n");
        return 2;
    }
    flipbook::TFormMain form;
    form.show();
    if (!QTest::qWaitForWindowExposed(&form)) return 1;
    form.pcMain->setCurrentWidget(form.tsMainGrab);
    if (!WaitForDisplay(form, 320)) return 1;
    const flipbook::Bitmap frame = form.LatestFrame();
    form.WithPictures([&](flipbook::Bitmap&, flipbook::Bitmap& reference) { reference = frame; });
    form.cbVideoDevices->setCurrentIndex(1);
    emit form.cbVideoDevices->activated(1);
    QTest::qWait(500);  // let the ball move into the picture and the window paint
    if (form.grab().save(QString::fromLocal8Bit(argv[1]))) return 0;
    std::fprintf(stderr, "cannot write %s\n", argv[1]);
    return 1;
}
