// SPDX-License-Identifier: GPL-3.0-or-later
#include "snapshots/snapshot_writer.h"

#include <exception>
#include <utility>

namespace flipbook {

namespace {

// Written pictures kept for reuse; two cover a steady series of snaps.
constexpr std::size_t kSparePictures = 2;

}  // namespace

TSnapshotWriter::TSnapshotWriter(SaveFunction save, DoneFunction done, std::size_t memoryLimit)
    : save_(std::move(save)), done_(std::move(done)), memoryLimit_(memoryLimit), thread_([this] { Run(); }) {}

TSnapshotWriter::~TSnapshotWriter() {
    {
        std::lock_guard lock(lock_);
        stopping_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

void TSnapshotWriter::Save(Bitmap picture, std::string path) {
    const std::size_t bytes = picture.PixelBytes();
    std::unique_lock lock(lock_);
    changed_.wait(lock, [&] { return HasRoom(bytes); });
    Enqueue(lock, std::move(picture), std::move(path), bytes);
}

bool TSnapshotWriter::TrySave(Bitmap& picture, std::string path) {
    const std::size_t bytes = picture.PixelBytes();
    std::unique_lock lock(lock_);
    if (!HasRoom(bytes)) return false;
    Enqueue(lock, std::move(picture), std::move(path), bytes);
    return true;
}

bool TSnapshotWriter::Full() {
    std::lock_guard lock(lock_);
    return !HasRoom(lastBytes_);
}

std::vector<std::string> TSnapshotWriter::QueuedPaths() {
    std::lock_guard lock(lock_);
    std::vector<std::string> paths;
    for (const Job& job : queue_) paths.push_back(job.path);
    return paths;
}

bool TSnapshotWriter::HasRoom(std::size_t bytes) const {
    return queue_.empty() || queuedBytes_ + bytes <= memoryLimit_;
}

void TSnapshotWriter::Enqueue(std::unique_lock<std::mutex>& lock, Bitmap picture, std::string path,
                              std::size_t bytes) {
    queue_.push_back({std::move(picture), std::move(path), bytes});
    queuedBytes_ += bytes;
    lastBytes_ = bytes;
    lock.unlock();
    changed_.notify_all();
}

Bitmap TSnapshotWriter::SparePicture() {
    std::lock_guard lock(lock_);
    if (spares_.empty()) return {};
    Bitmap spare = std::move(spares_.back());
    spares_.pop_back();
    return spare;
}

void TSnapshotWriter::Run() {
    std::unique_lock lock(lock_);
    for (;;) {
        changed_.wait(lock, [&] { return stopping_ || !queue_.empty(); });
        // Stopping still drains the queue: nothing taken is dropped.
        if (queue_.empty()) return;
        Job& job = queue_.front();
        lock.unlock();
        SnapshotOutcome outcome{job.path, {}, {}};
        try {
            SavedPicture saved = save_(job.picture, job.path);
            outcome.path = std::move(saved.path);
            outcome.warning = std::move(saved.warning);
        } catch (const std::exception& error) {
            outcome.failure = error.what();
            if (outcome.failure.empty()) outcome.failure = "unknown error";
        } catch (...) {
            outcome.failure = "unknown error";
        }
        lock.lock();
        // The picture leaves the queue only now, so the memory bound counts the one being written.
        queuedBytes_ -= job.bytes;
        // A picture that still shares its memory with the reference is no spare: writing into it would
        // copy that memory first.
        if (spares_.size() < kSparePictures && !job.picture.SharesPixels())
            spares_.push_back(std::move(job.picture));
        queue_.pop_front();
        changed_.notify_all();
        // Told after the picture is spare again, so whoever hears of it can reuse its memory.
        lock.unlock();
        done_(outcome);
        lock.lock();
    }
}

}  // namespace flipbook
