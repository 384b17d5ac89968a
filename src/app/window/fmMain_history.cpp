// SPDX-License-Identifier: GPL-3.0-or-later
// Undo and redo of Snap and "Delete Picture": the history (library/snapshot_history.h) does the
// steps; the window gives it its keys, says what it did, and loads the reference it leaves selected.
#include <QAction>
#include <QKeySequence>

#include "app/camera/frame_averaging.h"
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

    const auto addKeys = [this](const char* name, const QList<QKeySequence>& keys, auto step) {
        auto* action = new QAction(this);
        action->setObjectName(QString::fromLatin1(name));
        action->setShortcuts(keys);
        AddRecordTabKey(action);
        connect(action, &QAction::triggered, this, step);
    };
    addKeys("acUndo", {QKeySequence(Qt::CTRL | Qt::Key_Z)}, [this] { Undo(); });
    addKeys("acRedo", {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), QKeySequence(Qt::CTRL | Qt::Key_Y)},
            [this] { history_->Redo(); });
    connect(fmShooting, &TShootingView::UndoRequested, this, &TFormMain::Undo);
    connect(fmShooting, &TShootingView::RedoRequested, history_.get(), &TSnapshotHistory::Redo);
}

void TFormMain::Undo() {
    // The last Snap is the one whose frames are still being averaged: taken back, it is never saved.
    if (averaging_->Abandon()) {
        SetStatusText(QStringLiteral("Undone: the averaged Snap stopped before its picture was taken"));
        return;
    }
    history_->Undo();
}

}  // namespace flipbook
