// SPDX-License-Identifier: GPL-3.0-or-later
// The per-frame pixel work of judging a shot, each beside Memcpy/W/H: the onion skin of N pictures over
// the live one (the pictures already decoded and at the screen's size, as the view keeps them), one
// frame added into the sum of frames being averaged, and the exposure check's histograms.
#include <benchmark/benchmark.h>

#include "frame_sizes.h"

#include <cstdint>
#include <vector>

#include "effects/frame_average.h"
#include "effects/histogram.h"
#include "effects/instruction_sets.h"
#include "effects/layers.h"
#include "effects/zt_bmpfx.h"

namespace {

// A camera-like frame of tightly packed rows: smooth gradients with a little noise, different for each
// seed.
std::vector<std::uint8_t> Frame(int width, int height, std::uint32_t seed) {
    std::vector<std::uint8_t> frame(static_cast<std::size_t>(width) * 3 * static_cast<std::size_t>(height));
    std::uint32_t state = seed;
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = frame.data() + static_cast<std::size_t>(y) * width * 3;
        for (int x = 0; x < 3 * width; ++x) {
            state = state * 1664525u + 1013904223u;
            row[x] = static_cast<std::uint8_t>((x / 3 + y + seed) / 4 + (state >> 28));
        }
    }
    return frame;
}

flipbook::FrameRows RowsOf(const std::vector<std::uint8_t>& frame, int width, int height) {
    return {frame.data(), width, height, static_cast<std::size_t>(width) * 3, true};
}

// The view's kernels stop at AVX2, whatever wider set is allowed.
const char* PathName() {
    return flipbook::ActiveInstructionSet() >= flipbook::InstructionSet::Avx2
               ? "avx2"
               : flipbook::InstructionSetName(flipbook::ActiveInstructionSet()).data();
}

// N pictures over the live one at the weight the view starts with, into a screen of the frame's size.
void ShootingViewLayers(benchmark::State& state) {
    const auto count = static_cast<int>(state.range(0));
    const auto width = static_cast<int>(state.range(1));
    const auto height = static_cast<int>(state.range(2));
    const std::vector<std::uint8_t> live = Frame(width, height, 1);
    std::vector<std::vector<std::uint8_t>> pictures;
    for (int j = 0; j < count; ++j)
        pictures.push_back(Frame(width, height, 2 + static_cast<std::uint32_t>(j)));
    std::vector<std::uint32_t> screen(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
    const flipbook::OnionWeights weights = flipbook::OnionLayerWeights(50, count);
    const std::size_t rowBytes = static_cast<std::size_t>(width) * 3;
    for (auto _ : state) {
        for (int y = 0; y < height; ++y) {
            const std::size_t at = static_cast<std::size_t>(y) * rowBytes;
            flipbook::OnionRows rows;
            rows.live = live.data() + at;
            for (int j = 0; j < count; ++j)
                rows.pictures[static_cast<std::size_t>(j)] =
                    pictures[static_cast<std::size_t>(j)].data() + at;
            flipbook::ComposeOnionLayers(rows, weights, screen.data() + static_cast<std::size_t>(y) * width,
                                         static_cast<std::size_t>(width), false);
        }
        benchmark::DoNotOptimize(screen.data());
        benchmark::ClobberMemory();
    }
    state.SetLabel(PathName());
}
BENCHMARK(ShootingViewLayers)
    ->ArgNames({"N", "W", "H"})
    ->Args({1, 1920, 1080})
    ->Args({3, 1920, 1080})
    ->Args({5, 1920, 1080})
    ->Unit(benchmark::kMicrosecond);

// One frame added into a sum that already holds some: the per-frame cost while frames are gathered.
void AverageFrame(benchmark::State& state) {
    const auto width = static_cast<int>(state.range(0));
    const auto height = static_cast<int>(state.range(1));
    const std::vector<std::uint8_t> frame = Frame(width, height, 1);
    flipbook::FrameSum sum;
    sum.Start(width, height);
    sum.Add(RowsOf(frame, width, height));
    for (auto _ : state) {
        // A sum full up starts again from its first frame, out of the timing, as a new Snap's does.
        if (sum.Count() == flipbook::FrameSum::kMostFrames) {
            state.PauseTiming();
            sum.Start(width, height);
            sum.Add(RowsOf(frame, width, height));
            state.ResumeTiming();
        }
        sum.Add(RowsOf(frame, width, height));
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * width * height * 3);
    state.SetLabel(PathName());
}
BENCHMARK(AverageFrame)->Apply(flipbook::bench::FrameSizes);

void Histogram(benchmark::State& state) {
    const auto width = static_cast<int>(state.range(0));
    const auto height = static_cast<int>(state.range(1));
    const std::vector<std::uint8_t> frame = Frame(width, height, 1);
    for (auto _ : state) {
        const flipbook::Histogram histogram = flipbook::MeasureHistogram(RowsOf(frame, width, height));
        benchmark::DoNotOptimize(histogram.luma.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * width * height * 3);
    state.SetLabel(PathName());
}
BENCHMARK(Histogram)->Apply(flipbook::bench::FrameSizes);

}  // namespace
