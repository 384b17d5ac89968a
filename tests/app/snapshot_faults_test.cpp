// SPDX-License-Identifier: GPL-3.0-or-later
// Snap and close under faults, through the real window with the test camera: a save that hangs (a
// network folder that stopped answering), saves that fail while the window closes, the program told
// to end with saves pending, a save completing after the user picked another picture, and Snap before
// the camera's first frame.

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QElapsedTimer>
#include <QListWidget>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/window/application.h"
#include "app/window/fmMain.h"
#include "app/library/pending_saves_wait.h"
#include "app/library/picture_files.h"
#include "app/shooting/time_lapse.h"
#include "capture/sample_grabber.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/canvas.h"
#include "platform/mediagraph/service.h"
#include "support/fake_desktop.h"
#include "support/fixed_chooser.h"
#include "support/hanging_fsync.h"
#include "support/record_tab.h"
#include "support/temp_dir.h"
#include "support/window_test_main.h"
#include "test_camera.h"

namespace flipbook {
namespace {

std::vector<std::filesystem::path> FilesIn(const std::filesystem::path& folder) {
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) files.push_back(entry.path());
    return files;
}

// How often the window's thread went round its event loop: once per wake-up while it sleeps between
// events, and without end while it polls.
class LoopRounds {
public:
    LoopRounds() {
        QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance();
        QObject::connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, &counter_, [this] { ++count; });
        QObject::connect(dispatcher, &QAbstractEventDispatcher::awake, &counter_, [this] { ++count; });
    }
    long count = 0;

private:
    QObject counter_;
};

// Sets the local time zone while it lives.
class ScopedTimeZone {
public:
    explicit ScopedTimeZone(const char* zone) {
        if (const char* old = std::getenv("TZ")) previous_ = old;
        setenv("TZ", zone, 1);
        tzset();
    }
    ~ScopedTimeZone() {
        if (previous_) {
            setenv("TZ", previous_->c_str(), 1);
        } else {
            unsetenv("TZ");
        }
        tzset();
    }
    ScopedTimeZone(const ScopedTimeZone&) = delete;
    ScopedTimeZone& operator=(const ScopedTimeZone&) = delete;

private:
    std::optional<std::string> previous_;
};

// While it lives, no file of this process grows past 64 bytes, as on a full disk: a save fails with
// "the file is larger than the disk allows".
class FileSizeLimit {
public:
    FileSizeLimit() {
        std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &unlimited_);
        rlimit full = unlimited_;
        full.rlim_cur = 64;
        setrlimit(RLIMIT_FSIZE, &full);
    }
    ~FileSizeLimit() { setrlimit(RLIMIT_FSIZE, &unlimited_); }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit unlimited_{};
};

std::vector<std::string> Entries(const QListWidget* list) {
    std::vector<std::string> names;
    for (int row = 0; row < list->count(); ++row) names.push_back(list->item(row)->text().toStdString());
    return names;
}

}  // namespace

class SnapshotFaultsTest : public QObject {
    Q_OBJECT

public:
    // Made after the application, before Qt Test lays its crash reporter over the ending signals.
    SnapshotFaultsTest() { ::sigaction(SIGTERM, nullptr, &programsTermAction_); }

private slots:
    void init() {
        // The desktop lives as long as the test program; what one test left there is not the next one's.
        desktop_.errors.clear();
        desktop_.questions.clear();
        folder_ = std::make_unique<testing::TempDir>();
        chooser_ = std::make_unique<testing::FixedChooser>(folder_->Path().string());
    }
    void cleanup() {
        testing::ReleaseHangingFsync();
        if (QTest::currentTestFailed()) folder_->Keep();
        form_.reset();
        chooser_.reset();
        folder_.reset();
        zone_.reset();
    }

    // The folder's flush fails after the rename: the picture is there, so it is listed, the status bar
    // says it may not be safe on the disk yet, and a time-lapse goes on.
    void FolderFlushFailingAfterTheRename_ListsThePicture_Warns_AndATimeLapseGoesOn() {
        Start();
        testing::FailFolderFsyncOf(folder_->Path().string(), EIO);
        form_->btGrabSnap->click();
        QVERIFY(QTest::qWaitFor([&] { return form_->PendingSaves() == 0; }, 30000));
        QCOMPARE(form_->lbSnapshots->count(), 1);
        const QString name = form_->lbSnapshots->item(0)->text();
        QCOMPARE(form_->StatusText(),
                 name + " was saved, but may not be safe on the disk yet: the disk reported an error");
        QVERIFY(std::filesystem::exists(folder_->File(name.toStdString())));

        form_->TimeLapse->IntervalSeconds = 1;
        form_->TimeLapse->Count = 2;
        form_->TimeLapse->Start();
        QVERIFY(QTest::qWaitFor([&] { return !form_->TimeLapse->Running(); }, 20000));
        QCOMPARE(form_->TimeLapse->Taken(), 2);
        QVERIFY(QTest::qWaitFor([&] { return form_->PendingSaves() == 0; }, 30000));
        QCOMPARE(form_->lbSnapshots->count(), 3);
        QCOMPARE(FilesIn(folder_->Path()).size(), std::size_t{3});
    }

    // The clock goes back an hour at the end of daylight saving: pictures taken after it still sort
    // after those before, also after one of another format and one still being saved.
    void ClockGoingBack_KeepsTheSeriesInOrder() {
        zone_ = std::make_unique<ScopedTimeZone>("CET-1CEST,M3.5.0,M10.5.0/3");
        // Taken in JPEG at 02:59:59.500 summer time, half a second before the clocks go back.
        std::ofstream(folder_->File("snap-20241027-025959500.jpg")) << "x";
        Start();
        // One second a picture from 02:00:00 winter time, the hour the clock repeats.
        const auto changeover =
            std::chrono::sys_days{std::chrono::year{2024} / 10 / 27} + std::chrono::hours{1};
        form_->SnapshotClock = [instant = changeover - std::chrono::seconds{1}]() mutable {
            return instant += std::chrono::seconds{1};
        };
        testing::HangFsyncIn(folder_->Path().string());
        form_->btGrabSnap->click();
        QVERIFY(QTest::qWaitFor([] { return testing::HangingFsyncs() == 1; }, 10000));
        form_->btGrabSnap->click();  // while the first is still being saved
        form_->btGrabSnap->click();
        testing::ReleaseHangingFsync();
        QVERIFY(QTest::qWaitFor([&] { return form_->PendingSaves() == 0; }, 30000));
        const std::vector<std::string> expected = {
            "snap-20241027-025959501.png", "snap-20241027-025959502.png", "snap-20241027-025959503.png"};
        QCOMPARE(Entries(form_->lbSnapshots), expected);
        for (const std::string& name : expected) QVERIFY(std::filesystem::exists(folder_->File(name)));
    }

    // The program told to end (as a logout does) while saves are pending: it takes no more pictures,
    // finishes every save, and the window closes.
    void SigTerm_WithSavesPending_FinishesEverySave_ThenTheWindowCloses() {
        Start();
        testing::HangFsyncIn(folder_->Path().string());
        for (int shot = 0; shot < 3; ++shot) form_->btGrabSnap->click();
        QVERIFY(QTest::qWaitFor([] { return testing::HangingFsyncs() == 1; }, 10000));
        QCOMPARE(form_->PendingSaves(), 3);

        int pendingAfterLateSnap = -1;
        QTimer::singleShot(500, form_.get(), [&] {
            form_->btGrabSnap->click();
            pendingAfterLateSnap = form_->PendingSaves();
            testing::ReleaseHangingFsync();
        });
        // The signal reaches the program's own handler, as outside a test; Qt Test's reporter would
        // stop the process to print every thread's stack first.
        struct sigaction testersTermAction {};
        QCOMPARE(::sigaction(SIGTERM, &programsTermAction_, &testersTermAction), 0);
        const int killed = ::kill(::getpid(), SIGTERM);
        const bool closed = QTest::qWaitFor([&] { return !form_->isVisible(); }, 60000);
        ::sigaction(SIGTERM, &testersTermAction, nullptr);
        QCOMPARE(killed, 0);
        QVERIFY(closed);
        QCOMPARE(pendingAfterLateSnap, 3);
        QCOMPARE(form_->PendingSaves(), 0);
        const std::vector<std::filesystem::path> files = FilesIn(folder_->Path());
        QCOMPARE(files.size(), std::size_t{3});
        for (const auto& file : files) {
            Bitmap saved;
            QVERIFY2(LoadPicture(&saved, file.string()), file.c_str());
            QCOMPARE(saved.Width(), 160);
        }
    }

    // Saves that stopped answering fill the writer's queue: Snap then takes nothing and says why,
    // rather than wait on the window's thread for ever, and a time-lapse stops with that reason.
    void SavingBehind_SnapTakesNothing_SaysWhy_AndATimeLapseStops() {
        const std::size_t defaultLimit = TFormMain::SaveQueueBytes;
        TFormMain::SaveQueueBytes = 3 * 160 * 120 * 3;
        const std::shared_ptr<void> restore(nullptr,
                                            [&](void*) { TFormMain::SaveQueueBytes = defaultLimit; });
        Start();
        testing::HangFsyncIn(folder_->Path().string());
        const int beeps = desktop_.beeps;
        for (int snap = 0; snap < 5; ++snap) form_->btGrabSnap->click();
        QCOMPARE(form_->PendingSaves(), 3);
        const QString behind = QStringLiteral("Saving is behind: 3 pictures are waiting for %1")
                                   .arg(QString::fromStdString(folder_->Path().string()));
        QCOMPARE(form_->StatusText(), behind);
        QCOMPARE(desktop_.beeps, beeps + 2);

        form_->TimeLapse->IntervalSeconds = 1;
        form_->TimeLapse->Start();
        QVERIFY(!form_->TimeLapse->Running());
        QCOMPARE(form_->StatusText(), QStringLiteral("Time-lapse stopped after 0 taken: ") + behind);

        testing::ReleaseHangingFsync();
        QVERIFY(QTest::qWaitFor([&] { return form_->PendingSaves() == 0; }, 10000));
        QCOMPARE(FilesIn(folder_->Path()).size(), std::size_t{3});
        form_->btGrabSnap->click();
        QCOMPARE(form_->PendingSaves(), 1);
    }

    // A save that hangs: closing sleeps while it waits, after a few seconds offers "Quit Without
    // Saving", which asks first, naming the pictures that would be lost; declined, the wait goes on;
    // accepted, the window goes at once and the hanging save finishes on its own later.
    void ClosingWithAHangingSave_SleepsOffersQuitWithoutSaving_AndAsksFirst() {
        Start();
        testing::HangFsyncIn(folder_->Path().string());
        form_->btGrabSnap->click();
        form_->btGrabSnap->click();
        QVERIFY(QTest::qWaitFor([] { return testing::HangingFsyncs() == 1; }, 10000));

        LoopRounds rounds;
        long roundsUntilOffered = -1;
        std::vector<QString> questions;
        QElapsedTimer waited;
        QTimer driver;
        connect(&driver, &QTimer::timeout, this, [&] {
            // Today's wait offers nothing; give up on it rather than hang for the fake's two minutes.
            if (waited.elapsed() > 30000) testing::ReleaseHangingFsync();
            if (QMessageBox* question = Question()) {
                // No the first time, yes the second.
                questions.push_back(question->text());
                question->button(questions.size() == 1 ? QMessageBox::No : QMessageBox::Yes)->click();
                return;
            }
            QPushButton* quit = QuitButton();
            if (!quit || !quit->isVisible()) return;
            if (roundsUntilOffered < 0) roundsUntilOffered = rounds.count;
            quit->click();
        });
        driver.start(100);
        waited.start();
        QVERIFY(form_->close());
        driver.stop();

        QVERIFY2(waited.elapsed() >= 2500, qPrintable(QString::number(waited.elapsed())));
        // Sleeping, the loop wakes for the camera's frames and the timers, some tens of times a
        // second; polling, it goes round thousands of times.
        QVERIFY2(roundsUntilOffered >= 0 && roundsUntilOffered < 3000,
                 qPrintable(QString::number(roundsUntilOffered)));
        QCOMPARE(questions.size(), std::size_t{2});
        QCOMPARE(questions[0], QStringLiteral("2 pictures are not saved yet and will be lost. "
                                              "Quit without saving them?"));
        QCOMPARE(form_->PendingSaves(), 0);
        QCOMPARE(desktop_.cursor, Desktop::Cursor::Default);
        // Afterwards the pictures lost are named.
        QCOMPARE(desktop_.errors.size(), std::size_t{1});
        QVERIFY2(desktop_.errors[0].rfind("You quit without saving; these 2 pictures were not saved:\nsnap-",
                                          0) == 0,
                 desktop_.errors[0].c_str());
        form_.reset();  // does not wait for the hanging save

        testing::ReleaseHangingFsync();
        QVERIFY(QTest::qWaitFor([&] { return FilesIn(folder_->Path()).size() == 2; }, 30000));
    }

    // The question follows the saves while it is open: once the saves it speaks of are done it goes by
    // itself, and the window closes with nothing lost.
    void QuitWithoutSavingQuestion_FollowsTheSavesWhileOpen() {
        Start();
        testing::HangFsyncIn(folder_->Path().string());
        for (int snap = 0; snap < 3; ++snap) form_->btGrabSnap->click();
        QVERIFY(QTest::qWaitFor([] { return testing::HangingFsyncs() == 1; }, 10000));
        QString asked;
        QTimer driver;
        connect(&driver, &QTimer::timeout, this, [&] {
            if (QMessageBox* question = Question(); question && asked.isEmpty()) {
                asked = question->text();
                testing::ReleaseHangingFsync();
                return;
            }
            if (QPushButton* quit = QuitButton(); quit && quit->isVisible() && asked.isEmpty()) quit->click();
        });
        driver.start(100);
        QVERIFY(form_->close());
        driver.stop();
        QCOMPARE(asked,
                 QStringLiteral("3 pictures are not saved yet and will be lost. Quit without saving them?"));
        QVERIFY(!Question());
        QVERIFY2(desktop_.errors.empty(), desktop_.errors.empty() ? "" : desktop_.errors[0].c_str());
        QCOMPARE(FilesIn(folder_->Path()).size(), std::size_t{3});
    }

    // Saves that fail while the window closes are named in a message box before it goes, not only in
    // the status bar of a window about to vanish.
    void SavesFailingWhileClosing_AreListedInAMessageBox() {
        Start();
        std::optional<FileSizeLimit> full(std::in_place);
        // No events between the clicks and the close: both failures are reported while it waits.
        form_->btGrabSnap->click();
        form_->btGrabSnap->click();
        const bool closed = form_->close();
        full.reset();
        QVERIFY(closed);
        QCOMPARE(desktop_.errors.size(), std::size_t{1});
        const QString message = QString::fromStdString(desktop_.errors[0]);
        QVERIFY2(message.startsWith("These pictures were not saved:\nsnap-"), qPrintable(message));
        QCOMPARE(message.count(".png: the file is larger"), 2);
        QVERIFY(FilesIn(folder_->Path()).empty());
    }

    // A time-lapse whose picture did not fit the disk stops, counting only the pictures saved.
    void TimeLapsePictureNotSaved_IsNotCountedAsTaken() {
        Start();
        std::optional<FileSizeLimit> full(std::in_place);
        form_->TimeLapse->IntervalSeconds = 60;
        form_->TimeLapse->Start();
        const bool stopped = QTest::qWaitFor([&] { return !form_->TimeLapse->Running(); }, 10000);
        full.reset();
        QVERIFY(stopped);
        QVERIFY2(form_->StatusText().startsWith(QStringLiteral("Time-lapse stopped after 0 taken: snap-")),
                 qPrintable(form_->StatusText()));
        QVERIFY(form_->StatusText().contains(QStringLiteral(".png was not saved: the file is larger")));
    }

    // Snap, then the user picks an older picture while the save is pending: the new picture joins the
    // list, and the selection stays on the picture picked, which stays the reference.
    void SaveCompleting_AfterAnOlderPictureWasPicked_LeavesThatPictureSelected() {
        Bitmap marker;
        marker.SetSize(160, 120);
        marker.GetCanvas().SetBrushColor({10, 200, 30});
        marker.GetCanvas().FillRect({0, 0, 160, 120});
        QVERIFY(SavePicture(&marker, folder_->File("a-marker.png")));
        Start();
        QCOMPARE(form_->lbSnapshots->count(), 1);

        testing::HangFsyncIn(folder_->Path().string());
        form_->btGrabSnap->click();
        QVERIFY(QTest::qWaitFor([] { return testing::HangingFsyncs() == 1; }, 10000));
        QListWidget* list = form_->lbSnapshots;
        QVERIFY(list->selectedItems().isEmpty());  // the reference has no entry yet
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(0)).center());
        QCOMPARE(ReferenceColor(), (Rgb{10, 200, 30}));

        testing::ReleaseHangingFsync();
        QVERIFY(QTest::qWaitFor([&] { return form_->PendingSaves() == 0; }, 30000));
        QCOMPARE(list->count(), 2);
        QCOMPARE(list->currentRow(), 0);
        QVERIFY(list->item(0)->isSelected());
        QCOMPARE(ReferenceColor(), (Rgb{10, 200, 30}));
    }

    // Before the camera's first frame there is nothing to save: no file, no folder question, a word in
    // the status bar and a beep.
    void SnapBeforeTheFirstFrame_SavesNothing_SaysSo_AndBeeps() {
        testing::SetTestCameras("Camera:160x120@10");
        form_ = std::make_unique<TFormMain>();
        // The frames are held back from the window, as a camera that takes its time to start does.
        form_->fwSampleGrabber->OnBuffer = [](TSampleGrabber&, double, const std::uint8_t*, std::uint32_t) {};
        form_->show();
        QVERIFY(QTest::qWaitForWindowExposed(form_.get()));
        const int beeps = desktop_.beeps;
        form_->btGrabSnap->click();
        QCOMPARE(form_->StatusText(), QStringLiteral("No picture from the camera yet"));
        QCOMPARE(desktop_.beeps, beeps + 1);
        QCOMPARE(form_->PendingSaves(), 0);
        QVERIFY(form_->SnapshotFolder().empty());
        QVERIFY(FilesIn(folder_->Path()).empty());
    }

private:
    // A window over a small, slow camera with a first frame in, the folder chosen and listed.
    void Start() {
        testing::SetTestCameras("Camera:160x120@10");
        form_ = std::make_unique<TFormMain>();
        // A new millisecond for every snap, so quick clicks give files of their own.
        form_->SnapshotClock = [instant = std::chrono::system_clock::now()]() mutable {
            return instant += std::chrono::milliseconds(1);
        };
        QVERIFY(testing::ShowOnRecordTab(*form_));
        QVERIFY(QTest::qWaitFor([&] { return !form_->LatestFrame().Empty(); }, 10000));
        form_->btSnapshotsDir->click();
        QCOMPARE(form_->SnapshotFolder(), folder_->Path().string() + "/");
    }

    static QMessageBox* Question() {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            auto* box = qobject_cast<QMessageBox*>(widget);
            if (box && box->isVisible() &&
                box->objectName() == QLatin1String(PendingSavesWait::kQuestionName))
                return box;
        }
        return nullptr;
    }
    QPushButton* QuitButton() const {
        for (QPushButton* button : form_->findChildren<QPushButton*>())
            if (button->text() == QStringLiteral("Quit Without Saving")) return button;
        return nullptr;
    }

    Rgb ReferenceColor() {
        return form_->WithPictures([](Bitmap&, Bitmap& reference) {
            return reference.Empty() ? Rgb{1, 2, 3} : reference.PixelColor(80, 60);
        });
    }

    struct sigaction programsTermAction_ {};
    std::unique_ptr<ScopedTimeZone> zone_;
    testing::FakeDesktop desktop_;
    std::unique_ptr<testing::TempDir> folder_;
    std::unique_ptr<testing::FixedChooser> chooser_;
    std::unique_ptr<TFormMain> form_;
};

}  // namespace flipbook

FLIPBOOK_WINDOW_TEST_MAIN(flipbook::SnapshotFaultsTest)

#include "snapshot_faults_test.moc"
