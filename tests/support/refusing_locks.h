// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace flipbook::testing {

// Makes every lock of an open file description fail with ENOLCK while it lives, as a network file
// system without a lock service does. Works in the programs built with refusing_locks.cpp, whose
// fcntl() comes before the C library's.
class RefusedLocks {
public:
    RefusedLocks();
    ~RefusedLocks();
    RefusedLocks(const RefusedLocks&) = delete;
    RefusedLocks& operator=(const RefusedLocks&) = delete;
};

}  // namespace flipbook::testing
