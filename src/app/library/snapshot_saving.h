// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/graphics/bitmap.h"
#include "platform/shell/desktop.h"
#include "snapshots/snapshot_writer.h"

class QObject;

namespace flipbook {

// Background saving of the window's snapshots: the writer, the count of pictures taken whose outcome
// has not come back yet, the busy cursor while any is pending, and the way each outcome comes back to
// the window's thread. The window's thread never waits on it: a picture the queue has no room for is
// refused, not waited for.
class TSnapshotSaving {
public:
    // Told of each outcome on the thread of the context object, once Pending() no longer counts it.
    using Reported = std::function<void(const SnapshotOutcome& outcome)>;

    TSnapshotSaving(QObject* context, std::size_t queueBytes, Reported reported);
    // Finishes every save still queued.
    ~TSnapshotSaving();
    TSnapshotSaving(const TSnapshotSaving&) = delete;
    TSnapshotSaving& operator=(const TSnapshotSaving&) = delete;

    int Pending() const { return pending_; }
    // True while a picture like the last one would find no room: saving is behind.
    bool Full() { return writer_->Full(); }
    // A written picture's memory to snap into, or an empty Bitmap.
    Bitmap SparePicture() { return writer_->SparePicture(); }
    // Hands the picture to the writer for the path; false, and the picture left as it was, when the
    // queue has no room for it now.
    bool Take(Bitmap& picture, const std::string& path);
    // "Quit Without Saving": the writer goes on with what it holds, on its own and unheard; the names
    // of the pictures it held. A fresh writer takes its place, should the window stay.
    std::vector<std::string> LeaveBehind();

private:
    struct ReportTarget {
        std::mutex lock;
        TSnapshotSaving* saving = nullptr;
    };

    void StartWriter();
    void Report(const SnapshotOutcome& outcome);

    QObject* context_;
    const std::size_t queueBytes_;
    Reported reported_;
    std::shared_ptr<ReportTarget> reports_;
    std::unique_ptr<TSnapshotWriter> writer_;
    int pending_ = 0;
    std::optional<ScopedBusyCursor> cursor_;
};

}  // namespace flipbook
