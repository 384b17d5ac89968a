// SPDX-License-Identifier: GPL-3.0-or-later
// Undo and redo of Snap and "Delete Picture" through the real window with the test camera, with the
// real keys on the "Record" tab and in the full-screen shooting view, and the real trash of a desktop
// of the test's own.

#include <QAction>
#include <QListWidget>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "app/shooting/shooting_view.h"
#include "app/window/application.h"
#include "app/window/fmMain.h"
#include "platform/graphics/bitmap.h"
#include "platform/mediagraph/service.h"
#include "support/fake_desktop.h"
#include "support/fixed_chooser.h"
#include "support/hanging_fsync.h"
#include "support/record_tab.h"
#include "support/solid_picture.h"
#include "support/temp_dir.h"
#include "support/window_test_main.h"
#include "test_camera.h"

namespace flipbook {
namespace {

constexpr Rgb kRed{255, 0, 0};
constexpr Rgb kGreen{0, 255, 0};
constexpr Rgb kCameraBlue{0, 0, 255};

std::filesystem::path Trash() {
    return std::filesystem::path(std::getenv("XDG_DATA_HOME")) / "Trash";
}

std::vector<std::string> Entries(const QListWidget* list) {
    std::vector<std::string> names;
    for (int row = 0; row < list->count(); ++row) names.push_back(list->item(row)->text().toStdString());
    return names;
}

std::string Content(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream read;
    read << in.rdbuf();
    return read.str();
}

}  // namespace

class SnapshotHistoryTest : public QObject {
    Q_OBJECT

private slots:
    void init() {
        folder_ = std::make_unique<testing::TempDir>();
        QVERIFY(testing::SaveSolidPicture(folder_->File("a.png"), 160, 120, qRgb(255, 0, 0)));
        QVERIFY(testing::SaveSolidPicture(folder_->File("b.png"), 160, 120, qRgb(0, 255, 0)));
        desktop_ = std::make_unique<testing::FakeDesktop>();
        chooser_ = std::make_unique<testing::FixedChooser>(folder_->Path().string());
        testing::SetTestCameras("Camera:160x120@30:blue:bgr");
        form_ = std::make_unique<TFormMain>();
        QVERIFY(testing::ShowOnRecordTab(*form_, testing::Activation::Active));
        QVERIFY(QTest::qWaitFor([&] { return !form_->LatestFrame().Empty(); }, 10000));
        QTest::mouseClick(form_->btSnapshotsDir, Qt::LeftButton);
        QCOMPARE(Entries(form_->lbSnapshots), (std::vector<std::string>{"a.png", "b.png"}));
    }
    void cleanup() {
        testing::ReleaseHangingFsync();
        if (QTest::currentTestFailed()) folder_->Keep();
        form_.reset();
        chooser_.reset();
        desktop_.reset();
        folder_.reset();
    }

    // Snap and Delete taken back and done again, on the tab wherever the focus is and in the shooting
    // view: the picture goes to the trash and comes back to its own name and place, selected, as the
    // reference; a name taken by now, or a trash emptied, is said and changes nothing.
    void UndoAndRedo_OfSnapAndDelete_GoThroughTheTrash() {
        ClickEntry(1);
        QCOMPARE(ReferenceColor(), kGreen);
        Snap();
        const std::string snap = Entries(form_->lbSnapshots).back();
        const QString shownSnap = QString::fromStdString(snap);
        QCOMPARE(ReferenceColor(), kCameraBlue);

        // The reference returns to the picture picked before the Snap.
        PressOnTab(Qt::Key_Z, Qt::ControlModifier, form_->lbSnapshots);
        QCOMPARE(form_->StatusText(), QStringLiteral("Undone: %1 is in the trash again").arg(shownSnap));
        QVERIFY(!std::filesystem::exists(folder_->File(snap)));
        QVERIFY(std::filesystem::exists(Trash() / "files" / snap));
        QCOMPARE(Entries(form_->lbSnapshots), (std::vector<std::string>{"a.png", "b.png"}));
        QCOMPARE(form_->lbSnapshots->currentRow(), 1);
        QCOMPARE(ReferenceColor(), kGreen);

        PressOnTab(Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier, TabBar());
        QCOMPARE(form_->StatusText(), QStringLiteral("Redone: %1 is back from the trash").arg(shownSnap));
        QCOMPARE(Entries(form_->lbSnapshots), (std::vector<std::string>{"a.png", "b.png", snap}));
        QCOMPARE(form_->lbSnapshots->currentRow(), 2);
        QCOMPARE(ReferenceColor(), kCameraBlue);
        QVERIFY(!std::filesystem::exists(Trash() / "files" / snap));
        QVERIFY(!std::filesystem::exists(Trash() / "info" / (snap + ".trashinfo")));
        PressOnTab(Qt::Key_Y, Qt::ControlModifier, form_->btGrabSnap);
        QCOMPARE(form_->StatusText(), QStringLiteral("Nothing to redo"));

        // The first picture deleted; in the shooting view it comes back, selected, and goes again.
        ClickEntry(0);
        form_->miSnapDelete->trigger();
        QCOMPARE(Entries(form_->lbSnapshots), (std::vector<std::string>{"b.png", snap}));
        QCOMPARE(ReferenceColor(), kGreen);
        PressOnTab(Qt::Key_F, Qt::NoModifier, form_->lbSnapshots);
        TShootingView* view = form_->fmShooting;
        QVERIFY(QTest::qWaitForWindowExposed(view));
        QTest::keyClick(view, Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(form_->StatusText(), QStringLiteral("Undone: a.png is back from the trash"));
        QVERIFY(std::filesystem::exists(folder_->File("a.png")));
        QCOMPARE(Entries(form_->lbSnapshots), (std::vector<std::string>{"a.png", "b.png", snap}));
        QCOMPARE(form_->lbSnapshots->currentRow(), 0);
        QCOMPARE(ReferenceColor(), kRed);
        QTest::keyClick(view, Qt::Key_Y, Qt::ControlModifier);
        QCOMPARE(form_->StatusText(), QStringLiteral("Redone: a.png is in the trash again"));
        QVERIFY(!std::filesystem::exists(folder_->File("a.png")));
        QCOMPARE(Entries(form_->lbSnapshots), (std::vector<std::string>{"b.png", snap}));
        QCOMPARE(ReferenceColor(), kGreen);
        QTest::keyClick(view, Qt::Key_Escape);
        QVERIFY(QTest::qWaitFor([&] { return !view->isVisible(); }, 5000));

        // Another program took the name meanwhile: nothing moves, and the step waits to be tried again.
        std::ofstream(folder_->File("a.png")) << "another program's";
        const int beeps = desktop_->beeps;
        PressOnTab(Qt::Key_Z, Qt::ControlModifier, form_->lbSnapshots);
        QCOMPARE(form_->StatusText(), QStringLiteral("Cannot undo: the name a.png is taken by another file"));
        QCOMPARE(desktop_->beeps, beeps + 1);
        QCOMPARE(Content(folder_->File("a.png")), std::string("another program's"));
        QVERIFY(std::filesystem::exists(Trash() / "files" / "a.png"));

        // The trash was emptied: the picture is gone for good, and the step cannot be undone.
        std::filesystem::remove(folder_->File("a.png"));
        std::filesystem::remove_all(Trash());
        PressOnTab(Qt::Key_Z, Qt::ControlModifier, form_->lbSnapshots);
        QCOMPARE(form_->StatusText(), QStringLiteral("Cannot undo: the trash no longer holds a.png"));
        QVERIFY(!std::filesystem::exists(folder_->File("a.png")));
        QVERIFY(QTest::qWaitFor([&] { return Entries(form_->lbSnapshots).size() == 2; }, 10000));
        QCOMPARE(Entries(form_->lbSnapshots), (std::vector<std::string>{"b.png", snap}));
    }

    // Ctrl+Z right after Snap, while the picture is still being saved: it goes to the trash once its
    // file exists, and the reference returns to the picture before. Undone and redone before the save
    // ends, the picture simply stays.
    void UndoOfASnapStillBeingSaved_WaitsForItsFile() {
        ClickEntry(0);
        testing::HangFsyncIn(folder_->Path().string());
        QTest::mouseClick(form_->btGrabSnap, Qt::LeftButton);
        QVERIFY(QTest::qWaitFor([] { return testing::HangingFsyncs() == 1; }, 10000));
        PressOnTab(Qt::Key_Z, Qt::ControlModifier, form_->lbSnapshots);
        const QString waiting = form_->StatusText();
        QVERIFY2(waiting.startsWith(QStringLiteral("Undoing: snap-")) &&
                     waiting.endsWith(QStringLiteral(".png goes to the trash once it is saved")),
                 qPrintable(waiting));
        const std::string snap = waiting.section(QLatin1Char(' '), 1, 1).toStdString();
        QCOMPARE(form_->PendingSaves(), 1);
        testing::ReleaseHangingFsync();
        QVERIFY(QTest::qWaitFor([&] { return form_->PendingSaves() == 0; }, 30000));
        QCOMPARE(form_->StatusText(),
                 QStringLiteral("Undone: %1 is in the trash again").arg(QString::fromStdString(snap)));
        QVERIFY(!std::filesystem::exists(folder_->File(snap)));
        QVERIFY(std::filesystem::exists(Trash() / "files" / snap));
        QCOMPARE(Entries(form_->lbSnapshots), (std::vector<std::string>{"a.png", "b.png"}));
        QCOMPARE(form_->lbSnapshots->currentRow(), 0);
        QCOMPARE(ReferenceColor(), kRed);
        PressOnTab(Qt::Key_Z, Qt::ControlModifier, form_->lbSnapshots);
        QCOMPARE(form_->StatusText(), QStringLiteral("Nothing to undo"));

        testing::HangFsyncIn(folder_->Path().string());
        QTest::mouseClick(form_->btGrabSnap, Qt::LeftButton);
        QVERIFY(QTest::qWaitFor([] { return testing::HangingFsyncs() == 1; }, 10000));
        PressOnTab(Qt::Key_Z, Qt::ControlModifier, form_->lbSnapshots);
        PressOnTab(Qt::Key_Y, Qt::ControlModifier, form_->lbSnapshots);
        const QString stays = form_->StatusText();
        QVERIFY2(
            stays.startsWith(QStringLiteral("Redone: snap-")) && stays.endsWith(QStringLiteral(".png stays")),
            qPrintable(stays));
        testing::ReleaseHangingFsync();
        QVERIFY(QTest::qWaitFor([&] { return form_->PendingSaves() == 0; }, 30000));
        const std::string kept = stays.section(QLatin1Char(' '), 1, 1).toStdString();
        QVERIFY(std::filesystem::exists(folder_->File(kept)));
        QCOMPARE(Entries(form_->lbSnapshots), (std::vector<std::string>{"a.png", "b.png", kept}));
        QCOMPARE(ReferenceColor(), kCameraBlue);
    }

private:
    // Presses Snap and waits until the writer has reported the picture back.
    void Snap() {
        QTest::mouseClick(form_->btGrabSnap, Qt::LeftButton);
        QVERIFY(QTest::qWaitFor([&] { return form_->PendingSaves() == 0; }, 30000));
    }
    // The key as a user presses it on the "Record" tab, with the focus on the given control.
    void PressOnTab(Qt::Key key, Qt::KeyboardModifiers modifiers, QWidget* focus) {
        form_->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(form_.get()));
        focus->setFocus();
        QTest::keyClick(focus, key, modifiers);
    }
    QTabBar* TabBar() const { return form_->pcMain->tabBar(); }
    void ClickEntry(int row) {
        QListWidget* list = form_->lbSnapshots;
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                          list->visualItemRect(list->item(row)).center());
        QCOMPARE(list->currentRow(), row);
    }
    Rgb ReferenceColor() {
        return form_->WithPictures([](Bitmap&, Bitmap& reference) {
            return reference.Empty() ? Rgb{1, 2, 3} : reference.PixelColor(80, 60);
        });
    }

    std::unique_ptr<testing::TempDir> folder_;
    std::unique_ptr<testing::FakeDesktop> desktop_;
    std::unique_ptr<testing::FixedChooser> chooser_;
    std::unique_ptr<TFormMain> form_;
};

}  // namespace flipbook

FLIPBOOK_WINDOW_TEST_MAIN_WITH_OWN_TRASH(flipbook::SnapshotHistoryTest)

#include "snapshot_history_test.moc"
