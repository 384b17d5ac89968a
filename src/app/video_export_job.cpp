#include "app/video_export_job.h"

#include <exception>

namespace flipbook {

TVideoExportJob::TVideoExportJob(SeriesExport job) {
    job.cancel = &cancel_;
    job.progress = [this](std::size_t done, std::size_t) { emit Progress(static_cast<int>(done)); };
    thread_ = std::thread([this, job = std::move(job)] {
        try {
            emit Finished(ExportSeries(job) == ExportOutcome::Written, QString());
        } catch (const std::exception& error) {
            emit Finished(false, QString::fromStdString(error.what()));
        }
    });
}

TVideoExportJob::~TVideoExportJob() {
    Cancel();
    thread_.join();
}

}  // namespace flipbook
