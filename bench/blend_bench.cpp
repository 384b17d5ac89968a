// SPDX-License-Identifier: GPL-3.0-or-later
// The onion-skin blend of two W x H 24-bit frames, beside Memcpy/W/H.
#include <benchmark/benchmark.h>

#include "frame_sizes.h"

#include <cstdint>
#include <string>

#include "effects/instruction_sets.h"
#include "effects/zt_bmpfx.h"
#include "platform/graphics/bitmap.h"

namespace {

// A frame whose byte x of row y is byteOf(x, y, r), with a new pseudo-random 32-bit r for each byte.
template <typename ByteOf>
flipbook::Bitmap Generated(int width, int height, std::uint32_t seed, ByteOf byteOf) {
    flipbook::Bitmap frame;
    frame.SetSize(width, height);
    std::uint32_t state = seed;
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = frame.ScanLine(y);
        for (int x = 0; x < 3 * width; ++x) {
            state = state * 1664525u + 1013904223u;
            row[x] = static_cast<std::uint8_t>(byteOf(x, y, state));
        }
    }
    return frame;
}

// A camera-like frame: smooth gradients with a little noise, different for each seed.
flipbook::Bitmap Frame(int width, int height, std::uint32_t seed) {
    return Generated(width, height, seed,
                     [seed](int x, int y, std::uint32_t r) { return (x / 3 + y + seed) / 4 + (r >> 28); });
}

// A frame of noise over the whole byte range, as unlike any other frame as can be.
flipbook::Bitmap Noise(int width, int height, std::uint32_t seed) {
    return Generated(width, height, seed, [](int, int, std::uint32_t r) { return r >> 24; });
}

void BlendFrames(benchmark::State& state, flipbook::Bitmap live, flipbook::Bitmap reference,
                 long double weight) {
    const int width = live.Width();
    const int height = live.Height();
    flipbook::Bitmap display;
    flipbook::Blend(live, reference, display, weight);
    for (auto _ : state) {
        flipbook::Blend(live, reference, display, weight);
        benchmark::DoNotOptimize(display.Pixels());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * width * height * 3);
    state.SetLabel(std::string(flipbook::InstructionSetName(flipbook::ActiveInstructionSet())));
}

// Slider position 37: a weight that is no binary fraction, so exact halfway cases need the tie table.
void Blend(benchmark::State& state) {
    const auto width = static_cast<int>(state.range(0));
    const auto height = static_cast<int>(state.range(1));
    BlendFrames(state, Frame(width, height, 1), Frame(width, height, 2), 0.37L);
}
BENCHMARK(Blend)->Apply(flipbook::bench::FrameSizes);

// One 1920 x 1080 frame at slider position K: 50 (the start) and 25 are binary fractions, 20 meets no
// halfway cases at all, and 2, 15 and 10 meet more and more of them on camera-like frames.
void BlendSlider(benchmark::State& state) {
    BlendFrames(state, Frame(1920, 1080, 1), Frame(1920, 1080, 2),
                static_cast<long double>(state.range(0)) / 100);
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
    BlendFrames(state, Frame(1920, 1080, 1), Frame(1920, 1080, 2), 0.333L);
}
BENCHMARK(BlendOffSlider)->Unit(benchmark::kMicrosecond);

// Two unrelated frames of noise at slider position K: the bytes of a pair differ by anything, which is the
// hardest case for the halfway cases, though not one a camera gives.
void BlendUnrelated(benchmark::State& state) {
    BlendFrames(state, Noise(1920, 1080, 1), Noise(1920, 1080, 2),
                static_cast<long double>(state.range(0)) / 100);
}
BENCHMARK(BlendUnrelated)->ArgName("K")->Arg(37)->Arg(10)->Unit(benchmark::kMicrosecond);

}  // namespace
