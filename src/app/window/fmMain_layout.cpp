// SPDX-License-Identifier: GPL-3.0-or-later
// The window's controls: names, kinds, parents, bounds (relative to the parent), captions and states.
// Controls are made in tab order within each parent.

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSlider>
#include <QStatusBar>
#include <QTabWidget>

#include "app/window/fmMain.h"
#include "app/window/image.h"
#include "widgets/elided_label.h"
#include "widgets/url_label.h"

namespace flipbook {
namespace {

constexpr int kStatusBarHeight = 19;
const char* const kUpdateAddress = "https://flipbookcam.example.org/update";

template <typename Control>
Control* Make(QWidget* parent, const char* name, int left, int top, int width, int height) {
    auto* control = new Control(parent);
    control->setObjectName(QString::fromLatin1(name));
    control->setGeometry(left, top, width, height);
    return control;
}

QGroupBox* MakeGroup(QWidget* parent, const char* name, const char* caption, int left, int top, int width,
                     int height) {
    auto* group = Make<QGroupBox>(parent, name, left, top, width, height);
    group->setTitle(QString::fromLatin1(caption));
    return group;
}

QWidget* MakePage(QTabWidget* pages, const char* name, const char* caption) {
    auto* page = new QWidget(pages);
    page->setObjectName(QString::fromLatin1(name));
    pages->addTab(page, QString::fromLatin1(caption));
    return page;
}

}  // namespace

void TFormMain::CreateControls() {
    setObjectName(QStringLiteral("fmMain"));
    setWindowTitle(QStringLiteral("Flipbook Cam"));
    // Fixed border with the system menu and minimise only: no maximise, no resizing.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    setFixedSize(kClientWidth, kClientHeight);
    setBackgroundRole(QPalette::Button);
    setAutoFillBackground(true);

    pcMain = Make<QTabWidget>(this, "pcMain", 8, 8, 673, 433);

    tsMainHelp = MakePage(pcMain, "tsMainHelp", "Help");
    gbHelpInfo = MakeGroup(tsMainHelp, "gbHelpInfo", "Info", 8, 8, 161, 385);
    hlUrlUpdate = new TUrlLabel(gbHelpInfo);
    hlUrlUpdate->setObjectName(QStringLiteral("hlUrlUpdate"));
    QFont linkFont = hlUrlUpdate->font();
    linkFont.setBold(true);
    hlUrlUpdate->setFont(linkFont);
    hlUrlUpdate->SetUnderlineURL(true);
    hlUrlUpdate->SetFontColor(Qt::blue);
    hlUrlUpdate->SetCaption(QStringLiteral("Update..."));
    hlUrlUpdate->SetURL(QString::fromLatin1(kUpdateAddress));
    // A beep alone leaves the user without the page: the address is shown, to copy into a browser.
    hlUrlUpdate->OnOpenFailed = [](const QString& address) {
        TheDesktop().ShowError(
            "The update page could not be opened: no web browser answered. Open this "
            "address in a web browser yourself:\n\n" +
            address.toStdString());
    };
    // Drawn as 54 x 13 for the original font; like any label it sizes itself to its text, so the
    // caption is never cut in a wider font.
    hlUrlUpdate->move(8, 24);
    auto* licence =
        new QLabel(QStringLiteral("Free software under the\nGNU General Public\nLicense, version 3 or\n"
                                  "later (GPL-3.0-or-later):\nsee \"Licence\" in the\nread-me."),
                   gbHelpInfo);
    licence->setObjectName(QStringLiteral("lbHelpLicence"));
    licence->setTextInteractionFlags(Qt::TextSelectableByMouse);
    licence->move(8, 56);

    gbHelpReadme = MakeGroup(tsMainHelp, "gbHelpReadme", "Readme", 176, 8, 481, 385);
    mmHelpReadme = Make<QPlainTextEdit>(gbHelpReadme, "mmHelpReadme", 8, 16, 465, 361);
    mmHelpReadme->setReadOnly(true);
    mmHelpReadme->setLineWrapMode(QPlainTextEdit::NoWrap);
    mmHelpReadme->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    mmHelpReadme->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);

    CreateRecordPage();
    pcMain->setCurrentWidget(tsMainHelp);

    sbMain =
        Make<QStatusBar>(this, "sbMain", 0, kClientHeight - kStatusBarHeight, kClientWidth, kStatusBarHeight);
    sbMain->setSizeGripEnabled(false);
    statusText_ = new TElidedLabel(sbMain);
    // Elided, never wider than the bar: a long text must not widen the fixed window.
    statusText_->setMinimumWidth(1);
    sbMain->addWidget(statusText_, 1);

    pmSnapshots = new QMenu(this);
    pmSnapshots->setObjectName(QStringLiteral("pmSnapshots"));
    miSnapDelete = pmSnapshots->addAction(QStringLiteral("Delete Picture"));
    miSnapDelete->setObjectName(QStringLiteral("miSnapDelete"));
    miSnapDelete->setShortcut(QKeySequence::Delete);
    // The shortcut works while the list has the focus, as the list's own context menu.
    miSnapDelete->setShortcutContext(Qt::WidgetShortcut);
    lbSnapshots->addAction(miSnapDelete);
    lbSnapshots->setContextMenuPolicy(Qt::CustomContextMenu);
}

void TFormMain::CreateRecordPage() {
    tsMainGrab = MakePage(pcMain, "tsMainGrab", "Record");

    gbGrabVideo = MakeGroup(tsMainGrab, "gbGrabVideo", "Video", 8, 8, 417, 385);
    cbVideoDevices = Make<QComboBox>(gbGrabVideo, "cbVideoDevices", 8, 16, 401, 21);
    cbVideoDevices->setEditable(false);
    ckGrabOnion = Make<QCheckBox>(gbGrabVideo, "ckGrabOnion", 8, 352, 97, 17);
    ckGrabOnion->setText(QStringLiteral("Onion Skin"));
    ckGrabOnion->setChecked(true);
    tbGrabOnion = Make<QSlider>(gbGrabVideo, "tbGrabOnion", 112, 352, 185, 21);
    tbGrabOnion->setOrientation(Qt::Horizontal);
    tbGrabOnion->setRange(1, 100);
    tbGrabOnion->setValue(50);
    tbGrabOnion->setSingleStep(1);
    tbGrabOnion->setTickPosition(QSlider::NoTicks);
    btGrabSnap = Make<QPushButton>(gbGrabVideo, "btGrabSnap", 336, 352, 75, 25);
    btGrabSnap->setText(QStringLiteral("&Snap"));
    imGrabSample = Make<TImage>(gbGrabVideo, "imGrabSample", 8, 40, 400, 300);

    gbGrabPictures = MakeGroup(tsMainGrab, "gbGrabPictures", "Pictures", 432, 8, 225, 385);
    cbSnapshotsExt = Make<QComboBox>(gbGrabPictures, "cbSnapshotsExt", 8, 16, 209, 21);
    cbSnapshotsExt->setEditable(false);
    cbSnapshotsExt->addItems({QStringLiteral("PNG"), QStringLiteral("JPG"), QStringLiteral("BMP")});
    lbSnapshots = Make<QListWidget>(gbGrabPictures, "lbSnapshots", 8, 40, 209, 301);
    lbSnapshots->setSortingEnabled(true);
    btSnapshotsDir = Make<QPushButton>(gbGrabPictures, "btSnapshotsDir", 144, 352, 75, 25);
    btSnapshotsDir->setText(QStringLiteral("Folder..."));
}

void TFormMain::AddRecordTabKey(QAction* action) {
    // A window shortcut of the tab page: the page is visible only while it is the current tab, so the
    // key works from the tab bar and the list too, and, being matched before the focused control sees
    // the key, wins over the list's type-ahead. Other windows (dialogs, the shooting view) never see it.
    action->setShortcutContext(Qt::WindowShortcut);
    tsMainGrab->addAction(action);
}

}  // namespace flipbook
