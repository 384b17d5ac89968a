// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Processor time of the whole process (all its threads), for figures of work spread over threads.

#include <ctime>

namespace flipbook::bench {

inline double ProcessCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

}  // namespace flipbook::bench
