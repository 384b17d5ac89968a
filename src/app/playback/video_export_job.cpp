// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/playback/video_export_job.h"

#include <exception>
#include <new>

namespace flipbook {

TVideoExportJob::TVideoExportJob(SeriesExport job) : job_(std::move(job)) {
    job_.cancel = &cancel_;
    job_.progress = [this](std::size_t done, std::size_t) { emit Progress(static_cast<int>(done)); };
    job_.holdUnreadable = [this](const std::string& picture) { return HoldUnreadable(picture); };
}

TVideoExportJob::~TVideoExportJob() {
    Cancel();
    if (thread_.joinable()) thread_.join();
}

void TVideoExportJob::Cancel() {
    {
        std::lock_guard guard(answerLock_);
        cancel_ = true;
    }
    answered_.notify_all();
}

bool TVideoExportJob::HoldUnreadable(const std::string& picture) {
    if (!AskHoldUnreadable) return false;
    std::unique_lock guard(answerLock_);
    answer_.reset();
    // Asked on the window's thread, where the question's box belongs. Should the job go first (the
    // window cancelled and destroyed it), the queued call goes with it.
    QMetaObject::invokeMethod(
        this,
        [this, picture] {
            const bool hold = AskHoldUnreadable(picture);
            {
                std::lock_guard answering(answerLock_);
                answer_ = hold;
            }
            answered_.notify_all();
        },
        Qt::QueuedConnection);
    answered_.wait(guard, [this] { return answer_.has_value() || cancel_.load(); });
    return answer_.value_or(false);
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
