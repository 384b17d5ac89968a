// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/graphics/bitmap.h"

namespace flipbook {

// What became of one snapshot: saved when failure is empty, otherwise the reason in plain words. The
// path is where it was saved, which may differ from the one asked for when that name was taken.
struct SnapshotOutcome {
    std::string path;
    std::string failure;
};

// Saves pictures on a thread of its own, one after another in the order they were handed in, so the
// window's thread never waits for a codec or a disk. The queue is bounded by the pictures' memory:
// Save waits while it is full (one picture is always admitted). Destroying the writer finishes every
// picture still queued.
class TSnapshotWriter {
public:
    // Writes one picture to its path, or to another name when that one is taken, and returns the path
    // written; raises with the reason as message when it cannot.
    using SaveFunction = std::function<std::string(const Bitmap& picture, const std::string& path)>;
    // Told of each picture once it is saved or has failed, on the writer's thread.
    using DoneFunction = std::function<void(const SnapshotOutcome& outcome)>;

    TSnapshotWriter(SaveFunction save, DoneFunction done, std::size_t memoryLimit);
    ~TSnapshotWriter();
    TSnapshotWriter(const TSnapshotWriter&) = delete;
    TSnapshotWriter& operator=(const TSnapshotWriter&) = delete;

    // Queues the picture for the path, waiting while the queue holds the memory limit's worth.
    void Save(Bitmap picture, std::string path);

    // A picture already written, to assign the next snapshot into: its pixel memory is reused, which
    // spares the window's thread a fresh allocation and its page faults. Empty when none is spare.
    Bitmap SparePicture();

private:
    struct Job {
        Bitmap picture;
        std::string path;
        std::size_t bytes;
    };

    void Run();

    SaveFunction save_;
    DoneFunction done_;
    const std::size_t memoryLimit_;
    std::mutex lock_;
    std::condition_variable changed_;
    std::deque<Job> queue_;
    std::vector<Bitmap> spares_;
    std::size_t queuedBytes_ = 0;
    bool stopping_ = false;
    std::thread thread_;
};

}  // namespace flipbook
