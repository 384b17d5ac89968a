// The snapshot library of the "Record" tab: the folder, the format, the list of pictures, picking the
// reference picture, moving pictures to the trash, and Snap. Every handler swallows its failures; the
// only signs are the status text and the list.
#include <QAction>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QListWidget>
#include <QMenu>

#include <filesystem>

#include "app/fmMain.h"
#include "app/picture_files.h"
#include "app/snapshot_folder.h"
#include "platform/graphics/bitmap.h"
#include "platform/shell/sound.h"
#include "shellutils/zt_utils.h"
#include "widgets/select_dir.h"

namespace flipbook {

namespace {

// The chooser may create the folder the user types, after asking.
constexpr SelectDirOptions kChooseFolderOptions =
    SelectDirOption::AllowCreate | SelectDirOption::PerformCreate | SelectDirOption::Prompt;

bool IsDirectory(const std::string& path) {
    std::error_code error;
    return !path.empty() && std::filesystem::is_directory(path, error);
}

bool StillThere(const std::string& path) {
    std::error_code error;
    return std::filesystem::symlink_status(path, error).type() != std::filesystem::file_type::not_found;
}

std::filesystem::path ProgramFolder() {
    return std::filesystem::path(QCoreApplication::applicationDirPath().toStdString());
}

}  // namespace

int TFormMain::SelectedSnapshot() const {
    const int row = lbSnapshots->currentRow();
    if (row < 0 || !lbSnapshots->item(row)->isSelected()) return -1;
    return row;
}

bool TFormMain::ChooseFolder() {
    try {
        std::string folder = snapshotDir_;
        if (!TheDirectoryChooser().Select(this, folder, kChooseFolderOptions, 0)) return false;
        if (folder.empty() || folder.back() != '/') folder += '/';
        snapshotDir_ = folder;
        SetStatusText(QString::fromStdString(snapshotDir_));
        return ListPictures();
    } catch (...) {
        return false;
    }
}

bool TFormMain::ListPictures() {
    // Before a folder is chosen there is nothing to show, and the start-up failure message that may
    // stand in the status bar must stay readable.
    if (snapshotDir_.empty()) return false;
    SetStatusText(QString::fromStdString(snapshotDir_));
    try {
        lbSnapshots->clear();
        for (const std::string& name : ListPictureNames(snapshotDir_, snapshotExt_)) {
            lbSnapshots->addItem(QString::fromStdString(name));
        }
        // The last entry is the newest snapshot by name.
        if (lbSnapshots->count() > 0) lbSnapshots->setCurrentRow(lbSnapshots->count() - 1);
        return true;
    } catch (...) {
        return false;
    }
}

void TFormMain::cbSnapshotsExtChange() {
    try {
        snapshotExt_ = '.' + cbSnapshotsExt->currentText().toLower().toStdString();
        ListPictures();
        lbSnapshotsClick();
    } catch (...) {
    }
}

void TFormMain::lbSnapshotsClick() {
    try {
        const int selected = SelectedSnapshot();
        if (selected < 0) {
            WithPictures([](Bitmap&, Bitmap& reference) { reference.Clear(); });
            return;
        }
        // Decode outside the lock, so the live view does not stall on a large file.
        Bitmap picture;
        if (!LoadPicture(&picture, snapshotDir_ + lbSnapshots->item(selected)->text().toStdString())) return;
        WithPictures([&picture](Bitmap&, Bitmap& reference) { reference = std::move(picture); });
    } catch (...) {
    }
}

void TFormMain::btSnapshotsDirClick() {
    try {
        ChooseFolder();
        lbSnapshotsClick();
    } catch (...) {
    }
}

void TFormMain::pmSnapshotsPopup(const QPoint& position) {
    miSnapDelete->setEnabled(SelectedSnapshot() >= 0);
    pmSnapshots->popup(lbSnapshots->viewport()->mapToGlobal(position));
}

void TFormMain::miSnapDeleteClick() {
    try {
        const int selected = SelectedSnapshot();
        if (selected < 0) return;
        const std::string path = snapshotDir_ + lbSnapshots->item(selected)->text().toStdString();
        MoveToRecycleBin(path, TrashConfirmation::Ask);
        // Declined or failed: the file is still there and nothing changes. A folder listed under
        // the format cannot go to the trash, so it keeps its entry too.
        if (StillThere(path)) return;
        delete lbSnapshots->takeItem(selected);
        if (selected == 0) {
            if (lbSnapshots->count() > 0) lbSnapshots->setCurrentRow(0);
        } else {
            lbSnapshots->setCurrentRow(selected - 1);
        }
        lbSnapshotsClick();
    } catch (...) {
    }
}

void TFormMain::btGrabSnapClick() {
    if (SnapRefusedWhileCameraLost()) return;
    try {
        if (!IsDirectory(snapshotDir_) && !ChooseFolder()) return;
        const std::string name = SnapshotName(SnapshotClock(), snapshotExt_);
        // The live frame becomes the reference at once; the copy saved is taken under the same lock,
        // so the frame handler cannot change it while the codec reads it.
        Bitmap picture = WithPictures([](Bitmap& live, Bitmap& reference) {
            reference.Assign(live);
            return Bitmap(live);
        });
        SavePicture(&picture, snapshotDir_ + name);
        QListWidgetItem* item = new QListWidgetItem(QString::fromStdString(name));
        lbSnapshots->addItem(item);
        lbSnapshots->setCurrentItem(item);
        PlaySoundAsync(ProgramFolder() / "snap.wav");
    } catch (...) {
    }
}

}  // namespace flipbook
