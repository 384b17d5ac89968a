// SPDX-License-Identifier: GPL-3.0-or-later
#include "widgets/select_dir.h"

#include "platform/shell/desktop.h"
#include "widgets/select_dir_files.h"
#include "widgets/select_dir_lists.h"

#include <QFile>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>

#include <atomic>
#include <filesystem>
#include <system_error>

namespace flipbook {
namespace {

QLabel* MakeLabel(const char* text, QWidget* buddy, QRect bounds, QWidget* parent) {
    auto* label = new QLabel(QString::fromUtf8(text), parent);
    label->setGeometry(bounds);
    label->setBuddy(buddy);
    return label;
}

QPushButton* MakeButton(const char* name, const char* text, QRect bounds, QWidget* parent) {
    auto* button = new QPushButton(QString::fromUtf8(text), parent);
    button->setObjectName(QString::fromUtf8(name));
    button->setGeometry(bounds);
    return button;
}

// The button columns when there is no Help button: OK takes Cancel's place and Cancel Help's.
constexpr int kCancelLeft = 256;
constexpr int kHelpLeft = 340;

}  // namespace

TSelectDirDlg::TSelectDirDlg(QWidget* parent, std::vector<Drive> drives)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      drives_(std::move(drives)) {
    BuildControls();
    FormCreate();
}

TSelectDirDlg::~TSelectDirDlg() = default;

void TSelectDirDlg::BuildControls() {
    setWindowTitle(QStringLiteral("Select Directory"));
    setFixedSize(424, 255);

    DirEdit = new QLineEdit(this);
    DirEdit->setObjectName(QStringLiteral("DirEdit"));
    DirEdit->setGeometry(8, 24, 313, 20);
    DirLabel = new TPathLabel(this);
    DirLabel->setObjectName(QStringLiteral("DirLabel"));
    DirList = new TDirectoryListBox(drives_, this);
    DirList->setObjectName(QStringLiteral("DirList"));
    DirList->setGeometry(8, 72, 213, 138);
    FileList = new TFileListBox(this);
    FileList->setObjectName(QStringLiteral("FileList"));
    FileList->setGeometry(232, 72, 185, 93);
    DriveList = new TDriveComboBox(drives_, this);
    DriveList->setObjectName(QStringLiteral("DriveList"));
    DriveList->setGeometry(232, 192, 185, 19);

    MakeLabel("Directory &Name:", DirEdit, {8, 8, 92, 13}, this);
    MakeLabel("&Directories:", DirList, {8, 56, 66, 13}, this);
    MakeLabel("&Files: (*.*)", FileList, {232, 56, 57, 13}, this);
    MakeLabel("D&rives:", DriveList, {232, 176, 41, 13}, this);

    NetButton = MakeButton("NetButton", "Ne&twork...", {8, 224, 77, 27}, this);
    OKButton = MakeButton("OKButton", "OK", {172, 224, 77, 27}, this);
    CancelButton = MakeButton("CancelButton", "Cancel", {256, 224, 77, 27}, this);
    HelpButton = MakeButton("HelpButton", "&Help", {340, 224, 77, 27}, this);
    OKButton->setDefault(true);

    setTabOrder(DirList, DirEdit);
    setTabOrder(DirEdit, DriveList);
    setTabOrder(DriveList, NetButton);
    setTabOrder(NetButton, OKButton);
    setTabOrder(OKButton, CancelButton);
    setTabOrder(CancelButton, FileList);
    setTabOrder(FileList, HelpButton);

    connect(DirList, &TDirectoryListBox::Changed, this, &TSelectDirDlg::DirListChange);
    connect(DriveList, &QComboBox::activated, this, [this] {
        try {
            DriveListChange();
        } catch (const Exception& error) {
            TheDesktop().ShowError(error.what());
            DriveList->setCurrentIndex(DirList->DriveIndex());
        }
    });
    connect(OKButton, &QPushButton::clicked, this, &TSelectDirDlg::OKClick);
    connect(CancelButton, &QPushButton::clicked, this, &QDialog::reject);
    connect(NetButton, &QPushButton::clicked, this, &TSelectDirDlg::NetClick);
    connect(HelpButton, &QPushButton::clicked, this, &TSelectDirDlg::HelpButtonClick);
}

void TSelectDirDlg::FormCreate() {
    // There is no network-connect dialog to offer on this desktop: shares are mounted folders.
    NetButton->hide();
    allowCreate_ = false;
    DirEdit->hide();
    DirLabel->setGeometry(DirEdit->geometry());
    DirLabel->show();
    DirListChange();
    DirList->setFocus();
}

void TSelectDirDlg::SetAllowCreate(bool allowCreate) {
    if (allowCreate == allowCreate_) return;
    allowCreate_ = allowCreate;
    DirLabel->setVisible(!allowCreate);
    DirEdit->setVisible(allowCreate);
}

void TSelectDirDlg::SetHelpContext(int helpContext) {
    helpContext_ = helpContext;
    const bool hasHelp = helpContext != 0;
    HelpButton->setVisible(hasHelp);
    if (!hasHelp) {
        OKButton->move(kCancelLeft, OKButton->y());
        CancelButton->move(kHelpLeft, CancelButton->y());
    }
}

void TSelectDirDlg::SetStartDirectory(const std::string& directory) {
    if (directory.empty()) return;
    // The folder is given as a search in it, so the directory part is what stays after cutting the
    // last name: "pics" and "pics/" both start in pics.
    std::string search = directory;
    if (search.back() != '/') search += '/';
    search += "*.*";
    const std::string full = ExpandPath(search);
    const int drive = DriveIndexOf(drives_, full);
    if (drive < 0) return;  // on no drive we know: start where we are
    SelectDrive(drive);
    const auto slash = full.rfind('/');
    const std::string folder = slash == 0 ? std::string(1, '/') : full.substr(0, slash);
    try {
        DirList->SetDirectory(folder);
    } catch (const EInOutError&) {
        std::error_code error;
        const std::string current = std::filesystem::current_path(error).string();
        if (error) throw EInOutError(error.value());
        DriveList->setCurrentIndex(DriveIndexOf(drives_, current));
        DirList->SetDirectory(current);
    }
}

void TSelectDirDlg::SelectDrive(int index) {
    if (index == DirList->DriveIndex()) {
        DriveList->setCurrentIndex(index);
        return;
    }
    DriveList->setCurrentIndex(index);
    DriveListChange();
}

std::string TSelectDirDlg::Result() const {
    // The texts are shown lossily; the folder shown is taken as its bytes, and so is a name typed as
    // an existing entry is shown.
    if (!allowCreate_) return DirList->Directory();
    return TypedPath(QFile::encodeName(DirEdit->text()).toStdString(), DirList->Directory());
}

void TSelectDirDlg::DirListChange() {
    DirLabel->setText(ShownName(DirList->Directory()));
    FileList->SetDirectory(DirList->Directory());
    DirEdit->setText(DirLabel->text());
    DirEdit->selectAll();
    DriveList->setCurrentIndex(DirList->DriveIndex());
}

void TSelectDirDlg::DriveListChange() {
    const int index = DriveList->currentIndex();
    if (index < 0 || static_cast<std::size_t>(index) >= drives_.size()) return;
    const Drive& drive = drives_[static_cast<std::size_t>(index)];
    const std::string target = DriveCurrentDirectory(drives_, drive);
    try {
        DirList->SetDirectory(target);
    } catch (const EInOutError&) {
        // The folder last used there has gone; the drive itself may still be there.
        if (target == drive.mountPoint) throw;
        DirList->SetDirectory(drive.mountPoint);
    }
}

void TSelectDirDlg::OKClick() {
    if (allowCreate_ && prompt_ && !DirectoryExists(Result()) && !AskToCreate()) return;
    accept();
}

bool TSelectDirDlg::AskToCreate() {
    QMessageBox box(QMessageBox::Question, QStringLiteral("Confirm"),
                    QStringLiteral("The specified directory does not exist. Create it?"),
                    QMessageBox::NoButton, this);
    QPushButton* yes = box.addButton(QStringLiteral("&Yes"), QMessageBox::YesRole);
    QPushButton* no = box.addButton(QStringLiteral("&No"), QMessageBox::NoRole);
    box.setDefaultButton(yes);
    box.setEscapeButton(no);
    box.exec();
    return box.clickedButton() == yes;
}

void TSelectDirDlg::NetClick() {
    // Network shares are reached through their mount points; there is no connect dialog to open.
}

void TSelectDirDlg::HelpButtonClick() {
    // No help viewer ships with the program; the beep says that nothing is there.
    TheDesktop().Beep();
}

bool SelectDirectory(QWidget* parent, std::string& directory, SelectDirOptions options, int helpContext) {
    std::string chosen;
    LeaveUnreadableCurrentDirectory();
    {
        TSelectDirDlg dialog(parent);
        dialog.SetStartDirectory(directory);
        dialog.SetAllowCreate(options.testFlag(SelectDirOption::AllowCreate));
        dialog.SetPrompt(options.testFlag(SelectDirOption::Prompt));
        dialog.SetHelpContext(helpContext);
        if (const QScreen* screen = dialog.screen()) {
            dialog.move(screen->availableGeometry().center() - dialog.rect().center());
        }
        if (dialog.exec() != QDialog::Accepted) return false;
        chosen = dialog.Result();
    }
    directory = chosen;
    if (options.testFlag(SelectDirOption::PerformCreate)) ForceDirectories(directory);
    return true;
}

namespace {

class DialogChooser final : public DirectoryChooser {
public:
    bool Select(QWidget* parent, std::string& directory, SelectDirOptions options, int helpContext) override {
        return SelectDirectory(parent, directory, options, helpContext);
    }
};

std::atomic<DirectoryChooser*> installedChooser{nullptr};

}  // namespace

DirectoryChooser& TheDirectoryChooser() {
    if (DirectoryChooser* installed = installedChooser.load()) return *installed;
    static DialogChooser dialogChooser;
    return dialogChooser;
}

DirectoryChooser* InstallDirectoryChooser(DirectoryChooser* chooser) {
    return installedChooser.exchange(chooser);
}

}  // namespace flipbook
