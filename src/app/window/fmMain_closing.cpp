// SPDX-License-Identifier: GPL-3.0-or-later
// Closing the window with snapshots still being saved: the wait for them, the failures reported
// meanwhile, and leaving behind saves the user no longer wants to wait for.
#include <QScopedValueRollback>

#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "app/window/fmMain.h"
#include "app/library/pending_saves_wait.h"
#include "platform/shell/desktop.h"
#include "snapshots/snapshot_writer.h"

namespace flipbook {

void TFormMain::FinishPendingSaves() {
    if (pendingSaves_ == 0) return;
    PendingSavesWait wait(this, pendingSaves_);
    PendingSavesWait::Outcome outcome;
    {
        QScopedValueRollback waiting(savesWait_, &wait);
        outcome = wait.Run();
    }
    std::vector<std::string> leftBehind;
    if (outcome == PendingSavesWait::Outcome::QuitWithoutSaving) leftBehind = LeavePendingSavesBehind();
    // The status bar goes with the window, so a picture lost meanwhile is named where it is seen.
    std::string lost = UnsavedPicturesMessage(wait.Failures());
    const std::string left = LeftUnsavedMessage(leftBehind);
    if (!left.empty()) lost += (lost.empty() ? "" : "\n\n") + left;
    if (!lost.empty()) TheDesktop().ShowError(lost);
}

std::vector<std::string> TFormMain::LeavePendingSavesBehind() {
    std::vector<std::string> names;
    for (const std::string& path : snapshotWriter_->QueuedPaths())
        names.push_back(std::filesystem::path(path).filename().string());
    {
        std::lock_guard lock(saveReports_->lock);
        saveReports_->window = nullptr;
    }
    pendingSaves_ = 0;
    savingCursor_.reset();
    // A save that hangs (a network folder that stopped answering) cannot be cut short, and waiting
    // for the writer would hang the window with it; a thread of its own waits instead, and the
    // process ending takes it along.
    std::thread([writer = std::move(snapshotWriter_)]() mutable { writer.reset(); }).detach();
    // A fresh writer, should the close still be refused and the window stay.
    CreateSnapshotWriter();
    return names;
}

}  // namespace flipbook
