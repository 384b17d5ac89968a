// SPDX-License-Identifier: GPL-3.0-or-later
// The snapshot library end to end through the real window with the test camera: choosing the folder
// on the first Snap, saving in every format, listing, picking the reference, and moving pictures to
// the trash.

#include <QAction>
#include <QComboBox>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QSlider>
#include <QStatusBar>
#include <QTest>

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "app/library/picture_files.h"
#include "app/library/snapshot_folder.h"
#include "app/playback/playback_session.h"
#include "app/window/application.h"
#include "app/window/fmMain.h"
#include "app/window/image.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/canvas.h"
#include "platform/mediagraph/service.h"
#include "support/fake_desktop.h"
#include "support/record_tab.h"
#include "support/temp_dir.h"
#include "support/window_test_main.h"
#include "test_camera.h"
#include "widgets/select_dir.h"

namespace flipbook {
namespace {

// Answers the folder chooser instead of the dialog, counting how often it was asked.
class AnsweringChooser : public DirectoryChooser {
public:
    AnsweringChooser() : previous_(InstallDirectoryChooser(this)) {}
    ~AnsweringChooser() override { InstallDirectoryChooser(previous_); }
    AnsweringChooser(const AnsweringChooser&) = delete;
    AnsweringChooser& operator=(const AnsweringChooser&) = delete;

    bool Select(QWidget*, std::string& directory, SelectDirOptions options, int helpContext) override {
        ++asked;
        lastOptions = options;
        lastHelpContext = helpContext;
        if (!answer) return false;
        directory = *answer;
        return true;
    }

    std::optional<std::string> answer;
    int asked = 0;
    SelectDirOptions lastOptions;
    int lastHelpContext = -1;

private:
    DirectoryChooser* previous_;
};

std::vector<std::string> Entries(const QListWidget* list) {
    std::vector<std::string> names;
    for (int row = 0; row < list->count(); ++row) names.push_back(list->item(row)->text().toStdString());
    return names;
}

// The same picture: exactly, or for a lossy format with a mean difference per colour byte of at most
// the tolerance (sharp colour edges of the test pattern ring and lose colour to subsampling, about 5
// levels on average at quality 90; a swap of red and blue would be near 100).
bool SamePicture(const Bitmap& actual, const Bitmap& expected, double tolerance) {
    if (actual.Width() != expected.Width() || actual.Height() != expected.Height()) return false;
    double difference = 0;
    for (int y = 0; y < expected.Height(); ++y) {
        for (int x = 0; x < expected.Width(); ++x) {
            const Rgb a = actual.PixelColor(x, y);
            const Rgb e = expected.PixelColor(x, y);
            const int pixelDifference =
                std::abs(a.red - e.red) + std::abs(a.green - e.green) + std::abs(a.blue - e.blue);
            if (tolerance == 0 && pixelDifference != 0) return false;
            difference += pixelDifference;
        }
    }
    return difference / (3.0 * expected.Width() * expected.Height()) <= tolerance;
}

// Counts the paint events of a widget while it lives, and those painted while a condition held.
class PaintCounter : public QObject {
public:
    PaintCounter(QWidget* widget, std::function<bool()> condition) : condition_(std::move(condition)) {
        widget->installEventFilter(this);
    }
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint && condition_()) ++count;
        return false;
    }
    int count = 0;

private:
    std::function<bool()> condition_;
};

std::filesystem::path Trash() {
    return std::filesystem::path(std::getenv("XDG_DATA_HOME")) / "Trash";
}

}  // namespace

class SnapshotLibraryTest : public QObject {
    Q_OBJECT

private slots:
    void init() {
        folder_ = std::make_unique<testing::TempDir>();
        desktop_ = std::make_unique<testing::FakeDesktop>();
        chooser_ = std::make_unique<AnsweringChooser>();
        testing::SetTestCameras("Camera:160x120@30:smpte:bgr");
        form_ = std::make_unique<TFormMain>();
        QVERIFY(testing::ShowOnRecordTab(*form_));
        QVERIFY(QTest::qWaitFor([&] { return !LiveFrame().Empty(); }, 10000));
    }
    void cleanup() {
        if (QTest::currentTestFailed()) folder_->Keep();
        form_.reset();
        chooser_.reset();
        desktop_.reset();
        folder_.reset();
    }

    void FirstSnap_AsksForTheFolder_ListsIt_SavesAddsAndSelects() {
        std::ofstream(folder_->File("old-1.png")) << "x";
        std::ofstream(folder_->File("old-2.png")) << "x";
        chooser_->answer = folder_->Path().string();  // without the trailing "/"
        Snap();
        QCOMPARE(chooser_->asked, 1);
        QCOMPARE(static_cast<unsigned>(chooser_->lastOptions), 7u);
        QCOMPARE(chooser_->lastHelpContext, 0);
        const std::string folder = folder_->Path().string() + "/";
        QCOMPARE(form_->SnapshotFolder(), folder);
        QCOMPARE(form_->sbMain->currentMessage().isEmpty() ? StatusText() : form_->sbMain->currentMessage(),
                 QString::fromStdString(folder));
        const std::vector<std::string> entries = Entries(form_->lbSnapshots);
        QCOMPARE(entries.size(), std::size_t{3});
        QCOMPARE(entries[0], std::string("old-1.png"));
        QVERIFY(entries[2].rfind("snap-", 0) == 0);
        QCOMPARE(form_->lbSnapshots->currentRow(), 2);
        QVERIFY(std::filesystem::exists(folder + entries[2]));

        // The next Snap uses the folder without asking.
        Snap();
        QCOMPARE(chooser_->asked, 1);
        QCOMPARE(form_->lbSnapshots->count(), 4);
    }

    void CancelledChooser_SavesNothing() {
        chooser_->answer.reset();
        Snap();
        QCOMPARE(chooser_->asked, 1);
        QCOMPARE(form_->lbSnapshots->count(), 0);
        QVERIFY(form_->SnapshotFolder().empty());
        QVERIFY(Reference().Empty());
    }

    void SnapsInEveryFormat_DecodeToTheCameraPicture() {
        chooser_->answer = folder_->Path().string() + "/";
        const struct {
            int formatIndex;
            const char* extension;
            double tolerance;
        } formats[] = {{0, ".png", 0}, {1, ".jpg", 8}, {2, ".bmp", 0}};
        for (const auto& format : formats) {
            ChooseFormat(format.formatIndex);
            QCOMPARE(form_->SnapshotExtension(), std::string(format.extension));
            for (int shot = 0; shot < 3; ++shot) {
                Snap();
                const std::string name = form_->lbSnapshots->currentItem()->text().toStdString();
                QVERIFY(name.size() > 4 && name.substr(name.size() - 4) == format.extension);
                const Bitmap snapped = Reference();
                QCOMPARE(snapped.Width(), 160);
                Bitmap loaded;
                QVERIFY(LoadPicture(&loaded, form_->SnapshotFolder() + name));
                loaded.SetPixelFormat(PixelFormat::Bit24);
                QVERIFY2(SamePicture(loaded, snapped, format.tolerance), name.c_str());
                QTest::qWait(2);  // a new millisecond, a new name
            }
            QCOMPARE(form_->lbSnapshots->count(), 3);
        }
    }

    void SwitchingTheFormat_RelistsAndReloadsTheReference() {
        chooser_->answer = folder_->Path().string() + "/";
        ChooseFormat(1);
        Snap();
        const std::string jpg = form_->lbSnapshots->currentItem()->text().toStdString();
        std::ofstream(folder_->File("a.JPG")) << "not a picture";
        ChooseFormat(0);
        QCOMPARE(form_->lbSnapshots->count(), 0);
        QVERIFY(Reference().Empty());

        ChooseFormat(1);
        QCOMPARE(Entries(form_->lbSnapshots), (std::vector<std::string>{"a.JPG", jpg}));
        QCOMPARE(form_->lbSnapshots->currentRow(), 1);
        QCOMPARE(Reference().Width(), 160);
    }

    void PickingAnEntry_WithWeight100_ShowsThatPicture() {
        chooser_->answer = folder_->Path().string() + "/";
        // A picture unlike anything the camera shows, the first in the list.
        Bitmap marker;
        marker.SetSize(160, 120);
        marker.GetCanvas().SetBrushColor({10, 200, 30});
        marker.GetCanvas().FillRect({0, 0, 160, 120});
        QVERIFY(SavePicture(&marker, folder_->File("a-marker.png")));
        Snap();
        QCOMPARE(form_->lbSnapshots->count(), 2);

        form_->tbGrabOnion->setValue(100);
        ClickEntry(0);
        QVERIFY(SamePicture(Reference(), marker, 0));
        QVERIFY(QTest::qWaitFor(
            [&] {
                Bitmap& display = form_->imGrabSample->Picture();
                std::lock_guard lock(display.GetCanvas());
                return display.Width() == 160 && display.PixelColor(80, 60) == Rgb{10, 200, 30};
            },
            10000));
    }

    void DeletingEntry3Of5_SelectsEntry2_AndTheFileIsInTheTrash() {
        chooser_->answer = folder_->Path().string() + "/";
        for (const char* name : {"p1.png", "p2.png", "p3.png", "p4.png", "p5.png"}) Save(name);
        Snap();  // lists the five and adds a sixth
        ClickEntry(2);
        QCOMPARE(Entries(form_->lbSnapshots)[2], std::string("p3.png"));
        form_->miSnapDelete->trigger();
        QCOMPARE(desktop_->questions.size(), std::size_t{1});
        QVERIFY(!std::filesystem::exists(folder_->File("p3.png")));
        QCOMPARE(form_->lbSnapshots->count(), 5);
        QCOMPARE(form_->lbSnapshots->currentRow(), 1);
        QCOMPARE(form_->lbSnapshots->currentItem()->text(), QStringLiteral("p2.png"));
        QVERIFY(!Reference().Empty());

        // The trash holds the file with the information to put it back where it was.
        std::ifstream info(Trash() / "info" / "p3.png.trashinfo");
        std::ostringstream read;
        read << info.rdbuf();
        const std::string content = read.str();
        QVERIFY(std::filesystem::exists(Trash() / "files" / "p3.png"));
        QVERIFY(content.find("Path=" + folder_->File("p3.png")) != std::string::npos);
    }

    void DecliningTheQuestion_KeepsFileAndEntry() {
        chooser_->answer = folder_->Path().string() + "/";
        Save("keep.png");
        Snap();
        ClickEntry(0);
        desktop_->answer = false;
        form_->miSnapDelete->trigger();
        QCOMPARE(desktop_->questions.size(), std::size_t{1});
        QVERIFY(std::filesystem::exists(folder_->File("keep.png")));
        QCOMPARE(form_->lbSnapshots->count(), 2);
        QCOMPARE(form_->lbSnapshots->currentRow(), 0);
    }

    // On a memory file system (tmpfs, as on a read-only card) there is no trash: the window says why and
    // deletes for good only after a second yes that says so; a no keeps the picture.
    void DeletingWhereThereIsNoTrash_SaysWhy_AndDeletesOnlyAfterASecondYes() {
        const std::filesystem::path memory = "/dev/shm";
        if (!std::filesystem::is_directory(memory)) QSKIP("no memory file system at /dev/shm");
        const std::filesystem::path folder = memory / ("flipbook-trashless-" + std::to_string(::getpid()));
        std::filesystem::create_directories(folder);
        const std::shared_ptr<void> removeFolder(nullptr,
                                                 [&](void*) { std::filesystem::remove_all(folder); });
        const Bitmap live = LiveFrame();
        for (const char* name : {"a.png", "b.png"}) QVERIFY(SavePicture(&live, (folder / name).string()));
        chooser_->answer = folder.string() + "/";
        QTest::mouseClick(form_->btSnapshotsDir, Qt::LeftButton);
        QCOMPARE(form_->lbSnapshots->count(), 2);

        ClickEntry(1);
        desktop_->answers = {true, false};
        form_->miSnapDelete->trigger();
        QCOMPARE(desktop_->questions.size(), std::size_t{2});
        QVERIFY2(StatusText().startsWith(QStringLiteral("b.png could not be moved to the trash: ")),
                 qPrintable(StatusText()));
        QVERIFY(desktop_->questions[1].find("permanently? This cannot be undone.") != std::string::npos);
        QVERIFY(std::filesystem::exists(folder / "b.png"));
        QCOMPARE(form_->lbSnapshots->count(), 2);

        desktop_->answers = {true, true};
        form_->miSnapDelete->trigger();
        QVERIFY(!std::filesystem::exists(folder / "b.png"));
        QCOMPARE(StatusText(), QStringLiteral("b.png was deleted permanently"));
        QCOMPARE(Entries(form_->lbSnapshots), std::vector<std::string>{"a.png"});
        QVERIFY(!std::filesystem::exists(Trash() / "files" / "b.png"));
    }

    // The folder went while the program ran: Snap says so, forgets the gone folder's list and opens
    // the chooser where the way to it still exists; cancelled, it says nothing was saved.
    void SnapIntoAFolderThatWentAway_SaysSo_AndAsksWhereTheWayStillExists() {
        const std::filesystem::path folder = folder_->Path() / "scene1" / "take2";
        std::filesystem::create_directories(folder);
        chooser_->answer = folder.string() + "/";
        Snap();
        QCOMPARE(form_->lbSnapshots->count(), 1);
        std::filesystem::remove_all(folder_->Path() / "scene1");

        struct Seen {
            std::string start;
            QString status;
            int listed = -1;
        } seen;
        class LookingChooser : public DirectoryChooser {
        public:
            LookingChooser(TFormMain& form, Seen& seen)
                : form_(form), seen_(seen), previous_(InstallDirectoryChooser(this)) {}
            ~LookingChooser() override { InstallDirectoryChooser(previous_); }
            bool Select(QWidget*, std::string& directory, SelectDirOptions, int) override {
                seen_ = {directory, form_.StatusText(), form_.lbSnapshots->count()};
                return false;
            }

        private:
            TFormMain& form_;
            Seen& seen_;
            DirectoryChooser* previous_;
        } looking(*form_, seen);
        QTest::mouseClick(form_->btGrabSnap, Qt::LeftButton);
        const QString gone = QString::fromStdString(folder.string());
        QCOMPARE(seen.start, folder_->Path().string());
        QCOMPARE(seen.status,
                 QStringLiteral("The folder %1 is gone: choose where the pictures go").arg(gone));
        QCOMPARE(seen.listed, 0);
        QCOMPARE(StatusText(), QStringLiteral("Nothing was saved: the folder %1 is gone").arg(gone));
        QCOMPARE(form_->PendingSaves(), 0);
    }

    // A picture that cannot be read keeps the reference it had, and says so: kept without a word, the
    // old reference would pass for the one picked.
    void PickingAnUnreadablePicture_SaysSo_AndKeepsTheReference() {
        chooser_->answer = folder_->Path().string() + "/";
        SaveSolid("a-good.png", Rgb{10, 200, 30});
        std::ofstream(folder_->File("b-broken.png")) << "not a picture";
        QTest::mouseClick(form_->btSnapshotsDir, Qt::LeftButton);
        ClickEntry(0);
        const int beeps = desktop_->beeps;
        ClickEntry(1);
        QCOMPARE(StatusText(),
                 QStringLiteral("b-broken.png cannot be read as a picture: the reference stays as it was"));
        QCOMPARE(desktop_->beeps, beeps + 1);
        QCOMPARE(ReferenceColor(), (Rgb{10, 200, 30}));
    }

    void DeletingTheOnlyEntry_EmptiesListAndReference() {
        chooser_->answer = folder_->Path().string() + "/";
        Snap();
        QCOMPARE(form_->lbSnapshots->count(), 1);
        QVERIFY(!Reference().Empty());
        form_->miSnapDelete->trigger();
        QCOMPARE(form_->lbSnapshots->count(), 0);
        QCOMPARE(form_->lbSnapshots->currentRow(), -1);
        QVERIFY(Reference().Empty());
    }

    // The second picture never replaces the first: it takes the next millisecond's name, which the
    // list shows, so the names stay unique and in the order taken.
    void TwoSnapsInOneMillisecond_GiveTwoFilesNamedInTheOrderTaken() {
        chooser_->answer = folder_->Path().string() + "/";
        // 10:10:10.999 on the local clock, so the next millisecond carries into the seconds.
        std::tm face{};
        face.tm_year = 2024 - 1900;
        face.tm_mon = 0;
        face.tm_mday = 15;
        face.tm_hour = 10;
        face.tm_min = 10;
        face.tm_sec = 10;
        face.tm_isdst = -1;
        const auto instant =
            std::chrono::system_clock::from_time_t(std::mktime(&face)) + std::chrono::milliseconds(999);
        form_->SnapshotClock = [instant] { return instant; };
        Snap();
        Snap();
        const std::vector<std::string> entries = Entries(form_->lbSnapshots);
        QCOMPARE(entries.size(), std::size_t{2});
        QCOMPARE(entries[0], std::string("snap-20240115-101010999.png"));
        QCOMPARE(entries[1], std::string("snap-20240115-101011000.png"));
        QCOMPARE(std::distance(std::filesystem::directory_iterator(folder_->Path()),
                               std::filesystem::directory_iterator()),
                 std::ptrdiff_t{2});
        for (const std::string& entry : entries) QVERIFY(std::filesystem::exists(folder_->File(entry)));
    }

    void DeleteIsDisabledInTheMenu_WhenNothingIsSelected() {
        chooser_->answer = folder_->Path().string() + "/";
        QTest::mouseClick(form_->btSnapshotsDir, Qt::LeftButton);
        QCOMPARE(form_->lbSnapshots->count(), 0);
        emit form_->lbSnapshots->customContextMenuRequested(QPoint(5, 5));
        QVERIFY(!form_->miSnapDelete->isEnabled());
        form_->pmSnapshots->hide();
        Snap();
        emit form_->lbSnapshots->customContextMenuRequested(QPoint(5, 5));
        QVERIFY(form_->miSnapDelete->isEnabled());
        form_->pmSnapshots->hide();
    }

    // The keys of a list box: moving the selection loads that picture, Delete takes the highlighted one,
    // also after the menu was once opened with nothing selected; names sort without regard to case.
    void Keys_MoveTheReference_AndDeleteTheHighlightedPicture() {
        chooser_->answer = folder_->Path().string() + "/";
        SaveSolid("c.png", {0, 0, 255});
        SaveSolid("B.png", {0, 255, 0});
        SaveSolid("a.png", {255, 0, 0});
        QTest::mouseClick(form_->btSnapshotsDir, Qt::LeftButton);
        QCOMPARE(Entries(form_->lbSnapshots), (std::vector<std::string>{"a.png", "B.png", "c.png"}));
        QCOMPARE(ReferenceColor(), (Rgb{0, 0, 255}));

        form_->lbSnapshots->clearSelection();
        emit form_->lbSnapshots->customContextMenuRequested(QPoint(5, 5));
        QVERIFY(!form_->miSnapDelete->isEnabled());
        form_->pmSnapshots->hide();

        // The Delete key reaches the list only while it has the focus in the active window.
        form_->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(form_.get()));
        form_->lbSnapshots->setFocus();
        QTest::keyClick(form_->lbSnapshots, Qt::Key_Up);
        QCOMPARE(form_->lbSnapshots->currentRow(), 1);
        QCOMPARE(ReferenceColor(), (Rgb{0, 255, 0}));
        QTest::keyClick(form_->lbSnapshots, Qt::Key_Home);
        QCOMPARE(ReferenceColor(), (Rgb{255, 0, 0}));
        QTest::keyClick(form_->lbSnapshots, Qt::Key_End);
        QCOMPARE(ReferenceColor(), (Rgb{0, 0, 255}));
        ClickEntry(1, Qt::RightButton);
        QCOMPARE(ReferenceColor(), (Rgb{0, 255, 0}));

        QTest::keyClick(form_->lbSnapshots, Qt::Key_Down);
        QTest::keyClick(form_->lbSnapshots, Qt::Key_Delete);
        QCOMPARE(desktop_->questions.size(), std::size_t{1});
        QVERIFY(!std::filesystem::exists(folder_->File("c.png")));
        QCOMPARE(Entries(form_->lbSnapshots), (std::vector<std::string>{"a.png", "B.png"}));
        QCOMPARE(ReferenceColor(), (Rgb{0, 255, 0}));
    }

    // A name that is not valid UTF-8 is still the file's: it loads, and "Delete Picture" trashes it.
    void NameThatIsNotUtf8_LoadsAndGoesToTheTrash() {
        chooser_->answer = folder_->Path().string() + "/";
        const std::string name = "take-\xff\xfe.png";
        SaveSolid(name, {9, 99, 199});
        QTest::mouseClick(form_->btSnapshotsDir, Qt::LeftButton);
        QCOMPARE(form_->lbSnapshots->count(), 1);
        QCOMPARE(ReferenceColor(), (Rgb{9, 99, 199}));
        form_->miSnapDelete->trigger();
        QVERIFY(!std::filesystem::exists(folder_->File(name)));
        QVERIFY(std::filesystem::exists(Trash() / "files" / name));
        QCOMPARE(form_->lbSnapshots->count(), 0);
    }

    // Another program (here the test, as a file manager would) adds and removes pictures, in a folder
    // whose name is not UTF-8: the list follows without the folder chosen again, the pick and the
    // reference stay, and neither a hidden temporary file nor a picture of another format shows. When
    // the picked picture itself goes, its entry goes and the status bar says so; the reference stays.
    void TheListFollowsTheFolder_AsAnotherProgramAddsAndRemovesPictures() {
        const std::filesystem::path folder = folder_->Path() / "take-\xff";
        std::filesystem::create_directories(folder);
        SaveSolidAt(folder / "b.png", {0, 255, 0});
        SaveSolidAt(folder / "d.png", {0, 0, 255});
        chooser_->answer = folder.string() + "/";
        QTest::mouseClick(form_->btSnapshotsDir, Qt::LeftButton);
        QCOMPARE(Entries(form_->lbSnapshots), (std::vector<std::string>{"b.png", "d.png"}));
        ClickEntry(0);
        QCOMPARE(ReferenceColor(), (Rgb{0, 255, 0}));

        SaveSolidAt(folder / "a.png", {255, 0, 0});
        SaveSolidAt(folder / "C.png", {9, 9, 9});
        std::ofstream(folder / ".e.png.4242-1.partial") << "half";
        std::ofstream(folder / "x.jpg") << "another format";
        QVERIFY(QTest::qWaitFor([&] { return form_->lbSnapshots->count() == 4; }, 10000));
        QCOMPARE(Entries(form_->lbSnapshots), (std::vector<std::string>{"a.png", "b.png", "C.png", "d.png"}));
        QCOMPARE(form_->lbSnapshots->selectedItems().size(), 1);
        QCOMPARE(form_->lbSnapshots->selectedItems().front()->text(), QStringLiteral("b.png"));
        QCOMPARE(ReferenceColor(), (Rgb{0, 255, 0}));

        std::filesystem::remove(folder / "d.png");
        std::filesystem::rename(folder / "a.png", folder_->Path() / "a.png");
        QVERIFY(QTest::qWaitFor([&] { return form_->lbSnapshots->count() == 2; }, 10000));
        QCOMPARE(Entries(form_->lbSnapshots), (std::vector<std::string>{"b.png", "C.png"}));
        QCOMPARE(form_->lbSnapshots->selectedItems().size(), 1);
        QCOMPARE(form_->lbSnapshots->selectedItems().front()->text(), QStringLiteral("b.png"));

        std::filesystem::remove(folder / "b.png");
        QVERIFY(QTest::qWaitFor([&] { return form_->lbSnapshots->count() == 1; }, 10000));
        QCOMPARE(Entries(form_->lbSnapshots), std::vector<std::string>{"C.png"});
        QVERIFY(form_->lbSnapshots->selectedItems().isEmpty());
        QCOMPARE(StatusText(), QStringLiteral("b.png is gone: another program removed it"));
        QCOMPARE(ReferenceColor(), (Rgb{0, 255, 0}));
        // A Snap is listed once, though the watch sees it come too: by the time it has seen a picture
        // added after it, it has seen the Snap's.
        Snap();
        QCOMPARE(form_->lbSnapshots->count(), 2);
        SaveSolidAt(folder / "z.png", {1, 1, 1});
        QVERIFY(QTest::qWaitFor([&] { return Entries(form_->lbSnapshots).back() == "z.png"; }, 10000));
        QCOMPARE(form_->lbSnapshots->count(), 3);
    }

    // A picture picked the moment after another program removed it, before the list followed: the
    // status bar says it is gone, its entry goes and the reference stays what it was.
    void PickingAPictureThatIsGone_SaysSo_AndDropsItsEntry() {
        chooser_->answer = folder_->Path().string() + "/";
        SaveSolid("a.png", {255, 0, 0});
        SaveSolid("b.png", {0, 255, 0});
        QTest::mouseClick(form_->btSnapshotsDir, Qt::LeftButton);
        QCOMPARE(ReferenceColor(), (Rgb{0, 255, 0}));
        std::filesystem::remove(folder_->File("a.png"));
        ClickEntry(0);
        QCOMPARE(StatusText(), QStringLiteral("a.png is gone: another program removed it"));
        QCOMPARE(Entries(form_->lbSnapshots), std::vector<std::string>{"b.png"});
        QVERIFY(form_->lbSnapshots->selectedItems().isEmpty());
        QCOMPARE(ReferenceColor(), (Rgb{0, 255, 0}));
    }

    // Playback marks the rows it plays by number: a picture added meanwhile joins the list only once
    // the playback is over, and the pick from before it comes back.
    void APictureAddedDuringPlayback_IsListedOnceItEnds() {
        chooser_->answer = folder_->Path().string() + "/";
        for (const char* name : {"b.png", "c.png", "d.png"}) SaveSolid(name, {0, 0, 255});
        QTest::mouseClick(form_->btSnapshotsDir, Qt::LeftButton);
        ClickEntry(1);
        form_->Playback().PlaybackRate = 30;
        form_->miSnapLoop->setChecked(true);
        int marks = 0;
        connect(form_->lbSnapshots, &QListWidget::currentRowChanged, form_.get(), [&] { ++marks; });
        form_->miSnapPlay->trigger();
        QVERIFY(form_->Playing());
        SaveSolid("a.png", {255, 0, 0});
        // Twelve frames more (at least 400 ms at 30 a second), well past the moment the watch reports.
        marks = 0;
        QVERIFY(QTest::qWaitFor([&] { return marks >= 12; }, 10000));
        QVERIFY(form_->Playing());
        QCOMPARE(Entries(form_->lbSnapshots), (std::vector<std::string>{"b.png", "c.png", "d.png"}));
        QTest::keyClick(form_->lbSnapshots, Qt::Key_Escape);
        QVERIFY(!form_->Playing());
        QObject::disconnect(form_->lbSnapshots, &QListWidget::currentRowChanged, form_.get(), nullptr);
        QVERIFY(QTest::qWaitFor([&] { return form_->lbSnapshots->count() == 4; }, 10000));
        QCOMPARE(Entries(form_->lbSnapshots), (std::vector<std::string>{"a.png", "b.png", "c.png", "d.png"}));
        QCOMPARE(form_->lbSnapshots->selectedItems().size(), 1);
        QCOMPARE(form_->lbSnapshots->selectedItems().front()->text(), QStringLiteral("c.png"));
    }

    // A full disk: the status bar names the picture and the reason, no file or leftover stays, nothing
    // is listed and no shutter sounds; once there is room again the next Snap saves.
    void FullDisk_SnapSaysWhy_LeavesNoFile_AndTheNextSnapSaves() {
        chooser_->answer = folder_->Path().string() + "/";
        QTest::mouseClick(form_->btSnapshotsDir, Qt::LeftButton);
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit unlimited{};
        QCOMPARE(getrlimit(RLIMIT_FSIZE, &unlimited), 0);
        rlimit full = unlimited;
        full.rlim_cur = 64;
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &full), 0);
        Snap();
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &unlimited), 0);
        const QString status = StatusText();
        QVERIFY2(status.startsWith("snap-") && status.contains(".png was not saved: the file is larger"),
                 qPrintable(status));
        QVERIFY(std::filesystem::is_empty(folder_->Path()));
        QCOMPARE(form_->lbSnapshots->count(), 0);
        QVERIFY(desktop_->sounds.empty());

        Snap();
        QCOMPARE(form_->lbSnapshots->count(), 1);
        QCOMPARE(StatusText(), QString::fromStdString(form_->SnapshotFolder()));
        QCOMPARE(desktop_->sounds.size(), std::size_t{1});
        QCOMPARE(desktop_->sounds[0].filename().string(), std::string("snap.wav"));
        Bitmap saved;
        QVERIFY(LoadPicture(&saved, form_->SnapshotFolder() + Entries(form_->lbSnapshots)[0]));
    }

    // Snap hands 1080p PNGs to the background: the live view goes on painting while they save, and
    // closing with saves pending waits for them, so every picture arrives whole and in the order taken.
    void QuickSeriesOf1080pSnaps_KeepPainting_AndClosingLosesNone() {
        form_.reset();
        testing::SetTestCameras("Big:1920x1080@30:snow:bgr");
        form_ = std::make_unique<TFormMain>();
        QVERIFY(testing::ShowOnRecordTab(*form_));
        QVERIFY(QTest::qWaitFor([&] { return LiveFrame().Width() == 1920; }, 20000));
        chooser_->answer = folder_->Path().string() + "/";
        QTest::mouseClick(form_->btSnapshotsDir, Qt::LeftButton);

        PaintCounter paintsWhileSaving(form_->imGrabSample, [&] { return form_->PendingSaves() > 0; });
        for (int shot = 0; shot < 4; ++shot) {
            QTest::mouseClick(form_->btGrabSnap, Qt::LeftButton);
            QTest::qWait(5);
        }
        QVERIFY(form_->PendingSaves() > 0);
        QCOMPARE(desktop_->cursor, Desktop::Cursor::Busy);
        QVERIFY(QTest::qWaitFor([&] { return form_->PendingSaves() == 0; }, 60000));
        QVERIFY2(paintsWhileSaving.count >= 3, qPrintable(QString::number(paintsWhileSaving.count)));

        for (int shot = 0; shot < 3; ++shot) {
            QTest::mouseClick(form_->btGrabSnap, Qt::LeftButton);
            QTest::qWait(5);
        }
        QVERIFY(form_->close());
        QCOMPARE(form_->PendingSaves(), 0);
        QCOMPARE(desktop_->cursor, Desktop::Cursor::Default);

        std::vector<std::filesystem::path> files;
        for (const auto& entry : std::filesystem::directory_iterator(folder_->Path()))
            files.push_back(entry.path());
        std::sort(files.begin(), files.end());
        QCOMPARE(files.size(), std::size_t{7});
        for (std::size_t i = 0; i < files.size(); ++i) {
            Bitmap saved;
            QVERIFY2(LoadPicture(&saved, files[i].string()), files[i].c_str());
            QCOMPARE(saved.Width(), 1920);
            if (i > 0) QVERIFY(last_write_time(files[i - 1]) <= last_write_time(files[i]));
        }
    }

private:
    // Presses Snap and waits until the writer has reported the picture back.
    void Snap() {
        QTest::mouseClick(form_->btGrabSnap, Qt::LeftButton);
        QVERIFY(QTest::qWaitFor([&] { return form_->PendingSaves() == 0; }, 30000));
    }
    void SaveSolid(const std::string& name, Rgb color) {
        Bitmap picture;
        picture.SetSize(160, 120);
        picture.GetCanvas().SetBrushColor(color);
        picture.GetCanvas().FillRect({0, 0, 160, 120});
        QVERIFY(SavePicture(&picture, folder_->File(name)));
    }
    void SaveSolidAt(const std::filesystem::path& path, Rgb color) {
        Bitmap picture;
        picture.SetSize(160, 120);
        picture.GetCanvas().SetBrushColor(color);
        picture.GetCanvas().FillRect({0, 0, 160, 120});
        QVERIFY(SavePicture(&picture, path.string()));
    }
    Rgb ReferenceColor() {
        return form_->WithPictures([](Bitmap&, Bitmap& reference) {
            return reference.Empty() ? Rgb{1, 2, 3} : reference.PixelColor(80, 60);
        });
    }
    void ChooseFormat(int index) {
        form_->cbSnapshotsExt->setCurrentIndex(index);
        emit form_->cbSnapshotsExt->activated(index);
    }
    void ClickEntry(int row, Qt::MouseButton button = Qt::LeftButton) {
        QListWidget* list = form_->lbSnapshots;
        const QRect area = list->visualItemRect(list->item(row));
        QTest::mouseClick(list->viewport(), button, {}, area.center());
        QCOMPARE(list->currentRow(), row);
    }
    void Save(const std::string& name) {
        const Bitmap live = LiveFrame();
        QVERIFY(SavePicture(&live, folder_->File(name)));
    }
    QString StatusText() const { return form_->StatusText(); }
    Bitmap LiveFrame() { return form_->LatestFrame(); }
    Bitmap Reference() {
        return form_->WithPictures([](Bitmap&, Bitmap& reference) { return Bitmap(reference); });
    }

    std::unique_ptr<testing::TempDir> folder_;
    std::unique_ptr<testing::FakeDesktop> desktop_;
    std::unique_ptr<AnsweringChooser> chooser_;
    std::unique_ptr<TFormMain> form_;
};

}  // namespace flipbook

FLIPBOOK_WINDOW_TEST_MAIN_WITH_OWN_TRASH(flipbook::SnapshotLibraryTest)

#include "snapshot_library_test.moc"
