// SPDX-License-Identifier: GPL-3.0-or-later
#include "effects/band_worker.h"

#include <utility>

namespace flipbook {

BandWorker::BandWorker() : thread_([this] { Run(); }) {}

BandWorker::~BandWorker() {
    {
        std::lock_guard lock(lock_);
        stopping_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

void BandWorker::Split(int count, const std::function<void(int begin, int end)>& work) {
    const int middle = count / 2;
    {
        std::lock_guard lock(lock_);
        work_ = &work;
        begin_ = middle;
        end_ = count;
        busy_ = true;
        failure_ = nullptr;
    }
    changed_.notify_all();
    std::exception_ptr mine;
    try {
        work(0, middle);
    } catch (...) {
        mine = std::current_exception();
    }
    std::unique_lock lock(lock_);
    changed_.wait(lock, [&] { return !busy_; });
    work_ = nullptr;
    if (mine) std::rethrow_exception(mine);
    if (failure_) std::rethrow_exception(std::exchange(failure_, nullptr));
}

void BandWorker::Run() {
    std::unique_lock lock(lock_);
    for (;;) {
        changed_.wait(lock, [&] { return stopping_ || busy_; });
        if (!busy_) return;
        const auto& work = *work_;
        const int begin = begin_;
        const int end = end_;
        lock.unlock();
        std::exception_ptr failure;
        try {
            work(begin, end);
        } catch (...) {
            failure = std::current_exception();
        }
        lock.lock();
        failure_ = failure;
        busy_ = false;
        changed_.notify_all();
    }
}

BandWorker& LiveBandWorker() {
    static BandWorker worker;
    return worker;
}

}  // namespace flipbook
