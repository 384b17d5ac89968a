// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>

#include <QObject>
#include <QScopedValueRollback>
#include <QString>

#include "app/library/snapshot_folder.h"
#include "platform/graphics/bitmap.h"
#include "platform/shell/trash.h"

class QListWidget;
class QListWidgetItem;
class QWidget;

namespace flipbook {

class PendingSavesWait;
class TSnapshotSaving;
struct SnapshotOutcome;

// The snapshot library of the "Record" tab: the folder and the format, the list of the folder's
// pictures (which follows the folder as other programs change it), deleting a picture, and the
// pictures Snap takes: their names, their saving in the background and the wait for it at closing.
// The list widget is the window's; the library fills it and keeps its selection. It never writes the
// status bar: it says what happened through its signals.
class TSnapshotLibrary : public QObject {
    Q_OBJECT

public:
    // dialogParent: the window over which the folder chooser and the questions open.
    TSnapshotLibrary(QWidget* dialogParent, QListWidget* list, std::size_t queueBytes);
    // Finishes the saves still queued, so nothing taken is lost even without a close.
    ~TSnapshotLibrary() override;

    // The snapshot folder ("" until chosen; ends with "/" once set) and extension (".png", ...).
    const std::string& Folder() const { return folder_; }
    const std::string& Extension() const { return extension_; }
    bool FolderExists() const;
    // True while playback marks the list's rows: the folder's changes wait until it is over.
    std::function<bool()> Playing = [] { return false; };

    // The entry selected in the list, or -1, and the path of an entry.
    int Selected() const;
    std::string PathOf(int row) const;
    // Set while the list's selection is changed by code that loads the reference itself (or must
    // not): the window's selection handler then leaves the reference alone.
    bool QuietSelection() const { return quiet_; }
    [[nodiscard]] QScopedValueRollback<bool> Quietly() { return QScopedValueRollback<bool>(quiet_, true); }

    // Asks for the folder and lists it; lists the folder's pictures of the format. Both swallow every
    // failure into a false result.
    bool ChooseFolder();
    bool ListPictures();
    // The format box's choice: ".png", ".jpg" or ".bmp"; lists the folder anew.
    void SetExtension(const std::string& extension);
    // A picked picture whose file has gone: says so, drops its entry, and true.
    bool DropPickedPictureIfGone();
    // "Delete Picture": to the trash after the desktop's question, or for good after a second one where
    // there is no trash; true when the entry went and the selection moved to its neighbour.
    bool DeleteSelected();

    // Snap's folder is gone (or was never chosen): says so, forgets its list and asks for another;
    // false when cancelled.
    bool ChooseNewFolderForSnap();
    // The path of the next picture in the folder, named after the time but never before the newest.
    std::string NextPicturePath(std::chrono::system_clock::time_point now);
    // Snapshots taken whose saving has not yet been reported on the window's thread.
    int PendingSaves() const;
    // True while the writer's queue has no room for a picture like the last: saving is behind.
    bool SavingFull() const;
    QString SavingIsBehindText() const;
    // A written picture's memory to snap into, or an empty Bitmap.
    Bitmap SparePicture();
    // Hands the snapped picture to the writer; a full queue says so and takes nothing (false). The
    // new picture is the reference: no older entry stays selected meanwhile.
    bool Save(Bitmap& picture, const std::string& path);
    // The user picked the reference from the list: a save completing no longer selects its entry.
    void ReferencePicked() { referencePicked_ = true; }
    // Waits for the pending saves before the window closes, with a progress dialog if they take long;
    // failures meanwhile are listed in a message box, and after "Quit Without Saving" the pictures left
    // unsaved.
    void FinishPendingSaves();

    // Undo and redo (snapshot_history.h), which ask nothing; the list changes only for a picture of
    // the folder and format shown, and quietly. Moves the picture to the trash and drops its entry, the
    // entry of the reference path (none for "") then selected. Returns why the picture is still there
    // ("" when it went).
    std::string TrashPicture(const std::string& path, const std::string& reference);
    // Brings the picture back from the trash to its own name, never over another file, and lists it,
    // selected; failure receives the reason of TrashRestore::Failed.
    TrashRestore RestorePicture(const std::string& path, std::string* failure);

signals:
    // What just happened, and failures, which stay said until the state changes.
    void Said(const QString& text);
    void Failed(const QString& text);
    // The folder or the format changed.
    void Changed();
    // A picture counted as taken was not saved after all.
    void PictureLost(const QString& why);
    // A save's outcome was reported: the picture at the path was saved, or not.
    void SaveReported(const std::string& path, bool saved);
    // Snap handed the picture at the path to the writer; the reference before it was the picture at
    // referenceBefore ("" for none).
    void Snapped(const std::string& path, const std::string& referenceBefore);
    // "Delete Picture" moved the picture at the path to the trash; the reference became the picture at
    // referenceAfter ("" for none).
    void Trashed(const std::string& path, const std::string& referenceAfter);

private:
    void SnapshotSaved(const SnapshotOutcome& outcome);
    void AddEntry(const std::string& fileName, bool select);
    // The entry of the picture at the path, or null when it is not listed.
    QListWidgetItem* Entry(const std::string& path) const;
    void WatchFolder();
    void FollowFolder();
    void DeleteWithoutTrash(const std::string& path, const std::string& trashFailure);

    QWidget* dialogParent_;
    QListWidget* list_;
    std::string folder_;
    std::string extension_;
    // Names each picture after the folder's newest, so a clock gone back cannot put it before one.
    TSnapshotSeries series_;
    std::unique_ptr<TFolderWatch> watch_;
    std::unique_ptr<TSnapshotSaving> saving_;
    bool saveFailureShown_ = false;
    bool referencePicked_ = false;
    // The last picture Snap took: the reference until the user picks another.
    std::string lastSnap_;
    bool quiet_ = false;
    // While the window closes: the wait that each report wakes.
    PendingSavesWait* savesWait_ = nullptr;
};

}  // namespace flipbook
