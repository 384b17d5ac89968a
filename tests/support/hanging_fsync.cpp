// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/hanging_fsync.h"

#include <dlfcn.h>
#include <unistd.h>

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
};

Hang& TheHang() {
    static Hang hang;
    return hang;
}

std::string FolderOfDescriptor(int descriptor) {
    std::error_code error;
    const auto target = std::filesystem::read_symlink("/proc/self/fd/" + std::to_string(descriptor), error);
    return error ? std::string() : target.parent_path().string();
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

void ReleaseHangingFsync() {
    Hang& hang = TheHang();
    {
        std::lock_guard lock(hang.lock);
        hang.folder.clear();
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
    flipbook::testing::WaitIfHanging(descriptor);
    return realFsync(descriptor);
}
