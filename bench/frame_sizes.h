// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <benchmark/benchmark.h>

namespace flipbook::bench {

// The frame sizes every per-frame figure is measured at, named W and H so each one stands beside
// Memcpy of the same size: BENCHMARK(Name)->Apply(FrameSizes).
inline void FrameSizes(benchmark::internal::Benchmark* benchmark) {
    benchmark->ArgNames({"W", "H"})
        ->Args({640, 480})
        ->Args({1280, 720})
        ->Args({1920, 1080})
        ->Unit(benchmark::kMicrosecond);
}

}  // namespace flipbook::bench
