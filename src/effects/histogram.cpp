// SPDX-License-Identifier: GPL-3.0-or-later
#include "effects/histogram.h"

#include <string>

#include "platform/core/exception.h"
#include "platform/graphics/bitmap.h"

namespace flipbook {

namespace {

// Neighbouring pixels of a camera frame mostly share their levels, and an increment of a counter
// waits for the one before it of the same counter; pixels taken in turn by four sets of counters,
// added up at the end, seldom wait.
struct Counters {
    std::array<std::array<std::uint32_t, 256>, 4> luma{}, red{}, green{}, blue{};
    std::uint32_t high = 0;
    std::uint32_t low = 0;

    void Count(const std::uint8_t* pixel, std::size_t set) {
        const std::uint8_t b = pixel[0];
        const std::uint8_t g = pixel[1];
        const std::uint8_t r = pixel[2];
        ++blue[set][b];
        ++green[set][g];
        ++red[set][r];
        ++luma[set][Luma(r, g, b)];
        high += (b == 255) | (g == 255) | (r == 255);
        low += (b | g | r) == 0;
    }
};

}  // namespace

Histogram MeasureHistogram(const FrameRows& frame) {
    Histogram histogram;
    if (frame.width <= 0 || frame.height <= 0) return histogram;
    Counters counters;
    const auto columns = static_cast<std::size_t>(frame.width + 1) / 2;
    for (int y = 0; y < frame.height; y += 2) {
        const int memoryRow = frame.topDown ? y : frame.height - 1 - y;
        const std::uint8_t* row = frame.pixels + static_cast<std::size_t>(memoryRow) * frame.rowStride;
        std::size_t column = 0;
        for (; column + 4 <= columns; column += 4)
            for (std::size_t set = 0; set < 4; ++set) counters.Count(row + 6 * (column + set), set);
        for (; column < columns; ++column) counters.Count(row + 6 * column, 0);
    }
    for (std::size_t level = 0; level < 256; ++level) {
        for (std::size_t set = 0; set < 4; ++set) {
            histogram.luma[level] += counters.luma[set][level];
            histogram.red[level] += counters.red[set][level];
            histogram.green[level] += counters.green[set][level];
            histogram.blue[level] += counters.blue[set][level];
        }
    }
    histogram.clippedHigh = counters.high;
    histogram.clippedLow = counters.low;
    const auto rows = (static_cast<std::size_t>(frame.height) + 1) / 2;
    histogram.sampled = static_cast<std::uint32_t>(columns * rows);
    return histogram;
}

void MarkClippedPixels(const FrameRows& frame, Bitmap& display) {
    if (display.BitsPerPixel() != 24 || display.Width() != frame.width || display.Height() != frame.height)
        throw Exception("Clipped pixels are marked on a 24-bit copy of the frame's size");
    // A display without a clipped pixel is not written, and so not counted as changed.
    std::uint8_t* displayPixels = nullptr;
    for (int y = 0; y < frame.height; ++y) {
        const int memoryRow = frame.topDown ? y : frame.height - 1 - y;
        const std::uint8_t* row = frame.pixels + static_cast<std::size_t>(memoryRow) * frame.rowStride;
        for (int x = 0; x < frame.width; ++x) {
            const std::uint8_t* pixel = row + 3 * x;
            const Clipping clipping = ClippingOf(pixel[0], pixel[1], pixel[2]);
            if (clipping == Clipping::None) continue;
            if (displayPixels == nullptr) displayPixels = display.MutablePixels();
            std::uint8_t* shown =
                displayPixels +
                static_cast<std::size_t>(display.TopDown() ? y : frame.height - 1 - y) * display.RowStride();
            const std::uint32_t mark = ClippingMark(clipping, x, y);
            shown[3 * x] = static_cast<std::uint8_t>(mark);
            shown[3 * x + 1] = static_cast<std::uint8_t>(mark >> 8);
            shown[3 * x + 2] = static_cast<std::uint8_t>(mark >> 16);
        }
    }
}

void MarkClippedRow(const std::uint8_t* source, std::uint32_t* shown, std::size_t pixels, int y,
                    bool mirrored) {
    for (std::size_t x = 0; x < pixels; ++x) {
        const std::uint8_t* pixel = source + 3 * x;
        const Clipping clipping = ClippingOf(pixel[0], pixel[1], pixel[2]);
        if (clipping == Clipping::None) continue;
        const std::size_t at = mirrored ? pixels - 1 - x : x;
        shown[at] = ClippingMark(clipping, static_cast<int>(at), y);
    }
}

}  // namespace flipbook
