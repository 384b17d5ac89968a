// SPDX-License-Identifier: GPL-3.0-or-later
// The snapshot library of the "Record" tab: the folder, the format, the list of pictures, picking the
// reference picture, moving pictures to the trash, and Snap. Every handler swallows its failures; the
// signs are the status text and the list. Snap saves in the background; a save that fails says so in
// the status bar, since a picture lost without a word would be found missing only when it is too late.
#include <QAction>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QListWidget>
#include <QMenu>
#include <QScopedValueRollback>

#include <filesystem>
#include <set>
#include <unordered_map>

#include "app/library/pending_saves_wait.h"
#include "app/library/picture_files.h"
#include "app/library/snapshot_folder.h"
#include "app/library/snapshot_item.h"
#include "app/library/snapshot_saving.h"
#include "app/shooting/shooting_view.h"
#include "app/shooting/time_lapse.h"
#include "app/window/fmMain.h"
#include "platform/files/safe_file.h"
#include "platform/graphics/bitmap.h"
#include "shellutils/zt_utils.h"
#include "widgets/select_dir.h"
#include "widgets/select_dir_lists.h"

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

std::string FileNameOf(const std::string& path) {
    return std::filesystem::path(path).filename().string();
}

std::string FolderOf(const std::string& path) {
    return path.substr(0, path.size() - FileNameOf(path).size());
}

std::string WithoutFinalSlash(std::string folder) {
    if (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    return folder;
}

// The folder itself, or where the way to it still exists; "" for "".
std::string NearestExistingFolder(const std::string& folder) {
    std::filesystem::path path = WithoutFinalSlash(folder);
    while (!path.empty() && !IsDirectory(path.string()) && path.has_relative_path())
        path = path.parent_path();
    return path.string();
}

}  // namespace

int TFormMain::SelectedSnapshot() const {
    const int row = lbSnapshots->currentRow();
    if (row < 0 || !lbSnapshots->item(row)->isSelected()) return -1;
    return row;
}

bool TFormMain::ChooseFolder() {
    try {
        // A folder that has gone opens the chooser where the way to it still exists.
        std::string folder = NearestExistingFolder(snapshotDir_);
        if (!TheDirectoryChooser().Select(this, folder, kChooseFolderOptions, 0)) return false;
        if (folder.empty() || folder.back() != '/') folder += '/';
        snapshotDir_ = folder;
        StatusStateChanged();
        return ListPictures();
    } catch (...) {
        return false;
    }
}

bool TFormMain::ListPictures() {
    // Before a folder is chosen there is nothing to show, and the start-up failure message that may
    // stand in the status bar must stay readable.
    if (snapshotDir_.empty()) return false;
    StatusStateChanged();
    try {
        // Watched before it is read, so nothing that changes meanwhile is missed.
        WatchSnapshotFolder();
        // The callers load the reference for the selection they end with.
        QScopedValueRollback quiet(quietSelection_, true);
        lbSnapshots->clear();
        for (const std::string& name : ListPictureNames(snapshotDir_, snapshotExt_)) {
            lbSnapshots->addItem(new TSnapshotItem(name));
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
    if (DropPickedPictureIfGone()) return;
    // From now on the reference is the user's pick, which a save completing must not take away.
    referencePicked_ = true;
    try {
        const int selected = SelectedSnapshot();
        if (selected < 0) {
            WithPictures([this](Bitmap&, Bitmap& reference) {
                ReplaceReference(reference, liveFrameState_, Bitmap());
                pickedReference_ = Bitmap();
            });
            return;
        }
        // Decode outside the lock, so the live view does not stall on a large file.
        Bitmap picture;
        if (!LoadPicture(&picture, snapshotDir_ + SnapshotFileName(*lbSnapshots->item(selected)))) {
            // Kept without a word, the old reference would pass for the picture picked.
            SayFailure(lbSnapshots->item(selected)->text() +
                       QStringLiteral(" cannot be read as a picture: the reference stays as it was"));
            TheDesktop().Beep();
            return;
        }
        WithPictures([&](Bitmap&, Bitmap& reference) {
            pickedReference_.Share(picture);
            ReplaceReference(reference, liveFrameState_, std::move(picture));
        });
    } catch (...) {
    }
}

void TFormMain::lbSnapshotsSelectionChanged() {
    miSnapDelete->setEnabled(SelectedSnapshot() >= 0);
    if (!quietSelection_) lbSnapshotsClick();
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
        const std::string path = snapshotDir_ + SnapshotFileName(*lbSnapshots->item(selected));
        const TrashOutcome outcome = SendToRecycleBin(path, TrashConfirmation::Ask);
        if (outcome.result == TrashOutcome::Result::Failed) DeleteWithoutTrash(path, outcome.failure);
        // Declined or failed: the file is still there and nothing changes. A folder listed under
        // the format cannot go to the trash, so it keeps its entry too.
        if (StillThere(path)) return;
        {
            QScopedValueRollback quiet(quietSelection_, true);
            delete lbSnapshots->takeItem(selected);
            if (selected == 0) {
                if (lbSnapshots->count() > 0) lbSnapshots->setCurrentRow(0);
            } else {
                lbSnapshots->setCurrentRow(selected - 1);
            }
        }
        lbSnapshotsClick();
    } catch (...) {
    }
}

void TFormMain::DeleteWithoutTrash(const std::string& path, const std::string& trashFailure) {
    // As a desktop file manager does where there is no trash (a memory file system, a read-only
    // card): say why, and delete for good only after a second yes that says it cannot be undone.
    const std::string name = FileNameOf(path);
    const std::string why = name + " could not be moved to the trash: " + trashFailure;
    SetStatusText(QString::fromStdString(why));
    if (!TheDesktop().Ask("Delete File",
                          why + ".\n\nDelete \"" + name + "\" permanently? This cannot be undone.")) {
        return;
    }
    std::error_code error;
    if (!std::filesystem::remove(path, error) || error) {
        SayFailure(QString::fromStdString(
            name + " could not be deleted: " + (error ? PlainReason(error.value()) : "it is gone already")));
        TheDesktop().Beep();
        return;
    }
    SetStatusText(QString::fromStdString(name + " was deleted permanently"));
}

void TFormMain::btGrabSnapClick() {
    // Once the window closes (or the program is told to end) no more pictures are taken.
    if (closing_ || SnapRefusedWhileCameraLost()) return;
    try {
        // Before the first frame, or after the graph failed to run, there is nothing to save: an empty
        // file reported as saved would only trip up every later playback of the folder.
        if (WithPictures([this](Bitmap&, Bitmap&) { return liveFrameState_ == LiveFrameState::None; })) {
            SayNoPictureYet();
            return;
        }
        if (!IsDirectory(snapshotDir_) && !ChooseNewFolderForSnap()) return;
        if (saving_->Full()) {
            SaySavingIsBehind();
            return;
        }
        const std::string name = snapshotSeries_.NameFor(snapshotDir_, SnapshotClock(), snapshotExt_);
        // The live frame becomes the reference at once; the copy saved is taken under the same lock,
        // so the frame handler cannot change it while the codec reads it.
        Bitmap picture = saving_->SparePicture();
        WithPictures([&](Bitmap& live, Bitmap& reference) {
            SnapLiveFrame(fwSampleGrabber.get(), live, reference, liveFrameState_, picture);
            pickedReference_.Share(reference);
        });
        // A frame that was there and is gone (a camera switched, none of the new one yet).
        if (picture.Empty()) {
            SayNoPictureYet();
            return;
        }
        referencePicked_ = false;
        // The reference is now a picture without an entry: no older entry stays selected for "Delete
        // Picture" to take. The new entry is selected once it is saved, unless the user picks another.
        {
            QScopedValueRollback quiet(quietSelection_, true);
            lbSnapshots->clearSelection();
        }
        // Never a wait on the window's thread: a folder that hangs must not freeze the window.
        if (!saving_->Take(picture, snapshotDir_ + name)) SaySavingIsBehind();
    } catch (...) {
    }
}

bool TFormMain::ChooseNewFolderForSnap() {
    if (snapshotDir_.empty()) return ChooseFolder();
    // The folder went (a card pulled out, deleted in a file manager): its pictures are no longer
    // listed, and the user is told why the chooser opens.
    const QString gone = QString::fromStdString(WithoutFinalSlash(snapshotDir_));
    {
        QScopedValueRollback quiet(quietSelection_, true);
        lbSnapshots->clear();
    }
    SetStatusText(QStringLiteral("The folder %1 is gone: choose where the pictures go").arg(gone));
    if (ChooseFolder()) return true;
    SayFailure(QStringLiteral("Nothing was saved: the folder %1 is gone").arg(gone));
    TheDesktop().Beep();
    return false;
}

QString TFormMain::SavingIsBehindText() const {
    return QStringLiteral("Saving is behind: %1 %2 waiting for %3")
        .arg(saving_->Pending())
        .arg(saving_->Pending() == 1 ? QStringLiteral("picture is") : QStringLiteral("pictures are"))
        .arg(QString::fromStdString(WithoutFinalSlash(snapshotDir_)));
}

void TFormMain::SaySavingIsBehind() {
    SayFailure(SavingIsBehindText());
    TheDesktop().Beep();
}

void TFormMain::SayNoPictureYet() {
    SetStatusText(QString::fromLatin1(kNoPictureYetMessage));
    TheDesktop().Beep();
}

void TFormMain::SnapshotSaved(const SnapshotOutcome& outcome) {
    const std::string name = FileNameOf(outcome.path);
    if (!outcome.failure.empty()) {
        SayFailure(QString::fromStdString(name + " was not saved: " + outcome.failure));
        saveFailureShown_ = true;
        TheDesktop().Beep();
        // The picture counted as taken is not there after all.
        TimeLapse->PictureLost(QString::fromStdString(name + " was not saved: " + outcome.failure));
        fmShooting->ShowStatusLine();
    } else {
        if (!outcome.warning.empty()) {
            // It is there: listed, and a time-lapse goes on; only a crash before the disk catches up
            // could still lose it.
            SayFailure(QString::fromStdString(
                name + " was saved, but may not be safe on the disk yet: " + outcome.warning));
            saveFailureShown_ = true;
            fmShooting->ShowStatusLine();
        } else if (saveFailureShown_) {
            saveFailureShown_ = false;
            StatusStateChanged();
        }
        snapshotSeries_.Saved(FolderOf(outcome.path), name);
        // A picture of a folder or format no longer shown is saved, but not listed here. It is selected
        // only while it is the reference: the last snap pending, and no picture picked since.
        if (FolderOf(outcome.path) == snapshotDir_ && LowerCaseExtension(name) == snapshotExt_) {
            AddSnapshotEntry(name, !referencePicked_ && saving_->Pending() == 0);
        }
        TheDesktop().PlaySound(ProgramFolder() / "snap.wav");
    }
    // Last, since the closing wait's dialog runs events of its own.
    if (savesWait_)
        savesWait_->Reported(saving_->Pending(),
                             outcome.failure.empty() ? "" : name + ": " + outcome.failure);
}

void TFormMain::AddSnapshotEntry(const std::string& fileName, bool select) {
    // The new picture is the reference already; loading it back would swap in a lossy copy.
    QScopedValueRollback quiet(quietSelection_, true);
    // The folder's watch may have listed it already; a new snapshot is normally the last entry.
    QListWidgetItem* item = nullptr;
    for (int row = lbSnapshots->count() - 1; row >= 0 && !item; --row) {
        if (SnapshotFileName(*lbSnapshots->item(row)) == fileName) item = lbSnapshots->item(row);
    }
    if (!item) {
        item = new TSnapshotItem(fileName);
        lbSnapshots->addItem(item);
    }
    if (select) lbSnapshots->setCurrentItem(item);
}

void TFormMain::WatchSnapshotFolder() {
    folderWatch_.reset();
    if (!snapshotDir_.empty())
        folderWatch_ = std::make_unique<TFolderWatch>(snapshotDir_, [this] { FollowSnapshotFolder(); });
}

void TFormMain::FollowSnapshotFolder() {
    // Playback marks the rows it plays by number: the list changes once it is over.
    if (Playing()) {
        folderWatch_->Postpone();
        return;
    }
    const TFolderWatch::Changes changes = folderWatch_->Take();
    // A folder that went leaves its list alone: Snap says it is gone, and picking a picture says so.
    if (!IsDirectory(snapshotDir_)) return;
    std::unordered_map<std::string, QListWidgetItem*> listed;
    for (int row = 0; row < lbSnapshots->count(); ++row)
        listed.emplace(SnapshotFileName(*lbSnapshots->item(row)), lbSnapshots->item(row));
    // Only the names that changed are looked at, unless the system lost count of them.
    std::set<std::string> names = changes.names;
    std::set<std::string> present;
    if (changes.all) {
        for (const auto& entry : listed) names.insert(entry.first);
        for (const std::string& name : ListPictureNames(snapshotDir_, snapshotExt_)) {
            names.insert(name);
            present.insert(name);
        }
    } else {
        for (const std::string& name : names)
            if (IsPictureEntry(snapshotDir_, name, snapshotExt_)) present.insert(name);
    }
    const int selectedRow = SelectedSnapshot();
    const QListWidgetItem* selected = selectedRow >= 0 ? lbSnapshots->item(selectedRow) : nullptr;
    std::string goneReference;
    QScopedValueRollback quiet(quietSelection_, true);
    for (const std::string& name : names) {
        const auto entry = listed.find(name);
        const bool there = present.count(name) > 0;
        if (there && entry == listed.end()) {
            lbSnapshots->addItem(new TSnapshotItem(name));
            // Another instance's picture: ours are still named after it when its clock is ahead.
            snapshotSeries_.Saved(snapshotDir_, name);
        } else if (!there && entry != listed.end()) {
            if (entry->second == selected) goneReference = name;
            delete entry->second;
        }
    }
    if (goneReference.empty()) return;
    // The reference stays as it was loaded; no other entry takes the selection, so that "Delete
    // Picture" cannot take a picture that was never picked.
    lbSnapshots->clearSelection();
    SetStatusText(QStringLiteral("%1 is gone: another program removed it").arg(ShownName(goneReference)));
}

bool TFormMain::DropPickedPictureIfGone() {
    const int selected = SelectedSnapshot();
    if (selected < 0) return false;
    const std::string name = SnapshotFileName(*lbSnapshots->item(selected));
    if (StillThere(snapshotDir_ + name)) return false;
    {
        QScopedValueRollback quiet(quietSelection_, true);
        delete lbSnapshots->takeItem(selected);
        lbSnapshots->clearSelection();
    }
    SetStatusText(IsDirectory(snapshotDir_)
                      ? QStringLiteral("%1 is gone: another program removed it").arg(ShownName(name))
                      : QStringLiteral("%1 is gone: the folder %2 is gone")
                            .arg(ShownName(name), ShownName(WithoutFinalSlash(snapshotDir_))));
    return true;
}

}  // namespace flipbook
