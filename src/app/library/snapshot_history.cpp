// SPDX-License-Identifier: GPL-3.0-or-later
// Undo and redo of Snap and "Delete Picture". Every step goes through the trash, so a picture taken
// back is never lost: the desktop's trash still holds it after this run.
#include "app/library/snapshot_history.h"

#include <algorithm>
#include <filesystem>

#include "app/library/snapshot_library.h"
#include "platform/shell/desktop.h"
#include "widgets/select_dir_lists.h"

namespace flipbook {
namespace {

QString NameOf(const std::string& path) {
    return ShownName(std::filesystem::path(path).filename().string());
}

}  // namespace

TSnapshotHistory::TSnapshotHistory(TSnapshotLibrary& library) : library_(library) {
    connect(&library, &TSnapshotLibrary::Snapped, this,
            [this](const std::string& path, const std::string& referenceBefore) {
                Record({Step::Kind::Snap, path, referenceBefore, true});
            });
    connect(&library, &TSnapshotLibrary::Trashed, this,
            [this](const std::string& path, const std::string& referenceAfter) {
                Record({Step::Kind::Delete, path, referenceAfter, false});
            });
    connect(&library, &TSnapshotLibrary::SaveReported, this, &TSnapshotHistory::SaveReported);
}

void TSnapshotHistory::Undo() {
    if (done_ == 0) {
        emit Said(QStringLiteral("Nothing to undo"));
        return;
    }
    const Step step = steps_[done_ - 1];
    if (step.kind == Step::Kind::Delete) {
        if (FromTrash(step, QStringLiteral("Undone: %1 is back from the trash"),
                      QStringLiteral("Cannot undo")))
            --done_;
    } else if (step.saving) {
        // Snap never waits, and neither does its undo: the picture goes once its file exists.
        undoOnceSaved_.push_back(step);
        --done_;
        emit Said(QStringLiteral("Undoing: %1 goes to the trash once it is saved").arg(NameOf(step.path)));
    } else if (ToTrash(step, QStringLiteral("Undone: %1 is in the trash again"),
                       QStringLiteral("Cannot undo"))) {
        --done_;
    }
}

void TSnapshotHistory::Redo() {
    if (done_ == steps_.size()) {
        emit Said(QStringLiteral("Nothing to redo"));
        return;
    }
    const Step step = steps_[done_];
    if (step.kind == Step::Kind::Delete) {
        if (ToTrash(step, QStringLiteral("Redone: %1 is in the trash again"), QStringLiteral("Cannot redo")))
            ++done_;
    } else if (step.saving) {
        // Its undo was still waiting for the save: the picture simply stays.
        std::erase_if(undoOnceSaved_, [&](const Step& waiting) { return waiting.path == step.path; });
        ++done_;
        emit Said(QStringLiteral("Redone: %1 stays").arg(NameOf(step.path)));
    } else if (FromTrash(step, QStringLiteral("Redone: %1 is back from the trash"),
                         QStringLiteral("Cannot redo"))) {
        ++done_;
    }
}

void TSnapshotHistory::Record(Step step) {
    // A new step ends what could be redone; a Snap whose undo waits for its save still goes.
    steps_.erase(steps_.begin() + static_cast<std::ptrdiff_t>(done_), steps_.end());
    steps_.push_back(std::move(step));
    done_ = steps_.size();
}

void TSnapshotHistory::SaveReported(const std::string& path, bool saved) {
    const auto snap = std::find_if(steps_.begin(), steps_.end(), [&](const Step& step) {
        return step.kind == Step::Kind::Snap && step.saving && step.path == path;
    });
    if (snap != steps_.end()) {
        if (saved) {
            snap->saving = false;
        } else {
            // A picture never saved has nothing to take back; the library said why it is missing.
            if (snap - steps_.begin() < static_cast<std::ptrdiff_t>(done_)) --done_;
            steps_.erase(snap);
        }
    }
    const auto waiting = std::find_if(undoOnceSaved_.begin(), undoOnceSaved_.end(),
                                      [&](const Step& step) { return step.path == path; });
    if (waiting == undoOnceSaved_.end()) return;
    const Step step = *waiting;
    undoOnceSaved_.erase(waiting);
    if (!saved) return;
    if (ToTrash(step, QStringLiteral("Undone: %1 is in the trash again"), QStringLiteral("Cannot undo")))
        return;
    // The picture stays: its step is done again, when it is still the next to redo.
    if (done_ < steps_.size() && steps_[done_].kind == Step::Kind::Snap && steps_[done_].path == path)
        ++done_;
}

bool TSnapshotHistory::ToTrash(const Step& step, const QString& done, const QString& refused) {
    const std::string why = library_.TrashPicture(step.path, step.reference);
    if (!why.empty()) {
        Refuse(QStringLiteral("%1: %2 could not be moved to the trash: %3")
                   .arg(refused, NameOf(step.path), QString::fromStdString(why)));
        return false;
    }
    emit Said(done.arg(NameOf(step.path)));
    emit ReferenceChanged();
    return true;
}

bool TSnapshotHistory::FromTrash(const Step& step, const QString& done, const QString& refused) {
    std::string failure;
    const QString name = NameOf(step.path);
    switch (library_.RestorePicture(step.path, &failure)) {
        case TrashRestore::Restored:
            emit Said(done.arg(name));
            emit ReferenceChanged();
            return true;
        case TrashRestore::NameTaken:
            Refuse(QStringLiteral("%1: the name %2 is taken by another file").arg(refused, name));
            return false;
        case TrashRestore::NotInTrash:
            Refuse(QStringLiteral("%1: the trash no longer holds %2").arg(refused, name));
            return false;
        case TrashRestore::Failed:
            break;
    }
    Refuse(QStringLiteral("%1: %2 could not be brought back from the trash: %3")
               .arg(refused, name, QString::fromStdString(failure)));
    return false;
}

void TSnapshotHistory::Refuse(const QString& text) {
    emit Failed(text);
    TheDesktop().Beep();
}

}  // namespace flipbook
