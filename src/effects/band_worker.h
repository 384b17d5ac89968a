// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A second core for the rows of one picture: a helper thread that works the lower band of rows while
// the caller works the upper, so a frame's costly pixel work takes half the time on the thread that
// delivers frames. It lives as long as its owner (the live view's frame work), so no thread is started
// for a frame.

#include <condition_variable>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>

namespace flipbook {

class BandWorker {
public:
    BandWorker();
    // Waits for a band in progress, then stops the thread.
    ~BandWorker();
    BandWorker(const BandWorker&) = delete;
    BandWorker& operator=(const BandWorker&) = delete;

    // Runs work(begin, end) over [0, count) in two bands, rows [count / 2, count) on the helper thread
    // and the rest on the caller's, and returns when both are done. A band that raised raises here (the
    // caller's first), after both ended. One caller at a time.
    void Split(int count, const std::function<void(int begin, int end)>& work);

private:
    void Run();

    std::mutex lock_;
    std::condition_variable changed_;
    const std::function<void(int, int)>* work_ = nullptr;
    int begin_ = 0;
    int end_ = 0;
    bool busy_ = false;
    bool stopping_ = false;
    std::exception_ptr failure_;
    std::thread thread_;
};

// The band worker of the live view's blends, started by its first use and kept until the program ends.
BandWorker& LiveBandWorker();

}  // namespace flipbook
