// SPDX-License-Identifier: GPL-3.0-or-later
// Closing the window with snapshots still being saved: the wait for them, the failures reported
// meanwhile, and leaving behind saves the user no longer wants to wait for.
#include <QScopedValueRollback>

#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "app/library/pending_saves_wait.h"
#include "app/library/snapshot_saving.h"
#include "app/window/fmMain.h"
#include "platform/shell/desktop.h"

namespace flipbook {

void TFormMain::FinishPendingSaves() {
    if (saving_->Pending() == 0) return;
    PendingSavesWait wait(this, saving_->Pending());
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

}  // namespace flipbook
