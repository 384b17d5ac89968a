// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include <QObject>
#include <QString>

#include "export/export_series.h"

namespace flipbook {

// One export of a series on a thread of its own, reported to the window's thread by signals.
class TVideoExportJob : public QObject {
    Q_OBJECT

public:
    // Takes the job; its own progress and cancel fields are replaced by the signals and Cancel. Nothing
    // runs before Start, so a failure at the very first picture reaches whoever connected to Finished.
    explicit TVideoExportJob(SeriesExport job);
    // Cancels the export if it still runs and waits for its thread, which ends within moments.
    ~TVideoExportJob() override;

    // Starts the export's thread; call once, after connecting to the signals.
    void Start();
    // Asks the export to stop; it then leaves no file and reports no error.
    void Cancel();

    // Asked on the window's thread, while the export waits, about each picture that cannot be read:
    // true holds the picture before it in its place, false ends the export with the error. Unset,
    // every unreadable picture ends it. Set before Start.
    std::function<bool(const std::string& picture)> AskHoldUnreadable;

signals:
    // Frames written so far.
    void Progress(int done);
    // The end: written, cancelled (both with an empty error), or failed with the error's message.
    void Finished(bool written, const QString& error);

private:
    void Run();
    // On the export's thread: AskHoldUnreadable's answer, or false once cancelled.
    bool HoldUnreadable(const std::string& picture);

    SeriesExport job_;
    std::atomic<bool> cancel_{false};
    std::mutex answerLock_;
    std::condition_variable answered_;
    std::optional<bool> answer_;
    std::thread thread_;
};

}  // namespace flipbook
