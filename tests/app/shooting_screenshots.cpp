// SPDX-License-Identifier: GPL-3.0-or-later
// Saves a picture of the full-screen shooting view, for the documentation:
//   shooting_screenshots <folder>   writes <folder>/shooting-view.png: the test camera's moving ball
//                                   full screen over the onion skin of the time-lapse's first picture,
//                                   with the rule-of-thirds grid and the status line
// Run it under a display of 1280 x 1024, for example xvfb-run -a -s "-screen 0 1280x1024x24"; it uses the
// test camera, never a real one.

#include <cstdio>
#include <filesystem>

#include <QDir>
#include <QListWidget>
#include <QTabWidget>
#include <QTest>

#include "app/window/application.h"
#include "app/window/fmMain.h"
#include "app/shooting/shooting_view.h"
#include "app/shooting/time_lapse.h"
#include "platform/mediagraph/service.h"
#include "support/fixed_chooser.h"
#include "support/temp_dir.h"
#include "test_camera.h"

int main(int argc, char** argv) {
    flipbook::testing::PrepareTestCamera();
    flipbook::testing::SetTestCameras("Flipbook Test Camera:1280x720@30:ball");
    flipbook::ComApartment apartment;
    flipbook::TApplication application(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: shooting_screenshots <folder>\n");
        return 2;
    }
    const QDir output(QString::fromLocal8Bit(argv[1]));
    flipbook::testing::TempDir pictures;
    const std::filesystem::path series = pictures.Path() / "my-animation";
    std::filesystem::create_directories(series);
    flipbook::testing::FixedChooser chooser(series.string());

    flipbook::TFormMain form;
    form.show();
    if (!QTest::qWaitForWindowExposed(&form)) return 1;
    form.activateWindow();
    if (!QTest::qWaitForWindowActive(&form)) return 1;
    form.pcMain->setCurrentWidget(form.tsMainGrab);
    QTest::qWait(1000);
    form.lbSnapshots->setFocus();
    QTest::keyClick(form.lbSnapshots, Qt::Key_F);
    flipbook::TShootingView* view = form.fmShooting;
    if (!QTest::qWaitForWindowExposed(view)) return 1;
    // The time-lapse's first picture is the reference; the ball has moved on from it when the grab comes.
    QTest::keyClick(view, Qt::Key_I);
    QTest::qWait(1500);
    QTest::keyClick(view, Qt::Key_G);
    QTest::qWait(300);
    const QString path = output.filePath(QStringLiteral("shooting-view.png"));
    if (!view->grab().save(path)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return 1;
    }
    return 0;
}
