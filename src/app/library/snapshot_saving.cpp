// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/library/snapshot_saving.h"

#include <QMetaObject>
#include <QObject>

#include <filesystem>
#include <thread>

#include "app/library/picture_files.h"

namespace flipbook {

TSnapshotSaving::TSnapshotSaving(QObject* context, std::size_t queueBytes, Reported reported)
    : context_(context), queueBytes_(queueBytes), reported_(std::move(reported)) {
    StartWriter();
}

TSnapshotSaving::~TSnapshotSaving() {
    {
        std::lock_guard lock(reports_->lock);
        reports_->saving = nullptr;
    }
    // Finishes the saves still queued, so nothing taken is lost even without a close.
    writer_.reset();
}

void TSnapshotSaving::StartWriter() {
    reports_ = std::make_shared<ReportTarget>();
    reports_->saving = this;
    writer_ = std::make_unique<TSnapshotWriter>(
        SavePictureFile,
        [reports = reports_, context = context_](const SnapshotOutcome& outcome) {
            // Back to the context's thread, unless this writer was left behind.
            std::lock_guard lock(reports->lock);
            if (reports->saving) {
                QMetaObject::invokeMethod(
                    context,
                    [reports, outcome] {
                        std::unique_lock guard(reports->lock);
                        TSnapshotSaving* receiver = reports->saving;
                        guard.unlock();
                        if (receiver) receiver->Report(outcome);
                    },
                    Qt::QueuedConnection);
            }
        },
        queueBytes_);
}

bool TSnapshotSaving::Take(Bitmap& picture, const std::string& path) {
    // Counted only once the writer holds it: a picture refused or a throw leaves nothing pending that
    // no report would ever end, and closing would wait for.
    const bool first = pending_ == 0;
    if (first) cursor_.emplace();
    bool taken = false;
    try {
        taken = writer_->TrySave(picture, path);
    } catch (...) {
        if (first) cursor_.reset();
        throw;
    }
    if (!taken) {
        if (first) cursor_.reset();
        return false;
    }
    ++pending_;
    return true;
}

void TSnapshotSaving::Report(const SnapshotOutcome& outcome) {
    if (--pending_ == 0) cursor_.reset();
    if (reported_) reported_(outcome);
}

std::vector<std::string> TSnapshotSaving::LeaveBehind() {
    std::vector<std::string> names;
    for (const std::string& path : writer_->QueuedPaths())
        names.push_back(std::filesystem::path(path).filename().string());
    {
        std::lock_guard lock(reports_->lock);
        reports_->saving = nullptr;
    }
    pending_ = 0;
    cursor_.reset();
    // A save that hangs (a network folder that stopped answering) cannot be cut short, and waiting
    // for the writer would hang the window with it; a thread of its own waits instead, and the
    // process ending takes it along.
    std::thread([writer = std::move(writer_)]() mutable { writer.reset(); }).detach();
    StartWriter();
    return names;
}

}  // namespace flipbook
