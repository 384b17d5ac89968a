// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include <QObject>
#include <QString>

namespace flipbook {

class TSnapshotLibrary;

// Undo and redo of Snap and "Delete Picture" over the snapshot library, as many steps as this run
// made, through the trash: undoing a Snap or redoing a Delete moves the picture to the trash, undoing
// a Delete or redoing a Snap brings it back to its own name and place in the list, selected. A step
// that cannot be done (the name taken by another file, the trash no longer holding the picture)
// changes nothing and says why. A Snap still being saved is undone once its save is reported. Like
// the library, it never writes the status bar: it says what happened through its signals.
class TSnapshotHistory : public QObject {
    Q_OBJECT

public:
    explicit TSnapshotHistory(TSnapshotLibrary& library);

    void Undo();
    void Redo();

signals:
    // What a step did; refusals, which stay said until the state changes.
    void Said(const QString& text);
    void Failed(const QString& text);
    // A step changed the list's selection: the reference is to follow it.
    void ReferenceChanged();

private:
    struct Step {
        enum class Kind { Snap, Delete } kind;
        std::string path;
        // The reference to return to when the picture goes: before the Snap, or after the Delete.
        std::string reference;
        bool saving = false;  // a Snap whose save is not yet reported
    };

    void Record(Step step);
    void SaveReported(const std::string& path, bool saved);
    // Moves the step's picture to the trash, or brings it back; false (and said why) when it cannot.
    bool ToTrash(const Step& step, const QString& done, const QString& refused);
    bool FromTrash(const Step& step, const QString& done, const QString& refused);
    void Refuse(const QString& text);

    TSnapshotLibrary& library_;
    std::vector<Step> steps_;
    // The steps done: steps_ before this index are done, those from it on undone (to redo).
    std::size_t done_ = 0;
    // Snaps undone while still saving, to the trash once saved; a newer step may have cut them from
    // steps_ already.
    std::vector<Step> undoOnceSaved_;
};

}  // namespace flipbook
