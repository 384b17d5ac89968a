// SPDX-License-Identifier: GPL-3.0-or-later
// Saves pictures of the camera's controls, for the documentation:
//   camera_controls_screenshots <folder>   writes <folder>/camera-settings.png (the settings dialog of
//                                          the test camera, locked) and <folder>/camera-menu.png (the
//                                          live picture's context menu)
// Run it under a display, for example xvfb-run -a; it uses the test camera, never a real one.

#include <cstdio>

#include <QDir>
#include <QMenu>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

#include "app/window/application.h"
#include "app/camera/camera_settings_dialog.h"
#include "app/window/fmMain.h"
#include "app/window/image.h"
#include "platform/mediagraph/service.h"
#include "support/save_grab.h"
#include "test_camera.h"

int main(int argc, char** argv) {
    flipbook::testing::PrepareTestCamera();
    flipbook::testing::SetTestCameras("Flipbook Test Camera:640x480@30:smpte75:controls");
    flipbook::ComApartment apartment;
    flipbook::TApplication application(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: camera_controls_screenshots <folder>\n");
        return 2;
    }
    const QDir output(QString::fromLocal8Bit(argv[1]));
    flipbook::TFormMain form;
    form.show();
    if (!QTest::qWaitForWindowExposed(&form)) return 1;
    form.pcMain->setCurrentWidget(form.tsMainGrab);
    QTest::qWait(500);
    form.ToggleCameraLock();
    form.ShowCameraSettings();
    flipbook::TCameraSettingsDialog* dialog = form.CameraSettings();
    if (!dialog || !QTest::qWaitForWindowExposed(dialog)) return 1;
    bool saved = flipbook::testing::SaveGrab(*dialog, output.filePath(QStringLiteral("camera-settings.png")));
    dialog->close();

    form.pmGrabSample->popup(form.imGrabSample->mapToGlobal(QPoint(120, 100)));
    if (!QTest::qWaitForWindowExposed(form.pmGrabSample)) return 1;
    saved =
        flipbook::testing::SaveGrab(*form.pmGrabSample, output.filePath(QStringLiteral("camera-menu.png"))) &&
        saved;
    form.pmGrabSample->close();
    form.close();
    return saved ? 0 : 1;
}
