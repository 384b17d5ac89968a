// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/hanging_fsync.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <mutex>

namespace flipbook::testing {

namespace {

struct Hang {
    std::mutex lock;
    std::condition_variable released;
    std::string folder;  // "" while nothing hangs
    int waiting = 0;
    std::string failingFolder;  // "" while every folder flushes
    int failure = 0;
};

Hang& TheHang() {
    static Hang hang;
    return hang;
}

std::filesystem::path PathOfDescriptor(int descriptor) {
    std::error_code error;
    const auto target = std::filesystem::read_symlink("/proc/self/fd/" + std::to_string(descriptor), error);
    return error ? std::filesystem::path() : target;
}

std::string FolderOfDescriptor(int descriptor) {
    return PathOfDescriptor(descriptor).parent_path().string();
}

// The error the descriptor's fsync() fails with; 0 when it goes on.
int FailureOf(int descriptor) {
    Hang& hang = TheHang();
    std::lock_guard lock(hang.lock);
    if (hang.failingFolder.empty() || PathOfDescriptor(descriptor) != hang.failingFolder) return 0;
    return hang.failure;
}

// Waits while the descriptor's file lies in the hanging folder.
void WaitIfHanging(int descriptor) {
    Hang& hang = TheHang();
    std::unique_lock lock(hang.lock);
    if (hang.folder.empty()) return;
    const std::string folder = FolderOfDescriptor(descriptor);
    if (folder != hang.folder) return;
    ++hang.waiting;
    hang.released.wait_for(lock, std::chrono::minutes(2), [&] { return hang.folder != folder; });
    --hang.waiting;
}

}  // namespace

void HangFsyncIn(const std::string& folder) {
    Hang& hang = TheHang();
    std::lock_guard lock(hang.lock);
    hang.folder = std::filesystem::weakly_canonical(folder).string();
}

void FailFolderFsyncOf(const std::string& folder, int error) {
    Hang& hang = TheHang();
    std::lock_guard lock(hang.lock);
    hang.failingFolder = std::filesystem::weakly_canonical(folder).string();
    hang.failure = error;
}

void ReleaseHangingFsync() {
    Hang& hang = TheHang();
    {
        std::lock_guard lock(hang.lock);
        hang.folder.clear();
        hang.failingFolder.clear();
    }
    hang.released.notify_all();
}

int HangingFsyncs() {
    Hang& hang = TheHang();
    std::lock_guard lock(hang.lock);
    return hang.waiting;
}

}  // namespace flipbook::testing

extern "C" int fsync(int descriptor) {
    using FsyncFunction = int (*)(int);
    static const auto realFsync = reinterpret_cast<FsyncFunction>(dlsym(RTLD_NEXT, "fsync"));
    if (const int failure = flipbook::testing::FailureOf(descriptor)) {
        errno = failure;
        return -1;
    }
    flipbook::testing::WaitIfHanging(descriptor);
    return realFsync(descriptor);
}
