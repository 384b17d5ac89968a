// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/graphics/bitmap.h"

namespace flipbook {

// Where a picture was saved, and why it may not be safe on the disk yet (in plain words; empty when it
// is): the file has its name, but its folder could not be flushed.
struct SavedPicture {
    SavedPicture(std::string savedPath, std::string notSafeYet = {})
        : path(std::move(savedPath)), warning(std::move(notSafeYet)) {}
    std::string path;
    std::string warning;
};

// What became of one snapshot: saved when failure is empty, otherwise the reason in plain words. The
// path is where it was saved, which may differ from the one asked for when that name was taken. A
// saved picture with a warning is on the disk under its name, but may not be safe there yet, for the
// reason the warning gives.
struct SnapshotOutcome {
    std::string path;
    std::string failure;
    std::string warning;
};

// Saves pictures on a thread of its own, one after another in the order they were handed in, so the
// window's thread never waits for a codec or a disk. The queue is bounded by the pictures' memory:
// Save waits while it is full (one picture is always admitted). Destroying the writer finishes every
// picture still queued.
class TSnapshotWriter {
public:
    // Writes one picture to its path, or to another name when that one is taken, and returns the path
    // written (with a warning when it may not be safe on the disk yet); raises with the reason as
    // message when it cannot.
    using SaveFunction = std::function<SavedPicture(const Bitmap& picture, const std::string& path)>;
    // Told of each picture once it is saved or has failed, on the writer's thread.
    using DoneFunction = std::function<void(const SnapshotOutcome& outcome)>;

    TSnapshotWriter(SaveFunction save, DoneFunction done, std::size_t memoryLimit);
    ~TSnapshotWriter();
    TSnapshotWriter(const TSnapshotWriter&) = delete;
    TSnapshotWriter& operator=(const TSnapshotWriter&) = delete;

    // Queues the picture for the path, waiting while the queue holds the memory limit's worth.
    void Save(Bitmap picture, std::string path);
    // Queues the picture for the path when the queue has room for it now; false, and the picture left
    // as it was, when it would have to wait. For a thread that must never wait on a disk.
    bool TrySave(Bitmap& picture, std::string path);
    // True while a picture of the size last queued would not be admitted without waiting: saving is
    // behind (a disk or network folder that stopped answering).
    bool Full();
    // The paths of the pictures queued and not yet reported, the one being written first.
    std::vector<std::string> QueuedPaths();

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
    // Under lock_.
    bool HasRoom(std::size_t bytes) const;
    void Enqueue(std::unique_lock<std::mutex>& lock, Bitmap picture, std::string path, std::size_t bytes);

    SaveFunction save_;
    DoneFunction done_;
    const std::size_t memoryLimit_;
    std::mutex lock_;
    std::condition_variable changed_;
    std::deque<Job> queue_;
    std::vector<Bitmap> spares_;
    std::size_t queuedBytes_ = 0;
    std::size_t lastBytes_ = 0;
    bool stopping_ = false;
    std::thread thread_;
};

}  // namespace flipbook
