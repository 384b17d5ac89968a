// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/window/fmMain.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QScreen>
#include <QShowEvent>
#include <QSlider>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>
#include <QWindow>

#include "app/camera/camera_settings_dialog.h"
#include "app/camera/frame_averaging.h"
#include "app/library/snapshot_history.h"
#include "app/library/snapshot_library.h"
#include "app/playback/playback_session.h"
#include "app/shooting/shooting_view.h"
#include "app/shooting/time_lapse.h"
#include "app/window/application.h"
#include "app/window/image.h"
#include "app/window/status_model.h"
#include "capture/filter.h"
#include "capture/filter_graph.h"
#include "capture/sample_grabber.h"
#include "effects/band_worker.h"
#include "platform/graphics/bitmap.h"
#include "platform/shell/desktop.h"
#include "widgets/elided_label.h"
#include "widgets/url_label.h"

namespace flipbook {
namespace {

// When one of the program's dialogs closes and the keyboard went nowhere (a desktop without a window
// manager, or one that does not hand it back), the window takes it again: the tab's keys must work
// right after a dialog, as they do right after a click.
class DialogFocusReturn : public QObject {
public:
    DialogFocusReturn(TFormMain* window, std::function<bool()> viewOpen)
        : QObject(window), window_(window), viewOpen_(std::move(viewOpen)) {
        qApp->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Hide && qobject_cast<QDialog*>(watched)) {
            QTimer::singleShot(0, window_, [this] {
                if (window_->isVisible() && !QApplication::activeWindow() &&
                    !QApplication::activeModalWidget() && !viewOpen_())
                    window_->activateWindow();
            });
        }
        return QObject::eventFilter(watched, event);
    }

private:
    TFormMain* window_;
    std::function<bool()> viewOpen_;
};

}  // namespace

TFormMain::TFormMain(QWidget* parent) : QWidget(parent) {
    CreateControls();
    status_ = new TStatusModel([this] { return PresentStatusText(); }, this);
    connect(status_, &TStatusModel::TextChanged, statusText_, &TElidedLabel::SetFullText);
    ConnectHandlers();
    CreateCameraSession();
    CreatePlaybackItems();
    CreateShooting();
    CreateCameraMenu();
    CreateLiveView();
    CreateAveraging();
    CreateLibrary();
    CreatePlayback();
    CreateHistory();
    FormCreate();
    new DialogFocusReturn(this, [this] { return fmShooting->IsOpen(); });
}

TFormMain::~TFormMain() {
    // The history acts on the library, so it goes first. Finishes the saves still queued, so nothing
    // taken is lost even without a close.
    history_.reset();
    library_.reset();
    DestroyLiveView();
    // Freed in reverse order of creation.
    referencePicture_.reset();
    liveFrame_.reset();
}

void TFormMain::ConnectHandlers() {
    // "activated" is the user's choice only, so selecting an entry from code runs no handler.
    connect(cbVideoDevices, &QComboBox::activated, this, &TFormMain::cbVideoDevicesChange);
    connect(ckGrabOnion, &QCheckBox::clicked, this, &TFormMain::ckGrabOnionClick);
    connect(btGrabSnap, &QPushButton::clicked, this, &TFormMain::btGrabSnapClick);
    connect(cbSnapshotsExt, &QComboBox::activated, this, &TFormMain::cbSnapshotsExtChange);
    connect(lbSnapshots, &QListWidget::itemSelectionChanged, this, &TFormMain::lbSnapshotsSelectionChanged);
    connect(btSnapshotsDir, &QPushButton::clicked, this, &TFormMain::btSnapshotsDirClick);
    connect(lbSnapshots, &QWidget::customContextMenuRequested, this, &TFormMain::pmSnapshotsPopup);
    connect(miSnapDelete, &QAction::triggered, this, &TFormMain::miSnapDeleteClick);
}

void TFormMain::FormCreate() {
    camera_->CreateDeviceList();
    liveFrame_ = std::make_unique<Bitmap>();
    referencePicture_ = std::make_unique<Bitmap>();
}

void TFormMain::FillVideoDevices(const std::vector<std::string>& friendlyNames) {
    for (const std::string& name : friendlyNames) cbVideoDevices->addItem(QString::fromStdString(name));
}

void TFormMain::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // The show steps run once, on the first show; restoring from the taskbar shows the window again.
    if (shown_ || event->spontaneous()) return;
    shown_ = true;
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        move(screen->availableGeometry().center() - rect().center());
    }
    FormShow();
}

void TFormMain::FormShow() {
    // A failing read leaves the remaining steps undone; the application's error box reports it.
    setWindowTitle(
        QString::fromStdString(viVersionInfo.ProductName() + " " + viVersionInfo.ProductVersion()));
    TApplication::SetTitle(windowTitle());
    // The desktop's title bar adds the application title unless the caption is that title; with both
    // equal now, hand the caption to the title bar again so it drops the addition.
    if (QWindow* window = windowHandle()) window->setTitle(windowTitle());

    LoadReadme();

    if (cbVideoDevices->count() > 0) {
        camera_->SelectFirstWorkingDevice();
    } else {
        gbGrabVideo->setEnabled(false);
        gbGrabPictures->setEnabled(false);
        StatusStateChanged();
        TheDesktop().Beep();
    }

    cbSnapshotsExt->setCurrentIndex(0);
    cbSnapshotsExtChange();
}

void TFormMain::LoadReadme() {
    QFile readme(QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("readme.txt")));
    // A missing or unreadable read-me leaves the box empty without a word.
    if (!readme.open(QIODevice::ReadOnly | QIODevice::Text)) return;
    const QByteArray text = readme.readAll();
    if (readme.error() != QFileDevice::NoError) return;
    mmHelpReadme->setPlainText(QString::fromUtf8(text));
}

void TFormMain::closeEvent(QCloseEvent* event) {
    // When the close step raises, the close is refused and the window stays open.
    event->ignore();
    // A second close (or a second signal) while this one waits for the saves changes nothing.
    if (closing_) return;
    QScopedValueRollback closing(closing_, true);
    TimeLapse->Stop(QStringLiteral("the window is closing"));
    fmShooting->close();
    FinishAveraging();
    library_->FinishPendingSaves();
    FormClose();
    event->accept();
}

int TFormMain::PendingSaves() const {
    return library_->PendingSaves();
}

const std::string& TFormMain::SnapshotFolder() const {
    return library_->Folder();
}

const std::string& TFormMain::SnapshotExtension() const {
    return library_->Extension();
}

void TFormMain::CreateLibrary() {
    library_ = std::make_unique<TSnapshotLibrary>(this, lbSnapshots, SaveQueueBytes);
    library_->Playing = [this] { return Playing(); };
    connect(library_.get(), &TSnapshotLibrary::Said, this, &TFormMain::SetStatusText);
    connect(library_.get(), &TSnapshotLibrary::Failed, this, &TFormMain::SayFailure);
    connect(library_.get(), &TSnapshotLibrary::Changed, this, &TFormMain::StatusStateChanged);
    // The picture counted as taken is not there after all.
    connect(library_.get(), &TSnapshotLibrary::PictureLost, TimeLapse, &TTimeLapse::PictureLost);
    // The view's status line tells of each save that went wrong, or not quite right.
    connect(library_.get(), &TSnapshotLibrary::SaveReported, fmShooting, &TShootingView::ShowStatusLine);
}

QString TFormMain::StatusText() const {
    return status_->Text();
}

void TFormMain::SetStatusText(const QString& text) {
    status_->Say(text);
}

void TFormMain::SayFailure(const QString& text) {
    status_->Say(text, TStatusModel::Kind::Failure);
}

void TFormMain::StatusStateChanged() {
    status_->StateChanged();
}

QString TFormMain::PresentStatusText() const {
    if (CameraLost()) return camera_->Problem();
    if (playback_->Playing()) return playback_->PlayingStatus();
    if (TimeLapse->Running()) return TimeLapse->StatusText();
    if (!gbGrabVideo->isEnabled()) return QString::fromLatin1(kNoDeviceMessage);
    return QString::fromStdString(library_->Folder());
}

}  // namespace flipbook
