#pragma once

#include <atomic>
#include <thread>

#include <QObject>
#include <QString>

#include "export/export_series.h"

namespace flipbook {

// One export of a series on a thread of its own, reported to the window's thread by signals.
class TVideoExportJob : public QObject {
    Q_OBJECT

public:
    // Starts at once; the job's own progress and cancel fields are replaced by the signals and Cancel.
    explicit TVideoExportJob(SeriesExport job);
    // Cancels the export if it still runs and waits for its thread.
    ~TVideoExportJob() override;

    // Asks the export to stop before its next frame; it then leaves no file and reports no error.
    void Cancel() { cancel_ = true; }

signals:
    // Frames written so far.
    void Progress(int done);
    // The end: written, cancelled (both with an empty error), or failed with the error's message.
    void Finished(bool written, const QString& error);

private:
    std::atomic<bool> cancel_{false};
    std::thread thread_;
};

}  // namespace flipbook
