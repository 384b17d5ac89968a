// SPDX-License-Identifier: GPL-3.0-or-later
#include "snapshots/snapshot_writer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
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

    std::string Save(const Bitmap&, const std::string& path) {
        std::unique_lock guard(lock);
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
    std::atomic<bool> thirdTaken{false};
    std::thread third([&] {
        writer->Save(Picture(100), "3");
        thirdTaken = true;
    });
    std::this_thread::sleep_for(100ms);
    EXPECT_FALSE(thirdTaken);
    recorder.SetGate(true);
    third.join();
    EXPECT_TRUE(thirdTaken);
    writer->Save(Picture(1000), "large");
    writer.reset();
    EXPECT_EQ(recorder.saved, (std::vector<std::string>{"1", "2", "3", "large"}));
}

}  // namespace
}  // namespace flipbook
