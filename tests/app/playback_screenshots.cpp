// SPDX-License-Identifier: GPL-3.0-or-later
// Saves pictures of playback and export, for the documentation:
//   playback_screenshots <folder>   writes <folder>/record-playback.png (the "Record" tab playing the
//                                   last frames, with the list's context menu beside it as
//                                   <folder>/playback-menu.png) and <folder>/export-dialog.png
// Run it under a display, for example xvfb-run -a; it uses the test camera, never a real one.

#include <cstdio>
#include <filesystem>

#include <QAction>
#include <QDir>
#include <QListWidget>
#include <QMenu>
#include <QProgressDialog>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

#include "app/playback/playback_session.h"
#include "app/window/application.h"
#include "app/window/fmMain.h"
#include "platform/mediagraph/service.h"
#include "support/fixed_chooser.h"
#include "support/save_grab.h"
#include "support/temp_dir.h"
#include "test_camera.h"

int main(int argc, char** argv) {
    flipbook::testing::PrepareTestCamera();
    flipbook::testing::SetTestCameras("Flipbook Test Camera:640x480@30:ball");
    flipbook::ComApartment apartment;
    flipbook::TApplication application(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: playback_screenshots <folder>\n");
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
    form.pcMain->setCurrentWidget(form.tsMainGrab);
    for (int shot = 0; shot < 12; ++shot) {
        QTest::qWait(250);  // the ball moves on between shots
        QTest::mouseClick(form.btGrabSnap, Qt::LeftButton);
    }

    bool saved = true;
    form.pmSnapshots->popup(form.lbSnapshots->viewport()->mapToGlobal(QPoint(60, 60)));
    QTest::qWait(300);
    saved = flipbook::testing::SaveGrab(*form.pmSnapshots,
                                        output.filePath(QStringLiteral("playback-menu.png"))) &&
            saved;
    form.pmSnapshots->hide();

    form.Playback().PlaybackRate = 4;  // slow enough to catch a frame of the ball's past
    form.miSnapPlayLast->trigger();
    QTest::qWait(900);
    saved =
        flipbook::testing::SaveGrab(form, output.filePath(QStringLiteral("record-playback.png"))) && saved;
    QTest::keyClick(&form, Qt::Key_Escape);  // any key stops playback

    // The dialog shows while the export runs; a grab halfway, then cancelled.
    form.Playback().AskExportPath = [&series](const std::string&) {
        return (series / "my-animation.mp4").string();
    };
    QTimer grabber;
    QObject::connect(&grabber, &QTimer::timeout, [&] {
        auto* dialog = form.findChild<QProgressDialog*>(QStringLiteral("dlgExportVideo"));
        if (!dialog || !dialog->isVisible() || dialog->value() < 5) return;
        grabber.stop();
        saved = flipbook::testing::SaveGrab(*dialog, output.filePath(QStringLiteral("export-dialog.png"))) &&
                saved;
        dialog->cancel();
    });
    grabber.start(5);
    form.Playback().PlaybackRate = 12;
    form.miSnapExport->trigger();
    form.close();
    return saved && !grabber.isActive() ? 0 : 1;
}
