// SPDX-License-Identifier: GPL-3.0-or-later
// What the live view's paint costs the window's thread before Qt draws: the display bitmap (a camera
// frame) shrunk to the 400 x 300 box by the area filter, beside Memcpy/W/H (one frame copy).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "effects/area_stretch.h"
#include "platform/graphics/bitmap.h"

namespace {

void DisplayStretch(benchmark::State& state) {
    flipbook::Bitmap frame;
    frame.SetSize(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    for (int y = 0; y < frame.Height(); ++y)
        for (int x = 0; x < 3 * frame.Width(); ++x)
            frame.ScanLine(y)[x] = static_cast<std::uint8_t>(x * 7 + y);
    std::vector<std::uint8_t> box(400 * 3 * 300);
    for (auto _ : state) {
        flipbook::StretchArea(frame, box.data(), 400 * 3, 400, 300);
        benchmark::DoNotOptimize(box.data());
        benchmark::ClobberMemory();
    }
}
BENCHMARK(DisplayStretch)
    ->ArgNames({"W", "H"})
    ->Args({1920, 1080})
    ->Args({3840, 2160})
    ->Unit(benchmark::kMicrosecond);

}  // namespace
