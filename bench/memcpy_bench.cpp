// SPDX-License-Identifier: GPL-3.0-or-later
// The anchor of every per-frame figure: one copy of a W x H frame of 3 bytes per pixel.
#include <benchmark/benchmark.h>

#include "frame_sizes.h"

#include <cstdint>
#include <cstring>
#include <vector>

namespace {

void Memcpy(benchmark::State& state) {
    const auto bytes = static_cast<std::size_t>(state.range(0) * state.range(1) * 3);
    std::vector<std::uint8_t> source(bytes, 0x5A);
    std::vector<std::uint8_t> target(bytes);
    for (auto _ : state) {
        std::memcpy(target.data(), source.data(), bytes);
        benchmark::DoNotOptimize(target.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes));
}
BENCHMARK(Memcpy)->Apply(flipbook::bench::FrameSizes);
// The anchor of the figures of a 4K camera's frame.
BENCHMARK(Memcpy)->ArgNames({"W", "H"})->Args({3840, 2160})->Unit(benchmark::kMicrosecond);

}  // namespace
