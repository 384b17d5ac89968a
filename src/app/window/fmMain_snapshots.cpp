// SPDX-License-Identifier: GPL-3.0-or-later
// The "Pictures" group's handlers and Snap. The folder, the list, deleting and saving belong to the
// snapshot library (library/snapshot_library.h); the window loads the reference picture and takes the
// live frame, which it guards. Every handler swallows its failures.
#include <QAction>
#include <QComboBox>
#include <QListWidget>
#include <QMenu>

#include "app/library/picture_files.h"
#include "app/library/snapshot_item.h"
#include "app/library/snapshot_library.h"
#include "app/window/fmMain.h"
#include "platform/graphics/bitmap.h"
#include "platform/shell/desktop.h"

namespace flipbook {

int TFormMain::SelectedSnapshot() const {
    return library_->Selected();
}

void TFormMain::cbSnapshotsExtChange() {
    try {
        library_->SetExtension('.' + cbSnapshotsExt->currentText().toLower().toStdString());
        lbSnapshotsClick();
    } catch (...) {
    }
}

void TFormMain::lbSnapshotsClick() {
    if (library_->DropPickedPictureIfGone()) return;
    // From now on the reference is the user's pick, which a save completing must not take away.
    library_->ReferencePicked();
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
        if (!LoadPicture(&picture, library_->PathOf(selected))) {
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
    if (!library_->QuietSelection()) lbSnapshotsClick();
}

void TFormMain::btSnapshotsDirClick() {
    try {
        library_->ChooseFolder();
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
        if (library_->DeleteSelected()) lbSnapshotsClick();
    } catch (...) {
    }
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
        if (!library_->FolderExists() && !library_->ChooseNewFolderForSnap()) return;
        if (library_->SavingFull()) {
            SayFailure(library_->SavingIsBehindText());
            TheDesktop().Beep();
            return;
        }
        const std::string path = library_->NextPicturePath(SnapshotClock());
        if (AverageFrames() > 1) {
            BeginAveragedSnap(path);
            return;
        }
        // The live frame becomes the reference at once; the copy saved is taken under the same lock,
        // so the frame handler cannot change it while the codec reads it.
        Bitmap picture = library_->SparePicture();
        WithPictures([&](Bitmap& live, Bitmap& reference) {
            SnapLiveFrame(fwSampleGrabber.get(), live, reference, liveFrameState_, picture);
            pickedReference_.Share(reference);
        });
        // A frame that was there and is gone (a camera switched, none of the new one yet).
        if (picture.Empty()) {
            SayNoPictureYet();
            return;
        }
        library_->Save(picture, path);
    } catch (...) {
    }
}

void TFormMain::SayNoPictureYet() {
    SetStatusText(QString::fromLatin1(kNoPictureYetMessage));
    TheDesktop().Beep();
}

}  // namespace flipbook
