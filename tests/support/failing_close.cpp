// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/failing_close.h"

#include <dlfcn.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <filesystem>
#include <mutex>

namespace flipbook::testing {

namespace {

std::mutex armedMutex;
std::string armedPath;
std::atomic<bool> armed{false};

// Whether this close is the one to fail; disarms when it is.
bool TakeArmedClose(int descriptor) {
    if (!armed.load()) return false;
    std::error_code error;
    const auto target = std::filesystem::read_symlink("/proc/self/fd/" + std::to_string(descriptor), error);
    if (error) return false;
    const std::lock_guard lock(armedMutex);
    if (!armed.load() || target.string() != armedPath) return false;
    armed = false;
    return true;
}

}  // namespace

void FailNextCloseOf(const std::string& path) {
    const std::lock_guard lock(armedMutex);
    armedPath = std::filesystem::weakly_canonical(path).string();
    armed = true;
}

}  // namespace flipbook::testing

extern "C" int close(int descriptor) {
    using CloseFunction = int (*)(int);
    static const auto realClose = reinterpret_cast<CloseFunction>(dlsym(RTLD_NEXT, "close"));
    const bool fail = flipbook::testing::TakeArmedClose(descriptor);
    const int result = realClose(descriptor);
    if (!fail) return result;
    errno = EIO;
    return -1;
}
