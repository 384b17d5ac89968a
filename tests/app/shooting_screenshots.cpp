// SPDX-License-Identifier: GPL-3.0-or-later
// Saves pictures of the full-screen shooting view, for the documentation:
//   shooting_screenshots <folder>   writes <folder>/shooting-view.png: the test camera's moving ball
//                                   full screen over the onion skin of the time-lapse's first picture,
//                                   with the rule-of-thirds grid and the status line; and
//                                   <folder>/shooting-checks.png: the ball over four onion-skin layers
//                                   (the reference and three snaps before it), with the exposure check's
//                                   histogram
// Run it under a display of 1280 x 1024, for example xvfb-run -a -s "-screen 0 1280x1024x24"; it uses the
// test camera, never a real one.

#include <cstdio>
#include <filesystem>

#include <QDir>
#include <QListWidget>
#include <QTabWidget>
#include <QTest>

#include "app/shooting/shooting_view.h"
#include "app/shooting/time_lapse.h"
#include "app/window/application.h"
#include "app/window/fmMain.h"
#include "platform/mediagraph/service.h"
#include "support/fixed_chooser.h"
#include "support/temp_dir.h"
#include "test_camera.h"

int main(int argc, char** argv) {
    flipbook::testing::PrepareTestCamera();
    flipbook::testing::SetTestCameras("Flipbook Test Camera:1280x720@30:ball:soft");
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
    const auto save = [&](const char* name) {
        const QString path = output.filePath(QString::fromLatin1(name));
        if (view->grab().save(path)) return true;
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    };
    if (!save("shooting-view.png")) return 1;

    // Three snaps as the ball moves on, after the time-lapse's picture: the last is the reference. The
    // view opens again, so its status line no longer tells of the time-lapse's end.
    QTest::keyClick(view, Qt::Key_I);
    QTest::keyClick(view, Qt::Key_G);
    QTest::keyClick(view, Qt::Key_Escape);
    if (!QTest::qWaitFor([&] { return !view->isVisible(); }, 5000)) return 1;
    form.activateWindow();
    if (!QTest::qWaitForWindowActive(&form)) return 1;
    form.lbSnapshots->setFocus();
    QTest::keyClick(form.lbSnapshots, Qt::Key_F);
    if (!QTest::qWaitForWindowExposed(view)) return 1;
    for (int snap = 0; snap < 3; ++snap) {
        QTest::qWait(350);
        QTest::keyClick(view, Qt::Key_Space);
    }
    QTest::qWait(250);
    QTest::keyClick(view, Qt::Key_4);
    QTest::keyClick(view, Qt::Key_H);
    if (!QTest::qWaitFor([&] { return form.lbSnapshots->count() == 4 && form.PendingSaves() == 0; }, 10000))
        return 1;
    QTest::qWait(500);
    return save("shooting-checks.png") ? 0 : 1;
}
