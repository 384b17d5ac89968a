// SPDX-License-Identifier: GPL-3.0-or-later
// The full-screen shooting view: one camera frame of W x H turned into the 1920 x 1080 screen image
// the view paints (onion skin on at the starting weight, the reference already scaled), and the
// difference view of two W x H frames; both beside Memcpy/W/H.
#include <benchmark/benchmark.h>

#include "frame_sizes.h"

#include <cstdint>
#include <vector>

#include "effects/difference.h"
#include "effects/instruction_sets.h"
#include "effects/screen_frame.h"
#include "platform/graphics/bitmap.h"

namespace {

// A camera-like frame, top-down as the camera's frames are: smooth gradients with a little noise,
// different for each seed.
flipbook::Bitmap Frame(int width, int height, std::uint32_t seed) {
    flipbook::Bitmap frame;
    flipbook::BitmapInfoHeader header;
    header.width = width;
    header.height = -height;
    header.bitCount = 24;
    frame.CreateSection(header, {}, {});
    std::uint32_t state = seed;
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = frame.ScanLine(y);
        for (int x = 0; x < 3 * width; ++x) {
            state = state * 1664525u + 1013904223u;
            row[x] = static_cast<std::uint8_t>((x / 3 + y + seed) / 4 + (state >> 28));
        }
    }
    return frame;
}

// The view's kernels stop at AVX2 (wider ones measured slower), whatever wider set is allowed.
const char* PathName() {
    return flipbook::ActiveInstructionSet() >= flipbook::InstructionSet::Avx2
               ? "avx2"
               : flipbook::InstructionSetName(flipbook::ActiveInstructionSet()).data();
}

// The onion skin at the weight the view starts with (50), whose mix is the byte average, or at the
// weight given (any other takes the full mix).
void ShootingView(benchmark::State& state, int weight) {
    const auto width = static_cast<int>(state.range(0));
    const auto height = static_cast<int>(state.range(1));
    const flipbook::Bitmap live = Frame(width, height, 1);
    const flipbook::Bitmap reference = Frame(width, height, 2);
    std::vector<std::uint32_t> pixels(1920 * 1080);
    const flipbook::ScreenImage screen{pixels.data(), 1920, 1080, 1920};
    flipbook::ScreenFrame frame;
    flipbook::ScreenOptions options;
    options.weight = weight;
    frame.Render(live, reference, 1, options, screen);
    for (auto _ : state) {
        frame.Render(live, reference, 1, options, screen);
        benchmark::DoNotOptimize(pixels.data());
        benchmark::ClobberMemory();
    }
    state.SetLabel(PathName());
}
void ScreenSizes(benchmark::internal::Benchmark* benchmark) {
    benchmark->ArgNames({"W", "H"})
        ->Args({1280, 720})
        ->Args({1920, 1080})
        ->Args({3840, 2160})
        ->Unit(benchmark::kMicrosecond);
}
void ShootingViewFrame(benchmark::State& state) {
    ShootingView(state, 50);
}
BENCHMARK(ShootingViewFrame)->Apply(ScreenSizes);
void ShootingViewFrameWeight37(benchmark::State& state) {
    ShootingView(state, 37);
}
BENCHMARK(ShootingViewFrameWeight37)->Args({1920, 1080})->ArgNames({"W", "H"})->Unit(benchmark::kMicrosecond);

void DifferenceView(benchmark::State& state) {
    const auto width = static_cast<int>(state.range(0));
    const auto height = static_cast<int>(state.range(1));
    const flipbook::Bitmap live = Frame(width, height, 1);
    const flipbook::Bitmap reference = Frame(width, height, 2);
    flipbook::Bitmap target;
    flipbook::Difference(live, reference, target);
    for (auto _ : state) {
        flipbook::Difference(live, reference, target);
        benchmark::DoNotOptimize(target.Pixels());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * width * height * 3);
    state.SetLabel(PathName());
}
BENCHMARK(DifferenceView)->Apply(flipbook::bench::FrameSizes);

}  // namespace
