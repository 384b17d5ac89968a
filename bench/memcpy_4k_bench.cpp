// SPDX-License-Identifier: GPL-3.0-or-later
// The anchor of the figures of a 4K camera's frames (DisplayStretch/W:3840/H:2160 and the like): one
// copy of a 3840 x 2160 frame of 3 bytes per pixel, as Memcpy/W/H is for the smaller sizes.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <vector>

namespace {

void Memcpy4K(benchmark::State& state) {
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
BENCHMARK(Memcpy4K)->Name("Memcpy")->ArgNames({"W", "H"})->Args({3840, 2160})->Unit(benchmark::kMicrosecond);

}  // namespace
