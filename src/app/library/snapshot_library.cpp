// SPDX-License-Identifier: GPL-3.0-or-later
// The snapshot library: the folder, the format, the list of pictures, moving pictures to the trash,
// and the pictures Snap takes. Every operation swallows its failures; the signs are what it says and
// the list. A save that fails says so, since a picture lost without a word would be found missing only
// when it is too late.
#include "app/library/snapshot_library.h"

#include <QCoreApplication>
#include <QListWidget>

#include <filesystem>
#include <set>
#include <unordered_map>

#include "app/library/pending_saves_wait.h"
#include "app/library/picture_files.h"
#include "app/library/snapshot_item.h"
#include "app/library/snapshot_saving.h"
#include "platform/files/safe_file.h"
#include "platform/shell/desktop.h"
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

TSnapshotLibrary::TSnapshotLibrary(QWidget* dialogParent, QListWidget* list, std::size_t queueBytes)
    : dialogParent_(dialogParent), list_(list) {
    saving_ = std::make_unique<TSnapshotSaving>(
        this, queueBytes, [this](const SnapshotOutcome& outcome) { SnapshotSaved(outcome); });
}

TSnapshotLibrary::~TSnapshotLibrary() = default;

bool TSnapshotLibrary::FolderExists() const {
    return IsDirectory(folder_);
}

int TSnapshotLibrary::Selected() const {
    const int row = list_->currentRow();
    if (row < 0 || !list_->item(row)->isSelected()) return -1;
    return row;
}

std::string TSnapshotLibrary::PathOf(int row) const {
    return folder_ + SnapshotFileName(*list_->item(row));
}

bool TSnapshotLibrary::ChooseFolder() {
    try {
        // A folder that has gone opens the chooser where the way to it still exists.
        std::string folder = NearestExistingFolder(folder_);
        if (!TheDirectoryChooser().Select(dialogParent_, folder, kChooseFolderOptions, 0)) return false;
        if (folder.empty() || folder.back() != '/') folder += '/';
        folder_ = folder;
        emit Changed();
        return ListPictures();
    } catch (...) {
        return false;
    }
}

bool TSnapshotLibrary::ListPictures() {
    // Before a folder is chosen there is nothing to show, and the start-up failure message that may
    // stand in the status bar must stay readable.
    if (folder_.empty()) return false;
    emit Changed();
    try {
        // Watched before it is read, so nothing that changes meanwhile is missed.
        WatchFolder();
        // The callers load the reference for the selection they end with.
        const auto quiet = Quietly();
        list_->clear();
        for (const std::string& name : ListPictureNames(folder_, extension_)) {
            list_->addItem(new TSnapshotItem(name));
        }
        // The last entry is the newest snapshot by name.
        if (list_->count() > 0) list_->setCurrentRow(list_->count() - 1);
        return true;
    } catch (...) {
        return false;
    }
}

void TSnapshotLibrary::SetExtension(const std::string& extension) {
    extension_ = extension;
    ListPictures();
}

bool TSnapshotLibrary::DeleteSelected() {
    const int selected = Selected();
    if (selected < 0) return false;
    const std::string path = PathOf(selected);
    const TrashOutcome outcome = SendToRecycleBin(path, TrashConfirmation::Ask);
    if (outcome.result == TrashOutcome::Result::Failed) DeleteWithoutTrash(path, outcome.failure);
    // Declined or failed: the file is still there and nothing changes. A folder listed under the
    // format cannot go to the trash, so it keeps its entry too.
    if (StillThere(path)) return false;
    {
        const auto quiet = Quietly();
        delete list_->takeItem(selected);
        if (selected == 0) {
            if (list_->count() > 0) list_->setCurrentRow(0);
        } else {
            list_->setCurrentRow(selected - 1);
        }
    }
    // Only what went to the trash can come back.
    if (outcome.result == TrashOutcome::Result::Moved)
        emit Trashed(path, Selected() >= 0 ? PathOf(Selected()) : "");
    return true;
}

std::string TSnapshotLibrary::TrashPicture(const std::string& path, const std::string& reference) {
    const TrashOutcome outcome = SendToRecycleBin(path, TrashConfirmation::DoNotAsk);
    if (outcome.result == TrashOutcome::Result::NoFile) return "it is gone";
    if (outcome.result != TrashOutcome::Result::Moved) return outcome.failure;
    // A picture of a folder or format no longer shown leaves the list as it is.
    QListWidgetItem* entry = Entry(path);
    if (!entry) return {};
    const auto quiet = Quietly();
    delete list_->takeItem(list_->row(entry));
    list_->clearSelection();
    if (QListWidgetItem* item = Entry(reference)) list_->setCurrentItem(item);
    return {};
}

TrashRestore TSnapshotLibrary::RestorePicture(const std::string& path, std::string* failure) {
    const TrashRestore restored = RestoreFromTrash(path, failure);
    if (restored != TrashRestore::Restored) return restored;
    const std::string name = FileNameOf(path);
    if (FolderOf(path) == folder_ && IsPictureEntry(folder_, name, extension_)) AddEntry(name, true);
    return restored;
}

QListWidgetItem* TSnapshotLibrary::Entry(const std::string& path) const {
    if (path.empty() || FolderOf(path) != folder_) return nullptr;
    const std::string name = FileNameOf(path);
    for (int row = 0; row < list_->count(); ++row)
        if (SnapshotFileName(*list_->item(row)) == name) return list_->item(row);
    return nullptr;
}

void TSnapshotLibrary::DeleteWithoutTrash(const std::string& path, const std::string& trashFailure) {
    // As a desktop file manager does where there is no trash (a memory file system, a read-only
    // card): say why, and delete for good only after a second yes that says it cannot be undone.
    const std::string name = FileNameOf(path);
    const std::string why = name + " could not be moved to the trash: " + trashFailure;
    emit Said(QString::fromStdString(why));
    if (!TheDesktop().Ask("Delete File",
                          why + ".\n\nDelete \"" + name + "\" permanently? This cannot be undone.")) {
        return;
    }
    std::error_code error;
    if (!std::filesystem::remove(path, error) || error) {
        emit Failed(QString::fromStdString(
            name + " could not be deleted: " + (error ? PlainReason(error.value()) : "it is gone already")));
        TheDesktop().Beep();
        return;
    }
    emit Said(QString::fromStdString(name + " was deleted permanently"));
}

bool TSnapshotLibrary::ChooseNewFolderForSnap() {
    if (folder_.empty()) return ChooseFolder();
    // The folder went (a card pulled out, deleted in a file manager): its pictures are no longer
    // listed, and the user is told why the chooser opens.
    const QString gone = QString::fromStdString(WithoutFinalSlash(folder_));
    {
        const auto quiet = Quietly();
        list_->clear();
    }
    emit Said(QStringLiteral("The folder %1 is gone: choose where the pictures go").arg(gone));
    if (ChooseFolder()) return true;
    emit Failed(QStringLiteral("Nothing was saved: the folder %1 is gone").arg(gone));
    TheDesktop().Beep();
    return false;
}

std::string TSnapshotLibrary::NextPicturePath(std::chrono::system_clock::time_point now) {
    return folder_ + series_.NameFor(folder_, now, extension_);
}

int TSnapshotLibrary::PendingSaves() const {
    return saving_->Pending();
}

bool TSnapshotLibrary::SavingFull() const {
    return saving_->Full();
}

QString TSnapshotLibrary::SavingIsBehindText() const {
    return QStringLiteral("Saving is behind: %1 %2 waiting for %3")
        .arg(saving_->Pending())
        .arg(saving_->Pending() == 1 ? QStringLiteral("picture is") : QStringLiteral("pictures are"))
        .arg(QString::fromStdString(WithoutFinalSlash(folder_)));
}

Bitmap TSnapshotLibrary::SparePicture() {
    return saving_->SparePicture();
}

bool TSnapshotLibrary::Save(Bitmap& picture, const std::string& path) {
    const std::string referenceBefore =
        Selected() >= 0 ? PathOf(Selected()) : (referencePicked_ ? std::string() : lastSnap_);
    referencePicked_ = false;
    // The reference is now a picture without an entry: no older entry stays selected for "Delete
    // Picture" to take. The new entry is selected once it is saved, unless the user picks another.
    {
        const auto quiet = Quietly();
        list_->clearSelection();
    }
    // Never a wait on the window's thread: a folder that hangs must not freeze the window.
    if (saving_->Take(picture, path)) {
        lastSnap_ = path;
        emit Snapped(path, referenceBefore);
        return true;
    }
    emit Failed(SavingIsBehindText());
    TheDesktop().Beep();
    return false;
}

void TSnapshotLibrary::SnapshotSaved(const SnapshotOutcome& outcome) {
    const std::string name = FileNameOf(outcome.path);
    if (!outcome.failure.empty()) {
        const QString failure = QString::fromStdString(name + " was not saved: " + outcome.failure);
        emit Failed(failure);
        saveFailureShown_ = true;
        TheDesktop().Beep();
        emit PictureLost(failure);
    } else {
        if (!outcome.warning.empty()) {
            // It is there: listed, and a time-lapse goes on; only a crash before the disk catches up
            // could still lose it.
            emit Failed(QString::fromStdString(
                name + " was saved, but may not be safe on the disk yet: " + outcome.warning));
            saveFailureShown_ = true;
        } else if (saveFailureShown_) {
            saveFailureShown_ = false;
            emit Changed();
        }
        series_.Saved(FolderOf(outcome.path), name);
        // A picture of a folder or format no longer shown is saved, but not listed here. It is selected
        // only while it is the reference: the last snap pending, and no picture picked since.
        if (FolderOf(outcome.path) == folder_ && LowerCaseExtension(name) == extension_) {
            AddEntry(name, !referencePicked_ && saving_->Pending() == 0);
        }
        TheDesktop().PlaySound(ProgramFolder() / "snap.wav");
    }
    emit SaveReported(outcome.path, outcome.failure.empty());
    // Last, since the closing wait's dialog runs events of its own.
    if (savesWait_)
        savesWait_->Reported(saving_->Pending(),
                             outcome.failure.empty() ? "" : name + ": " + outcome.failure);
}

void TSnapshotLibrary::AddEntry(const std::string& fileName, bool select) {
    // The new picture is the reference already; loading it back would swap in a lossy copy.
    const auto quiet = Quietly();
    // The folder's watch may have listed it already; a new snapshot is normally the last entry.
    QListWidgetItem* item = nullptr;
    for (int row = list_->count() - 1; row >= 0 && !item; --row) {
        if (SnapshotFileName(*list_->item(row)) == fileName) item = list_->item(row);
    }
    if (!item) {
        item = new TSnapshotItem(fileName);
        list_->addItem(item);
    }
    if (select) list_->setCurrentItem(item);
}

void TSnapshotLibrary::FinishPendingSaves() {
    if (saving_->Pending() == 0) return;
    PendingSavesWait wait(dialogParent_, saving_->Pending());
    PendingSavesWait::Outcome outcome;
    {
        QScopedValueRollback waiting(savesWait_, &wait);
        outcome = wait.Run();
    }
    std::vector<std::string> leftBehind;
    if (outcome == PendingSavesWait::Outcome::QuitWithoutSaving) leftBehind = saving_->LeaveBehind();
    // The status bar goes with the window, so a picture lost meanwhile is named where it is seen.
    std::string lost = UnsavedPicturesMessage(wait.Failures());
    const std::string left = LeftUnsavedMessage(leftBehind);
    if (!left.empty()) lost += (lost.empty() ? "" : "\n\n") + left;
    if (!lost.empty()) TheDesktop().ShowError(lost);
}

void TSnapshotLibrary::WatchFolder() {
    watch_.reset();
    if (!folder_.empty()) watch_ = std::make_unique<TFolderWatch>(folder_, [this] { FollowFolder(); });
}

void TSnapshotLibrary::FollowFolder() {
    // Playback marks the rows it plays by number: the list changes once it is over.
    if (Playing()) {
        watch_->Postpone();
        return;
    }
    const TFolderWatch::Changes changes = watch_->Take();
    // A folder that went leaves its list alone: Snap says it is gone, and picking a picture says so.
    if (!IsDirectory(folder_)) return;
    std::unordered_map<std::string, QListWidgetItem*> listed;
    for (int row = 0; row < list_->count(); ++row)
        listed.emplace(SnapshotFileName(*list_->item(row)), list_->item(row));
    // Only the names that changed are looked at, unless the system lost count of them.
    std::set<std::string> names = changes.names;
    std::set<std::string> present;
    if (changes.all) {
        for (const auto& entry : listed) names.insert(entry.first);
        for (const std::string& name : ListPictureNames(folder_, extension_)) {
            names.insert(name);
            present.insert(name);
        }
    } else {
        for (const std::string& name : names)
            if (IsPictureEntry(folder_, name, extension_)) present.insert(name);
    }
    const int selectedRow = Selected();
    const QListWidgetItem* selected = selectedRow >= 0 ? list_->item(selectedRow) : nullptr;
    std::string goneReference;
    const auto quiet = Quietly();
    for (const std::string& name : names) {
        const auto entry = listed.find(name);
        const bool there = present.count(name) > 0;
        if (there && entry == listed.end()) {
            list_->addItem(new TSnapshotItem(name));
            // Another instance's picture: ours are still named after it when its clock is ahead.
            series_.Saved(folder_, name);
        } else if (!there && entry != listed.end()) {
            if (entry->second == selected) goneReference = name;
            delete entry->second;
        }
    }
    if (goneReference.empty()) return;
    // The reference stays as it was loaded; no other entry takes the selection, so that "Delete
    // Picture" cannot take a picture that was never picked.
    list_->clearSelection();
    emit Said(QStringLiteral("%1 is gone: another program removed it").arg(ShownName(goneReference)));
}

bool TSnapshotLibrary::DropPickedPictureIfGone() {
    const int selected = Selected();
    if (selected < 0) return false;
    const std::string name = SnapshotFileName(*list_->item(selected));
    if (StillThere(folder_ + name)) return false;
    {
        const auto quiet = Quietly();
        delete list_->takeItem(selected);
        list_->clearSelection();
    }
    emit Said(IsDirectory(folder_)
                  ? QStringLiteral("%1 is gone: another program removed it").arg(ShownName(name))
                  : QStringLiteral("%1 is gone: the folder %2 is gone")
                        .arg(ShownName(name), ShownName(WithoutFinalSlash(folder_))));
    return true;
}

}  // namespace flipbook
