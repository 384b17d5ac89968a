// SPDX-License-Identifier: GPL-3.0-or-later
// Loading and saving a 24-bit W x H frame as a BMP file image in memory, beside Memcpy/W/H.
#include <benchmark/benchmark.h>

#include "frame_sizes.h"

#include <cstdint>
#include <vector>

#include "codecs/bmp/bmp_file.h"

namespace {

// A frame held bottom-up, or top-down as the camera's frames are.
flipbook::Bitmap Frame(benchmark::State& state, bool topDown = false) {
    flipbook::BitmapInfoHeader header;
    header.width = static_cast<std::int32_t>(state.range(0));
    header.height = static_cast<std::int32_t>(topDown ? -state.range(1) : state.range(1));
    header.bitCount = 24;
    flipbook::Bitmap frame;
    frame.CreateSection(header, flipbook::ColorMasks{}, {});
    std::uint8_t* pixels = frame.MutablePixels();
    for (std::size_t i = 0; i < frame.PixelBytes(); ++i) pixels[i] = static_cast<std::uint8_t>(i * 31);
    return frame;
}

void BmpLoad(benchmark::State& state) {
    flipbook::MemoryStream file;
    flipbook::SaveBmpStream(Frame(state), file);
    const std::vector<std::uint8_t> bytes = file.TakeBytes();
    flipbook::Bitmap bitmap;
    for (auto _ : state) {
        flipbook::ReadOnlyMemoryStream stream(bytes.data(), bytes.size());
        flipbook::LoadBmpStream(bitmap, stream);
        benchmark::DoNotOptimize(bitmap.Pixels());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes.size()));
}
BENCHMARK(BmpLoad)->Apply(flipbook::bench::FrameSizes);

// A snapshot: the file holds the rows bottom-up, so they go out in the other order.
void BmpSave(benchmark::State& state) {
    const flipbook::Bitmap frame = Frame(state, true);
    flipbook::MemoryStream stream;
    for (auto _ : state) {
        stream.SetPosition(0);  // writes over the bytes of the last round, as into a file being emptied
        flipbook::SaveBmpStream(frame, stream);
        benchmark::DoNotOptimize(stream.Bytes().data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * stream.Bytes().size()));
}
BENCHMARK(BmpSave)->Apply(flipbook::bench::FrameSizes);

}  // namespace
