// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/video_export_job.h"

#include <exception>
#include <new>

namespace flipbook {

TVideoExportJob::TVideoExportJob(SeriesExport job) : job_(std::move(job)) {
    job_.cancel = &cancel_;
    job_.progress = [this](std::size_t done, std::size_t) { emit Progress(static_cast<int>(done)); };
}

TVideoExportJob::~TVideoExportJob() {
    Cancel();
    if (thread_.joinable()) thread_.join();
}

void TVideoExportJob::Start() {
    thread_ = std::thread([this] { Run(); });
}

void TVideoExportJob::Run() {
    // Whatever goes wrong ends this export with a message; nothing may end the program from here.
    try {
        emit Finished(ExportSeries(job_) == ExportOutcome::Written, QString());
    } catch (const std::bad_alloc&) {
        emit Finished(false, QStringLiteral("There is not enough memory to export the video"));
    } catch (const std::exception& error) {
        emit Finished(false, QString::fromStdString(error.what()));
    } catch (...) {
        emit Finished(false, QStringLiteral("The video could not be exported: an unknown error"));
    }
}

}  // namespace flipbook
