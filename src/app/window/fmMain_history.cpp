// SPDX-License-Identifier: GPL-3.0-or-later
// Undo and redo of Snap and "Delete Picture": the history (library/snapshot_history.h) does the
// steps; the window gives it its keys, says what it did, and loads the reference it leaves selected.
#include <QAction>
#include <QKeySequence>

#include "app/library/snapshot_history.h"
#include "app/library/snapshot_library.h"
#include "app/shooting/shooting_view.h"
#include "app/window/fmMain.h"

namespace flipbook {

void TFormMain::CreateHistory() {
    history_ = std::make_unique<TSnapshotHistory>(*library_);
    connect(history_.get(), &TSnapshotHistory::Said, this, &TFormMain::SetStatusText);
    connect(history_.get(), &TSnapshotHistory::Failed, this, &TFormMain::SayFailure);
    connect(history_.get(), &TSnapshotHistory::ReferenceChanged, this, [this] {
        lbSnapshotsClick();
        RedrawShootingView();
    });
    // An undo that waited for its picture's save is said later: the view's status line shows it.
    connect(history_.get(), &TSnapshotHistory::Said, fmShooting, &TShootingView::ShowStatusLine);
    connect(history_.get(), &TSnapshotHistory::Failed, fmShooting, &TShootingView::ShowStatusLine);

    const auto addKeys = [this](const char* name, const QList<QKeySequence>& keys,
                                void (TSnapshotHistory::*step)()) {
        auto* action = new QAction(this);
        action->setObjectName(QString::fromLatin1(name));
        action->setShortcuts(keys);
        AddRecordTabKey(action);
        connect(action, &QAction::triggered, history_.get(), step);
    };
    addKeys("acUndo", {QKeySequence(Qt::CTRL | Qt::Key_Z)}, &TSnapshotHistory::Undo);
    addKeys("acRedo", {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), QKeySequence(Qt::CTRL | Qt::Key_Y)},
            &TSnapshotHistory::Redo);
    connect(fmShooting, &TShootingView::UndoRequested, history_.get(), &TSnapshotHistory::Undo);
    connect(fmShooting, &TShootingView::RedoRequested, history_.get(), &TSnapshotHistory::Redo);
}

}  // namespace flipbook
