// The full-screen shooting view: one camera frame of W x H turned into the 1920 x 1080 screen image
// the view paints (onion skin on at the starting weight, the reference already scaled), and the
// difference view of two W x H frames; both beside Memcpy/W/H.
#include <benchmark/benchmark.h>

#include "frame_sizes.h"

#include <cstdint>
#include <vector>

#include "effects/difference.h"
#include "effects/screen_frame.h"
#include "effects/view_rows.h"
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

const char* PathName() {
    using namespace flipbook::effects_detail;
    return &ViewRows() == &Avx2ViewRows() ? "avx2" : "portable";
}

// Makes the kernels of an instruction set (or the widest below it) run while it lives.
class InstructionSetFor {
public:
    explicit InstructionSetFor(flipbook::effects_detail::InstructionSet set) {
        flipbook::effects_detail::UseViewInstructionSet(set);
    }
    ~InstructionSetFor() {
        flipbook::effects_detail::UseViewInstructionSet(flipbook::effects_detail::InstructionSet::Avx512);
    }
};

using flipbook::effects_detail::InstructionSet;

void ScreenFrameOn(benchmark::State& state, InstructionSet set) {
    const InstructionSetFor path(set);
    const auto width = static_cast<int>(state.range(0));
    const auto height = static_cast<int>(state.range(1));
    const flipbook::Bitmap live = Frame(width, height, 1);
    const flipbook::Bitmap reference = Frame(width, height, 2);
    std::vector<std::uint32_t> pixels(1920 * 1080);
    const flipbook::ScreenImage screen{pixels.data(), 1920, 1080, 1920};
    flipbook::ScreenFrame frame;
    flipbook::ScreenOptions options;
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
// On the widest instruction set, and on AVX2, which most processors have without AVX-512.
void ShootingViewFrame(benchmark::State& state) {
    ScreenFrameOn(state, InstructionSet::Avx512);
}
void ShootingViewFrameAvx2(benchmark::State& state) {
    ScreenFrameOn(state, InstructionSet::Avx2);
}
BENCHMARK(ShootingViewFrame)->Apply(ScreenSizes);
BENCHMARK(ShootingViewFrameAvx2)->Apply(ScreenSizes);

void DifferenceOn(benchmark::State& state, InstructionSet set) {
    const InstructionSetFor path(set);
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
void DifferenceView(benchmark::State& state) {
    DifferenceOn(state, InstructionSet::Avx512);
}
void DifferenceViewAvx2(benchmark::State& state) {
    DifferenceOn(state, InstructionSet::Avx2);
}
BENCHMARK(DifferenceView)->Apply(flipbook::bench::FrameSizes);
BENCHMARK(DifferenceViewAvx2)->Apply(flipbook::bench::FrameSizes);

}  // namespace
