// SPDX-License-Identifier: GPL-3.0-or-later
// Playback and export through the real window with the test camera: the keys and menu items, the
// pictures painted in order at the rate, the live view coming back, and the video written.

#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QCompleter>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QImage>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QScopeGuard>
#include <QTest>
#include <QTimer>
#include <QWheelEvent>

#include <sys/syscall.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/library/picture_files.h"
#include "app/playback/playback_session.h"
#include "app/window/application.h"
#include "app/window/fmMain.h"
#include "app/window/image.h"
#include "app/window/status_model.h"
#include "capture/sample_grabber.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/canvas.h"
#include "platform/mediagraph/service.h"
#include "support/fake_desktop.h"
#include "support/fixed_chooser.h"
#include "support/record_tab.h"
#include "support/solid_picture.h"
#include "support/temp_dir.h"
#include "support/video_decode.h"
#include "support/window_test_main.h"
#include "test_camera.h"

namespace flipbook {
namespace {

constexpr int kPictures = 12;

// Picture n is one colour that the camera's bars never show: red 20 n, green 255 - 20 n, blue 128.
QRgb ColorOf(int index) {
    return qRgb(20 * index, 255 - 20 * index, 128);
}

int IndexOf(QRgb color) {
    for (int index = 0; index < kPictures; ++index)
        if (color == ColorOf(index)) return index;
    return -1;
}

// The futex address a thread of this process sleeps on in the kernel, or 0 while it is not waiting
// on one: how a test sees which threads queue for a lock, and in which order.
std::uintptr_t FutexWaitedOn(long thread) {
    std::ifstream file("/proc/self/task/" + std::to_string(thread) + "/syscall");
    long call = -1;
    std::string address;
    if (!(file >> call >> address) || call != SYS_futex) return 0;
    return std::stoull(address, nullptr, 16);
}

// The threads of this process asleep on the futex at the address.
std::vector<long> ThreadsWaitingOn(std::uintptr_t address) {
    std::vector<long> threads;
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
        const long thread = std::stol(task.path().filename().string());
        if (address != 0 && FutexWaitedOn(thread) == address) threads.push_back(thread);
    }
    return threads;
}

// Waits, without running the event loop (whose painting takes the display's lock too), until the
// condition holds or 10 s have passed.
bool WaitWithoutEvents(const std::function<bool()>& condition) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// Works through dialogs as a person would while a modal one runs: each step waits for its window to
// show among the top-level widgets, then acts on it (typing, a key, a button). The next look is
// queued before a step acts, so it runs inside any dialog that the step opens in turn.
class DialogSteps : public QObject {
public:
    struct Step {
        std::function<QWidget*()> find;
        std::function<void(QWidget*)> act;
    };
    explicit DialogSteps(std::vector<Step> steps) : steps_(std::move(steps)) { Look(); }
    bool Done() const { return next_ == steps_.size(); }

    // The visible top-level widget of the kind, the last shown first; with none of the other kind
    // visible above it.
    template <class Kind>
    static Kind* Shown() {
        for (QWidget* widget : QApplication::topLevelWidgets())
            if (auto* found = qobject_cast<Kind*>(widget); found && found->isVisible()) return found;
        return nullptr;
    }

private:
    void Look() {
        if (Done()) return;
        QWidget* found = steps_[next_].find();
        if (!found) {
            QTimer::singleShot(10, this, [this] { Look(); });
            return;
        }
        const auto act = steps_[next_++].act;
        QTimer::singleShot(10, this, [this] { Look(); });
        act(found);
    }

    std::vector<Step> steps_;
    std::size_t next_ = 0;
};

}  // namespace

class PlaybackTest : public QObject {
    Q_OBJECT

private slots:
    void init() {
        folder_ = std::make_unique<testing::TempDir>();
        // Twice as wide as the camera's picture: shown fitted, with black bars above and below.
        for (int index = 0; index < kPictures; ++index) {
            QVERIFY(testing::SaveSolidPicture(folder_->File("snap-" + std::to_string(100 + index) + ".png"),
                                              320, 120, ColorOf(index)));
        }
        desktop_ = std::make_unique<testing::FakeDesktop>();
        chooser_ = std::make_unique<testing::FixedChooser>(folder_->Path().string());
        testing::SetTestCameras("Camera:160x120@30:smpte:bgr");
        form_ = std::make_unique<TFormMain>();
        QVERIFY(testing::ShowOnRecordTab(*form_, testing::Activation::Active));
        QTest::mouseClick(form_->btSnapshotsDir, Qt::LeftButton);
        QCOMPARE(form_->lbSnapshots->count(), kPictures);
        QVERIFY(QTest::qWaitFor(
            [&] { return IndexOf(Shown()) < 0 && !form_->imGrabSample->Picture().Empty(); }, 10000));
    }
    void cleanup() {
        if (QTest::currentTestFailed()) folder_->Keep();
        form_.reset();
        chooser_.reset();
        desktop_.reset();
        folder_.reset();
    }

    void Menu_ItemsFollowDeletePicture() {
        QStringList names;
        for (QAction* item : form_->pmSnapshots->actions())
            if (!item->isSeparator()) names << item->objectName();
        QCOMPARE(names, QStringList({"miSnapDelete", "miSnapPlay", "miSnapPlayLast", "miSnapLoop",
                                     "miSnapRate", "miSnapTimeLapse", "miSnapExport"}));
        QVERIFY(form_->miSnapLoop->isCheckable());
    }

    // The onion skin is on and the reference picture loaded, yet every picture shows in its own colour.
    void PlayLastFrames_PaintsEachPictureInOrderAtTheRate_ThenTheLiveViewReturns() {
        QVERIFY(form_->ckGrabOnion->isChecked());
        // Slow enough that a busy machine still paints, and this test sees, every picture: under the
        // thread checker a late first picture left 5 a second too little time to see it.
        form_->Playback().PlaybackRate = 2;
        form_->lbSnapshots->setFocus();
        const QString folderShown = form_->StatusText();
        // Every picture shown is marked in the list, in order, by a queued call: a complete record even
        // while the window's thread is held up.
        std::vector<int> marked;
        connect(form_->lbSnapshots, &QListWidget::currentRowChanged, form_.get(),
                [&](int row) { marked.push_back(row); });
        QTest::keyClick(form_->lbSnapshots, Qt::Key_L);
        QVERIFY(form_->Playing());
        QCOMPARE(form_->StatusText(), QStringLiteral("Playing 10 pictures at 2 fps: any key or click stops"));

        std::vector<int> painted;
        QElapsedTimer clock;
        qint64 firstPainted = -1;
        qint64 lastPainted = -1;
        bool letterboxed = true;
        int livePeeks = 0;  // the live view seen between two pictures
        clock.start();
        while (form_->Playing() && clock.elapsed() < 20000) {
            const QImage view = form_->imGrabSample->grab().toImage();
            const int index = IndexOf(view.pixel(200, 150));
            if (index < 0 && !painted.empty() && painted.back() != kPictures - 1) ++livePeeks;
            if (index >= 0 && (painted.empty() || painted.back() != index)) {
                painted.push_back(index);
                if (firstPainted < 0) firstPainted = clock.elapsed();
                lastPainted = clock.elapsed();
                letterboxed = letterboxed && view.pixel(200, 10) == qRgb(0, 0, 0);
            }
            QTest::qWait(5);
        }
        QVERIFY(!form_->Playing());
        QCOMPARE(form_->StatusText(), folderShown);
        QObject::disconnect(form_->lbSnapshots, &QListWidget::currentRowChanged, form_.get(), nullptr);
        QCOMPARE(marked, std::vector<int>({2, 3, 4, 5, 6, 7, 8, 9, 10, 11}));
        // Under the thread checker, on a busy machine, the window's thread may start painting only after
        // the first picture has given way to the second; every other one stands long enough to be seen.
        if (!painted.empty() && painted.front() == 3) painted.insert(painted.begin(), 2);
        QCOMPARE(painted, std::vector<int>({2, 3, 4, 5, 6, 7, 8, 9, 10, 11}));
        QVERIFY(letterboxed);
        QCOMPARE(livePeeks, 0);
        // Nine frame times (4.5 s) between the first and the last picture at 2 a second, less what
        // this loop may see late of the first on a busy machine; shown all at once, they would take none.
        QVERIFY2(lastPainted - firstPainted >= 3000, qPrintable(QString::number(lastPainted - firstPainted)));
        QVERIFY(QTest::qWaitFor([&] { return IndexOf(Shown()) < 0; }, 5000));
    }

    void AnyKeyOrClick_StopsALoopingPlay_AndSnapDoesNotAct() {
        form_->miSnapLoop->setChecked(true);
        form_->Playback().PlaybackRate = 30;
        form_->lbSnapshots->setCurrentRow(kPictures - 2);
        QTest::keyClick(form_->lbSnapshots, Qt::Key_P);
        // Looping two pictures, it goes past the end and on.
        QVERIFY(QTest::qWaitFor([&] { return IndexOf(Shown()) == kPictures - 1; }, 10000));
        QVERIFY(QTest::qWaitFor([&] { return IndexOf(Shown()) == kPictures - 2; }, 10000));
        QVERIFY(form_->Playing());

        QTest::mouseClick(form_->btGrabSnap, Qt::LeftButton);
        QVERIFY(!form_->Playing());
        QCOMPARE(form_->lbSnapshots->count(), kPictures);
        QVERIFY(QTest::qWaitFor([&] { return IndexOf(Shown()) < 0; }, 5000));

        QTest::keyClick(form_->lbSnapshots, Qt::Key_P);
        QVERIFY(QTest::qWaitFor([&] { return IndexOf(Shown()) >= 0; }, 10000));
        QTest::keyClick(form_->lbSnapshots, Qt::Key_Down);
        QVERIFY(!form_->Playing());
        QCOMPARE(form_->lbSnapshots->currentRow(), kPictures - 2);
        QVERIFY(QTest::qWaitFor([&] { return IndexOf(Shown()) < 0; }, 5000));
    }

    void ExportVideo_WritesTheListedSeriesAtTheRate() {
        const std::string output = folder_->File("flipbook.webm");
        std::string suggested;
        form_->Playback().AskExportPath = [&](const std::string& suggestion) {
            suggested = suggestion;
            return output;
        };
        form_->Playback().PlaybackRate = 6;
        form_->miSnapExport->trigger();
        QCOMPARE(suggested, folder_->File("animation.mp4"));
        QVERIFY(desktop_->errors.empty());
        // Said when done: where, how many pictures, how long.
        QCOMPARE(form_->StatusText(), QStringLiteral("Exported 12 pictures, 2.0 s at 6 fps, to %1")
                                          .arg(QString::fromStdString(output)));
        const testing::DecodedVideo video = testing::DecodeVideo(output);
        QCOMPARE(video.error, std::string());
        QCOMPARE(video.frames.size(), std::size_t{kPictures});
        QCOMPARE(video.width, 320);
        QVERIFY(std::abs(static_cast<double>(video.durationNanoseconds) - 2e9) < 1e9 / 6);
    }

    // A file name that is not valid UTF-8 is listed by its best reading, but played and exported by
    // its own bytes.
    void ExportVideo_ReadsNamesThatAreNotValidUtf8() {
        std::filesystem::rename(folder_->File("snap-105.png"), folder_->File("snap-105-\xff.png"));
        QTest::mouseClick(form_->btSnapshotsDir, Qt::LeftButton);
        QCOMPARE(form_->lbSnapshots->count(), kPictures);
        const std::string output = folder_->File("bytes.webm");
        form_->Playback().AskExportPath = [&](const std::string&) { return output; };
        ExportWithin(120000);
        QCOMPARE(desktop_->errors, std::vector<std::string>());
        const testing::DecodedVideo video = testing::DecodeVideo(output);
        QCOMPARE(video.frames.size(), std::size_t{kPictures});
    }

    // The export fails at its very first picture, before the dialog could have heard of it when the
    // thread started first: the failure still reaches the dialog, which closes and says why. The
    // question whether to go on was answered No.
    void ExportVideo_FirstPictureUnreadable_SaysSoAndEnds() {
        std::ofstream(folder_->File("snap-100.png"), std::ios::binary | std::ios::trunc) << "not a picture";
        form_->Playback().AskExportPath = [&](const std::string&) { return folder_->File("never.mp4"); };
        desktop_->answer = false;
        ExportWithin(120000);
        QCOMPARE(desktop_->questions.size(), std::size_t{1});
        QCOMPARE(desktop_->errors,
                 std::vector<std::string>{"Cannot read the picture " + folder_->File("snap-100.png")});
        QVERIFY(!std::filesystem::exists(folder_->File("never.mp4")));
    }

    // One unreadable picture need not cost the whole video: asked once, Yes holds the picture before
    // each in its place, and the end lists them.
    void ExportVideo_UnreadablePicturesHeld_WhenTheUserSaysSo_AndListedAtTheEnd() {
        for (const char* name : {"snap-103.png", "snap-107.png"})
            std::ofstream(folder_->File(name), std::ios::binary | std::ios::trunc) << "cut short";
        const std::string output = folder_->File("held.webm");
        form_->Playback().AskExportPath = [&](const std::string&) { return output; };
        form_->Playback().PlaybackRate = 6;
        ExportWithin(120000);
        QCOMPARE(desktop_->questions,
                 std::vector<std::string>{"Export Video: snap-103.png cannot be read. Go on with the picture "
                                          "before it held in its place, for this and any other picture that "
                                          "cannot be read? No ends the export."});
        QCOMPARE(desktop_->errors, std::vector<std::string>{"The video " + output +
                                                            " was written, but 2 pictures could not be read; "
                                                            "the picture before each stands in its place:\n"
                                                            "snap-103.png\nsnap-107.png"});
        QCOMPARE(form_->StatusText(), QStringLiteral("Exported 12 pictures, 2.0 s at 6 fps (2 held), to %1")
                                          .arg(QString::fromStdString(output)));
        const testing::DecodedVideo video = testing::DecodeVideo(output);
        QCOMPARE(video.frames.size(), std::size_t{kPictures});
    }

    // The real save dialog (Qt's own, typed into as a person would): a name typed without an ending
    // gets the chosen filter's before the dialog asks about replacing, so "animation" where
    // animation.mp4 exists is asked about, and "clip" under WebM is clip.webm. A name with an ending no
    // video can have is said in the dialog, not changed into clip.mov.mp4.
    void ExportDialog_AsksBeforeReplacing_AddsTheFiltersEnding_AndSaysAnEndingItCannotWrite() {
        std::ofstream(folder_->File("animation.mp4"), std::ios::binary) << "an earlier video";
        QString question;
        QString refusal;
        const auto type = [](const QString& name) {
            return [name](QWidget* dialog) {
                auto* edit = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
                QVERIFY(edit);
                // Typed as a person types: into the active dialog's focused field, which the dialog
                // watches to select what the name matches.
                dialog->activateWindow();
                QVERIFY(QTest::qWaitForWindowActive(dialog));
                edit->setFocus();
                QVERIFY(QTest::qWaitFor([edit] { return edit->hasFocus(); }));
                QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
                QTest::keyClicks(edit, name);
                // Return must take the name as typed, not a completion the popup offers ("animation.mp4"
                // for "animation").
                if (QCompleter* completer = edit->completer(); completer && completer->popup()->isVisible())
                    completer->popup()->hide();
                QTest::keyClick(edit, Qt::Key_Return);
            };
        };
        const auto fileDialog = [] {
            return DialogSteps::Shown<QMessageBox>() ? nullptr : DialogSteps::Shown<QFileDialog>();
        };
        const auto messageBox = [] { return DialogSteps::Shown<QMessageBox>(); };
        {
            DialogSteps steps(
                {{fileDialog, type(QStringLiteral("animation"))},
                 {messageBox,
                  [&](QWidget* box) {
                      question = static_cast<QMessageBox*>(box)->text();
                      QTest::keyClick(box, Qt::Key_Escape);  // No: keep the old video
                  }},
                 {fileDialog, type(QStringLiteral("clip.mov"))},
                 {messageBox,
                  [&](QWidget* box) {
                      refusal = static_cast<QMessageBox*>(box)->text();
                      QTest::keyClick(box, Qt::Key_Escape);
                  }},
                 {fileDialog, [](QWidget* dialog) { QTest::keyClick(dialog, Qt::Key_Escape); }}});
            ExportWithin(60000);
            QVERIFY(steps.Done());
        }
        QVERIFY2(question.contains(QStringLiteral("animation.mp4")), qPrintable(question));
        QVERIFY2(refusal.contains(QStringLiteral("clip.mov")), qPrintable(refusal));
        std::ifstream old(folder_->File("animation.mp4"));
        QCOMPARE(std::string(std::istreambuf_iterator<char>(old), {}), std::string("an earlier video"));
        QVERIFY(!std::filesystem::exists(folder_->File("clip.mov")));
        QVERIFY(!std::filesystem::exists(folder_->File("clip.mov.mp4")));

        DialogSteps webm({{fileDialog, [&](QWidget* dialog) {
                               auto* filters = dialog->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
                               QVERIFY(filters);
                               filters->setFocus();
                               QTest::keyClick(filters, Qt::Key_Down);
                               QCOMPARE(filters->currentText(), QStringLiteral("WebM video, VP9 (*.webm)"));
                               type(QStringLiteral("clip"))(dialog);
                           }}});
        ExportWithin(120000);
        QVERIFY(webm.Done());
        QCOMPARE(desktop_->errors, std::vector<std::string>());
        const testing::DecodedVideo video = testing::DecodeVideo(folder_->File("clip.webm"));
        QCOMPARE(video.error, std::string());
        QCOMPARE(video.frames.size(), std::size_t{kPictures});
        QVERIFY(!std::filesystem::exists(folder_->File("clip.mp4")));
    }

    // The camera's thread must not paint a live frame over the play's first picture. It used to ask
    // whether a picture was shown before it took the display's lock, so a frame that asked just before
    // the first picture went up was drawn right after it. Made to happen every time: the test holds
    // the display's lock, lets the player queue for it first and the camera's frame second (a
    // lock's sleepers wake in the order they came), then lets go.
    void LiveFrame_ArrivingAsThePlayBegins_DoesNotReplaceTheFirstPicture() {
        struct Gate {
            std::mutex lock;
            std::condition_variable changed;
            bool closed = false;
            bool waiting = false;
            std::atomic<long> thread{0};
            std::atomic<int> entered{0};
            std::atomic<int> returned{0};
        };
        const auto gate = std::make_shared<Gate>();
        TSampleGrabber& grabber = *form_->fwSampleGrabber;
        grabber.SetOnBuffer([gate, handler = grabber.OnBuffer](TSampleGrabber& sender, double time,
                                                               const std::uint8_t* buffer,
                                                               std::uint32_t length) {
            gate->thread = static_cast<long>(::gettid());
            ++gate->entered;
            {
                std::unique_lock guard(gate->lock);
                gate->waiting = gate->closed;
                gate->changed.notify_all();
                gate->changed.wait(guard, [&] { return !gate->closed; });
                gate->waiting = false;
            }
            handler(sender, time, buffer, length);
            ++gate->returned;
        });
        const auto setGate = [&](bool closed) {
            std::lock_guard guard(gate->lock);
            gate->closed = closed;
            gate->changed.notify_all();
        };
        Canvas& display = form_->imGrabSample->Picture().GetCanvas();
        form_->Playback().PlaybackRate = 2;

        // Where a frame waits for the display's lock.
        std::unique_lock held(display);
        std::uintptr_t displayLock = 0;
        QVERIFY(WaitWithoutEvents([&] {
            return gate->entered > gate->returned && (displayLock = FutexWaitedOn(gate->thread)) != 0;
        }));
        // The camera's next frame waits before the handler, outside any lock.
        setGate(true);
        held.unlock();
        QVERIFY(WaitWithoutEvents([&] {
            std::lock_guard guard(gate->lock);
            return gate->waiting;
        }));

        held.lock();
        QTest::keyClick(form_->lbSnapshots, Qt::Key_P);
        QVERIFY(form_->Playing());
        const long camera = gate->thread;
        QVERIFY(WaitWithoutEvents([&] {
            const std::vector<long> queued = ThreadsWaitingOn(displayLock);
            return queued.size() == 1 && queued.front() != camera;
        }));
        const int before = gate->returned;
        setGate(false);
        QVERIFY(WaitWithoutEvents([&] { return ThreadsWaitingOn(displayLock).size() == 2; }));
        held.unlock();
        QVERIFY(WaitWithoutEvents([&] { return gate->returned > before; }));
        {
            std::lock_guard guard(display);
            const Bitmap& shown = form_->imGrabSample->Picture();
            const std::uint8_t* pixel = shown.ScanLine(shown.Height() / 2) + shown.Width() / 2 * 3;
            QVERIFY2(IndexOf(qRgb(pixel[2], pixel[1], pixel[0])) >= 0, "a live frame replaced the picture");
        }
        QTest::keyClick(form_->lbSnapshots, Qt::Key_Escape);
    }

    // A turn of the mouse wheel over the format or the camera box stops playback like a key or a
    // click, and changes neither: the list stays what was playing.
    void MouseWheel_OverTheFormatOrCameraBox_StopsPlayback_AndChangesNothing() {
        form_->miSnapLoop->setChecked(true);
        form_->Playback().PlaybackRate = 30;
        for (QComboBox* box : {form_->cbSnapshotsExt, form_->cbVideoDevices}) {
            const int index = box->currentIndex();
            QTest::keyClick(form_->lbSnapshots, Qt::Key_P);
            QVERIFY(QTest::qWaitFor([&] { return IndexOf(Shown()) >= 0; }, 10000));
            const QPoint middle = box->rect().center();
            QWheelEvent wheel(middle, box->mapToGlobal(middle), QPoint(), QPoint(0, -120), Qt::NoButton,
                              Qt::NoModifier, Qt::NoScrollPhase, false);
            QApplication::sendEvent(box, &wheel);
            QVERIFY(!form_->Playing());
            QCOMPARE(box->currentIndex(), index);
            QCOMPARE(form_->lbSnapshots->count(), kPictures);
        }
    }

    // After playback the status bar says the present state, never the text from before it: an old
    // time-lapse message goes, and a camera lost during the play stays said. O says what it did.
    // A message says what just happened and then gives way to the present state; what is the present
    // state (a play running, a lost camera) stays as long as it lasts, and a failure stays until the
    // state changes.
    void StatusMessages_GiveWayToThePresentState_FailuresOnlyToAChange() {
        const auto life = TStatusModel::MessageLife;
        TStatusModel::MessageLife = std::chrono::milliseconds(300);
        const auto restore = qScopeGuard([&] { TStatusModel::MessageLife = life; });
        const QString folderShown = form_->StatusText();
        form_->lbSnapshots->setFocus();
        // By the actions: the keys need the window active, which another test's window may hold.
        form_->miSnapLoop->trigger();
        QCOMPARE(form_->StatusText(), QStringLiteral("Loop on"));
        QTRY_COMPARE(form_->StatusText(), folderShown);

        form_->Playback().PlaybackRate = 1;
        form_->miSnapPlay->trigger();
        QVERIFY(form_->Playing());
        QTest::qWait(900);
        QVERIFY2(form_->StatusText().startsWith(QStringLiteral("Playing ")), qPrintable(form_->StatusText()));
        QTest::keyClick(form_->lbSnapshots, Qt::Key_Escape);
        QCOMPARE(form_->StatusText(), folderShown);

        // A picture that cannot be read, picked: the failure outlives a message's life.
        QFile broken(QString::fromStdString(folder_->File("snap-999.png")));
        QVERIFY(broken.open(QIODevice::WriteOnly));
        QVERIFY(broken.write("not a picture") > 0);
        broken.close();
        QTRY_COMPARE(form_->lbSnapshots->count(), kPictures + 1);
        form_->lbSnapshots->setCurrentRow(kPictures);
        const QString unreadable =
            QStringLiteral("snap-999.png cannot be read as a picture: the reference stays as it was");
        QCOMPARE(form_->StatusText(), unreadable);
        QTest::qWait(900);
        QCOMPARE(form_->StatusText(), unreadable);
        // Another format: a state of its own, which the failure gives way to.
        form_->cbSnapshotsExt->setFocus();
        QTest::keyClick(form_->cbSnapshotsExt, Qt::Key_Down);
        QCOMPARE(form_->lbSnapshots->count(), 0);
        QCOMPARE(form_->StatusText(), folderShown);
    }

    void StatusAfterPlayback_SaysThePresentState_AndLoopSaysOnOrOff() {
        const QString folderShown = form_->StatusText();
        form_->lbSnapshots->setFocus();
        QTest::keyClick(form_->lbSnapshots, Qt::Key_O);
        QCOMPARE(form_->StatusText(), QStringLiteral("Loop on"));
        QTest::keyClick(form_->lbSnapshots, Qt::Key_O);
        QCOMPARE(form_->StatusText(), QStringLiteral("Loop off"));

        form_->miSnapLoop->setChecked(true);
        form_->Playback().PlaybackRate = 30;
        form_->SetStatusText(QStringLiteral("Time-lapse stopped after 15 taken: stopped by the I key"));
        QTest::keyClick(form_->lbSnapshots, Qt::Key_P);
        QVERIFY(form_->Playing());
        QTest::keyClick(form_->lbSnapshots, Qt::Key_Escape);
        QVERIFY(!form_->Playing());
        QCOMPARE(form_->StatusText(), folderShown);

        QTest::keyClick(form_->lbSnapshots, Qt::Key_P);
        QVERIFY(form_->Playing());
        testing::PullOutTestCamera("Camera");
        QVERIFY(QTest::qWaitFor([&] { return form_->CameraLost(); }, 10000));
        QTest::keyClick(form_->lbSnapshots, Qt::Key_Escape);
        QVERIFY(!form_->Playing());
        QCOMPARE(form_->StatusText(), QStringLiteral("Camera: the camera was disconnected"));
    }

private:
    // Exports the listed series, closing the dialogs still open after the time given, which only an
    // export that never reports its end (or a dialog that never got its answer) leaves open.
    void ExportWithin(int milliseconds) {
        bool stuck = false;
        QTimer watchdog;
        watchdog.setSingleShot(true);
        connect(&watchdog, &QTimer::timeout, [&] {
            for (QWidget* window : QApplication::topLevelWidgets()) {
                if (auto* dialog = qobject_cast<QDialog*>(window); dialog && dialog->isVisible()) {
                    stuck = true;
                    dialog->reject();
                }
            }
        });
        watchdog.start(milliseconds);
        form_->miSnapExport->trigger();
        QVERIFY2(!stuck, "the export dialog waited for an end that never came");
    }

    // The colour painted in the middle of the view.
    QRgb Shown() { return form_->imGrabSample->grab().toImage().pixel(200, 150); }

    std::unique_ptr<testing::TempDir> folder_;
    std::unique_ptr<testing::FakeDesktop> desktop_;
    std::unique_ptr<testing::FixedChooser> chooser_;
    std::unique_ptr<TFormMain> form_;
};

}  // namespace flipbook

FLIPBOOK_WINDOW_TEST_MAIN(flipbook::PlaybackTest)

#include "playback_test.moc"
