// SPDX-License-Identifier: GPL-3.0-or-later
// Saves pictures of the program at work, for the documentation:
//   snapshot_screenshots <folder>   writes <folder>/record-snaps.png (the "Record" tab with the test
//                                   camera after a few snaps) and <folder>/folder-chooser.png
// Run it under a display, for example xvfb-run -a; it uses the test camera, never a real one.

#include <cstdio>
#include <filesystem>

#include <QDir>
#include <QPushButton>
#include <QSlider>
#include <QTabWidget>
#include <QTest>

#include "app/window/application.h"
#include "app/window/fmMain.h"
#include "platform/mediagraph/service.h"
#include "support/save_grab.h"
#include "support/temp_dir.h"
#include "test_camera.h"
#include "widgets/select_dir.h"

namespace {

// Answers the folder chooser with one folder, as the user would.
class FixedChooser : public flipbook::DirectoryChooser {
public:
    explicit FixedChooser(std::string folder) : folder_(std::move(folder)) {}
    bool Select(QWidget*, std::string& directory, flipbook::SelectDirOptions, int) override {
        directory = folder_;
        return true;
    }

private:
    std::string folder_;
};

}  // namespace

int main(int argc, char** argv) {
    flipbook::testing::PrepareTestCamera();
    flipbook::testing::SetTestCameras("Flipbook Test Camera:640x480@30:ball");
    flipbook::ComApartment apartment;
    flipbook::TApplication application(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: snapshot_screenshots <folder>\n");
        return 2;
    }
    const QDir output(QString::fromLocal8Bit(argv[1]));
    flipbook::testing::TempDir pictures;
    const std::filesystem::path series = pictures.Path() / "my-animation";
    std::filesystem::create_directories(series / "scene-1");
    FixedChooser chooser(series.string());
    flipbook::InstallDirectoryChooser(&chooser);

    bool saved = false;
    {
        flipbook::TFormMain form;
        form.show();
        if (!QTest::qWaitForWindowExposed(&form)) return 1;
        form.pcMain->setCurrentWidget(form.tsMainGrab);
        form.tbGrabOnion->setValue(40);
        for (int shot = 0; shot < 4; ++shot) {
            QTest::qWait(700);  // the ball moves on between shots
            QTest::mouseClick(form.btGrabSnap, Qt::LeftButton);
        }
        QTest::qWait(400);
        if (!QTest::qWaitFor([&] { return form.PendingSaves() == 0; }, 30000)) return 1;
        saved = flipbook::testing::SaveGrab(form, output.filePath(QStringLiteral("record-snaps.png")));
        form.close();
    }
    flipbook::InstallDirectoryChooser(nullptr);

    flipbook::TSelectDirDlg dialog;
    dialog.SetAllowCreate(true);
    dialog.SetPrompt(true);
    dialog.SetHelpContext(0);
    dialog.SetStartDirectory(series.string());
    dialog.show();
    if (!QTest::qWaitForWindowExposed(&dialog)) return 1;
    saved =
        flipbook::testing::SaveGrab(dialog, output.filePath(QStringLiteral("folder-chooser.png"))) && saved;
    return saved ? 0 : 1;
}
