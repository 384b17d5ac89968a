// SPDX-License-Identifier: GPL-3.0-or-later
#include "snapshots/snapshot_writer.h"

#include <gtest/gtest.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <fstream>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace flipbook {
namespace {

using namespace std::chrono_literals;

Bitmap Picture(int width) {
    Bitmap picture;
    picture.SetSize(width, 10);
    return picture;
}

// A save that records the paths it was given and waits while the gate is closed.
struct Recorder {
    std::mutex lock;
    std::condition_variable opened;
    bool gateOpen = true;
    std::vector<std::string> saved;
    std::vector<SnapshotOutcome> outcomes;
    // True once a save has come to the closed gate.
    bool held = false;

    std::string Save(const Bitmap&, const std::string& path) {
        std::unique_lock guard(lock);
        if (!gateOpen) {
            held = true;
            opened.notify_all();
        }
        opened.wait(guard, [&] { return gateOpen; });
        if (path.find("fail") != std::string::npos) throw std::runtime_error("the disk is full");
        saved.push_back(path);
        return path;
    }
    void Done(const SnapshotOutcome& outcome) {
        std::lock_guard guard(lock);
        outcomes.push_back(outcome);
    }
    void SetGate(bool open) {
        {
            std::lock_guard guard(lock);
            gateOpen = open;
        }
        opened.notify_all();
    }
    void WaitUntilHeld() {
        std::unique_lock guard(lock);
        opened.wait(guard, [&] { return held; });
    }
};

TEST(SnapshotWriter, SavesInTheOrderTaken_ReportsFailures_AndFinishesEverythingWhenDestroyed) {
    Recorder recorder;
    recorder.SetGate(false);
    {
        auto writer = std::make_unique<TSnapshotWriter>(
            [&](const Bitmap& picture, const std::string& path) { return recorder.Save(picture, path); },
            [&](const SnapshotOutcome& outcome) { recorder.Done(outcome); }, std::size_t{1} << 30);
        for (const char* path : {"1", "2", "fail-3", "4"}) writer->Save(Picture(16), path);
        recorder.SetGate(true);
    }
    EXPECT_EQ(recorder.saved, (std::vector<std::string>{"1", "2", "4"}));
    ASSERT_EQ(recorder.outcomes.size(), 4u);
    EXPECT_EQ(recorder.outcomes[2].path, "fail-3");
    EXPECT_EQ(recorder.outcomes[2].failure, "the disk is full");
    EXPECT_EQ(recorder.outcomes[3].failure, "");
}

// True once the thread of this process sleeps in the kernel on a futex: a thread blocked in a condition
// variable's wait, as Save is while the queue is full.
bool AsleepOnAFutex(long thread) {
    std::ifstream file("/proc/self/task/" + std::to_string(thread) + "/syscall");
    long call = -1;
    return file >> call && call == SYS_futex;
}

// The queue holds at most the memory limit: with two pictures' worth queued, a third Save waits until
// the first is written; a picture larger than the limit is still taken when the queue is empty.
TEST(SnapshotWriter, SaveWaitsWhileTheQueueIsFull) {
    Recorder recorder;
    recorder.SetGate(false);
    const std::size_t pictureBytes = Picture(100).PixelBytes();
    auto writer = std::make_unique<TSnapshotWriter>(
        [&](const Bitmap& picture, const std::string& path) { return recorder.Save(picture, path); },
        [&](const SnapshotOutcome& outcome) { recorder.Done(outcome); }, 2 * pictureBytes);
    writer->Save(Picture(100), "1");
    writer->Save(Picture(100), "2");
    // From here the writer's thread takes no lock of the writer's, so the third Save sleeps only where
    // it waits for room.
    recorder.WaitUntilHeld();
    std::atomic<long> thirdThread{0};
    std::atomic<bool> thirdTaken{false};
    // How many pictures were written when the third Save returned: at least the first, whose place
    // in the queue it waited for.
    std::size_t writtenWhenTaken = 0;
    std::thread third([&] {
        Bitmap picture = Picture(100);
        thirdThread = static_cast<long>(::gettid());
        writer->Save(std::move(picture), "3");
        {
            std::lock_guard guard(recorder.lock);
            writtenWhenTaken = recorder.saved.size();
        }
        thirdTaken = true;
    });
    // The writer is held in the first save, so the third Save must go to sleep rather than return.
    // Waiting for either outcome (not for a fixed time) sees a Save that does not wait, however slowly
    // the thread runs.
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (!thirdTaken && !(thirdThread != 0 && AsleepOnAFutex(thirdThread)) &&
           std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(1ms);
    EXPECT_FALSE(thirdTaken);
    EXPECT_EQ(writer->QueuedPaths(), (std::vector<std::string>{"1", "2"}));
    recorder.SetGate(true);
    third.join();
    EXPECT_GE(writtenWhenTaken, 1u);
    writer->Save(Picture(1000), "large");
    writer.reset();
    EXPECT_EQ(recorder.saved, (std::vector<std::string>{"1", "2", "3", "large"}));
}

}  // namespace
}  // namespace flipbook
