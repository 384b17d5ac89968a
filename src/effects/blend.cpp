// SPDX-License-Identifier: GPL-3.0-or-later
#include <cmath>
#include <utility>

#include "effects/band_worker.h"
#include "effects/blend_kernel.h"
#include "effects/zt_bmpfx.h"
#include "platform/graphics/bitmap.h"

namespace flipbook {

namespace {

// Frames from 1920 x 1080 up: five of them (the decoder's, the reference, the display) outgrow the
// cache of most processors.
constexpr std::size_t kStreamedFrameBytes = std::size_t{4} << 20;

// Makes the target a 24-bit bitmap of the given size, keeping its top-left part.
void PrepareTarget(int width, int height, Bitmap& target) {
    target.SetPixelFormat(PixelFormat::Bit24);
    target.SetWidth(width);
    target.SetHeight(height);
}

// Rows [begin, end) of the blend's row loop once the three pictures agree in size and format, counted in
// the loop's order: firstRow(y) gives row y of the first source, counted from the top.
template <class FirstRow>
void MixBand(const effects_detail::Mixer& mixer, FirstRow firstRow, bool topToBottom, int begin, int end,
             int width, int height, const Bitmap& second, const Bitmap& target, std::uint8_t* targetPixels,
             const BlendProgress& progress, effects_detail::TargetWrite write) {
    const std::size_t rowBytes = static_cast<std::size_t>(width) * 3;
    for (int step = begin; step < end; ++step) {
        const int y = topToBottom ? step : height - 1 - step;
        if (progress)
            progress(0, 100, static_cast<int>(std::nearbyintl(static_cast<long double>(y) / height * 100)));
        const int memoryRow = target.TopDown() ? y : height - 1 - y;
        std::uint8_t* targetRow = targetPixels + static_cast<std::size_t>(memoryRow) * target.RowStride();
        mixer.MixRow(firstRow(y), second.ScanLine(y), targetRow, rowBytes, write);
    }
}

// The blend's row loop, in two bands at once on a band worker when one is given.
template <class FirstRow>
void MixRows(const effects_detail::Mixer& mixer, FirstRow firstRow, bool firstTopDown, int width, int height,
             const Bitmap& second, Bitmap& target, const BlendProgress& progress,
             effects_detail::TargetWrite write = effects_detail::TargetWrite::Cached,
             BandWorker* bands = nullptr) {
    if (width == 0 || height == 0) return;
    // One change notice for the whole target rather than one per row.
    std::uint8_t* targetPixels = target.MutablePixels();
    // Rows go top to bottom when someone watches the progress; otherwise in the order most of the three
    // memories hold them, since walking memory backwards costs twice the time.
    const int topDownCount = int{firstTopDown} + int{second.TopDown()} + int{target.TopDown()};
    const bool topToBottom = progress || topDownCount >= 2;
    if (bands && !progress) {
        bands->Split(height, [&](int begin, int end) {
            MixBand(mixer, firstRow, topToBottom, begin, end, width, height, second, target, targetPixels, {},
                    write);
        });
        return;
    }
    MixBand(mixer, firstRow, topToBottom, 0, height, width, height, second, target, targetPixels, progress,
            write);
}

}  // namespace

void Prepare(Bitmap& source, Bitmap& target) {
    if (source.GetPixelFormat() != PixelFormat::Bit24) source.SetPixelFormat(PixelFormat::Bit24);
    PrepareTarget(source.Width(), source.Height(), target);
}

void Blend(Bitmap& first, Bitmap& second, Bitmap& target, long double weight, const BlendProgress& progress) {
    // The weight is checked first, so a bad one changes none of the Bitmaps.
    const auto mixer = effects_detail::Mixer::For(weight);
    Prepare(first, second);
    Prepare(first, target);
    const Bitmap& source = first;
    MixRows(
        mixer, [&](int y) { return source.ScanLine(y); }, first.TopDown(), first.Width(), first.Height(),
        second, target, progress);
}

void Blend(const FrameRows& first, Bitmap& second, Bitmap& target, long double weight, BandWorker* bands) {
    const auto mixer = effects_detail::Mixer::For(weight);
    PrepareTarget(first.width, first.height, second);
    PrepareTarget(first.width, first.height, target);
    // A camera frame's target is read a paint later, on another thread; a large one has left the cache
    // by then, among the decoder's frames, so writing it past the cache spares reading it in first.
    const auto write = target.PixelBytes() >= kStreamedFrameBytes ? effects_detail::TargetWrite::Streamed
                                                                  : effects_detail::TargetWrite::Cached;
    MixRows(
        mixer,
        [&](int y) {
            const int memoryRow = first.topDown ? y : first.height - 1 - y;
            return first.pixels + static_cast<std::size_t>(memoryRow) * first.rowStride;
        },
        first.topDown, first.width, first.height, second, target, {}, write,
        bands && target.PixelBytes() >= kStreamedFrameBytes && mixer.Costly() ? bands : nullptr);
}

}  // namespace flipbook
