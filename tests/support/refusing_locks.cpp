// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/refusing_locks.h"

#include <dlfcn.h>
#include <fcntl.h>

#include <atomic>
#include <cerrno>
#include <cstdarg>

namespace flipbook::testing {

namespace {

std::atomic<bool> refused{false};

}  // namespace

RefusedLocks::RefusedLocks() {
    refused = true;
}

RefusedLocks::~RefusedLocks() {
    refused = false;
}

}  // namespace flipbook::testing

namespace {

using FcntlFunction = int (*)(int, int, ...);

int Forward(const char* name, int descriptor, int command, void* argument) {
    if (flipbook::testing::refused &&
        (command == F_OFD_SETLK || command == F_OFD_SETLKW || command == F_OFD_GETLK)) {
        errno = ENOLCK;
        return -1;
    }
    // The third argument is an int or a pointer by command; the C library reads it as a pointer too.
    const auto real = reinterpret_cast<FcntlFunction>(dlsym(RTLD_NEXT, name));
    return real(descriptor, command, argument);
}

}  // namespace

extern "C" int fcntl(int descriptor, int command, ...) {
    va_list arguments;
    va_start(arguments, command);
    void* argument = va_arg(arguments, void*);
    va_end(arguments);
    return Forward("fcntl", descriptor, command, argument);
}

extern "C" int fcntl64(int descriptor, int command, ...) {
    va_list arguments;
    va_start(arguments, command);
    void* argument = va_arg(arguments, void*);
    va_end(arguments);
    return Forward("fcntl64", descriptor, command, argument);
}
