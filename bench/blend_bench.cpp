// The onion-skin blend of two W x H 24-bit frames, beside Memcpy/W/H.
#include <benchmark/benchmark.h>

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

void BlendAt(benchmark::State& state, long double weight) {
    const auto width = static_cast<int>(state.range(0));
    const auto height = static_cast<int>(state.range(1));
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

// The slider's starting position, 50.
void Blend(benchmark::State& state) { BlendAt(state, 0.5L); }
// A position whose halfway cases need the extended-precision answers (slider position 10).
void BlendTenth(benchmark::State& state) { BlendAt(state, 0.1L); }
// A weight that is no slider position, answered from a full table.
void BlendOffSlider(benchmark::State& state) { BlendAt(state, 0.333L); }

BENCHMARK(Blend)->ArgNames({"W", "H"})->Args({640, 480})->Args({1280, 720})->Args({1920, 1080})
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BlendTenth)->ArgNames({"W", "H"})->Args({1920, 1080})->Unit(benchmark::kMicrosecond);
BENCHMARK(BlendOffSlider)->ArgNames({"W", "H"})->Args({1920, 1080})->Unit(benchmark::kMicrosecond);

}  // namespace
