// The onion-skin blend of two W x H 24-bit frames, beside Memcpy/W/H.
#include <benchmark/benchmark.h>

#include "frame_sizes.h"

#include <cstdint>

#include "effects/zt_bmpfx.h"
#include "platform/graphics/bitmap.h"

namespace {

// A camera-like frame: smooth gradients with a little noise, different for each seed.
flipbook::Bitmap Frame(int width, int height, std::uint32_t seed) {
    flipbook::Bitmap frame;
    frame.SetSize(width, height);
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

void BlendFrames(benchmark::State& state, int width, int height, long double weight) {
    flipbook::Bitmap live = Frame(width, height, 1);
    flipbook::Bitmap reference = Frame(width, height, 2);
    flipbook::Bitmap display;
    flipbook::Blend(live, reference, display, weight);
    for (auto _ : state) {
        flipbook::Blend(live, reference, display, weight);
        benchmark::DoNotOptimize(display.Pixels());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * width * height * 3);
}

// Slider position 37: a weight that is no binary fraction, so exact halfway cases need the tie table.
void Blend(benchmark::State& state) {
    BlendFrames(state, static_cast<int>(state.range(0)), static_cast<int>(state.range(1)), 0.37L);
}
BENCHMARK(Blend)->Apply(flipbook::bench::FrameSizes);

// One 1920 x 1080 frame at slider position K: 50 (the start) and 25 are binary fractions, 20 meets no
// halfway cases at all, and 2, 15 and 10 meet more and more of them on camera-like frames.
void BlendSlider(benchmark::State& state) {
    BlendFrames(state, 1920, 1080, static_cast<long double>(state.range(0)) / 100);
}
BENCHMARK(BlendSlider)
    ->ArgName("K")
    ->Arg(50)
    ->Arg(25)
    ->Arg(20)
    ->Arg(2)
    ->Arg(15)
    ->Arg(10)
    ->Unit(benchmark::kMicrosecond);

// A weight that is no slider position, answered from a full table of the weight.
void BlendOffSlider(benchmark::State& state) {
    BlendFrames(state, 1920, 1080, 0.333L);
}
BENCHMARK(BlendOffSlider)->Unit(benchmark::kMicrosecond);

}  // namespace
