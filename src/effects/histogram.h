// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The exposure check: histograms of a live frame and the pixels it clips, measured on the streaming
// thread from every second row and column (a quarter of the pixels tells the shape as well), and the
// clipped pixels marked on a copy for the screen.
//
// Luma is Y = (77 R + 150 G + 29 B + 128) >> 8, the studio weights 0.299, 0.587 and 0.114 in 256ths
// (adding up to 256, so white stays 255), rounded to the nearest level.

#include <array>
#include <cstddef>
#include <cstdint>

#include "effects/zt_bmpfx.h"

namespace flipbook {

class Bitmap;

struct Histogram {
    // How many sampled pixels have each level, by level.
    std::array<std::uint32_t, 256> luma{};
    std::array<std::uint32_t, 256> red{};
    std::array<std::uint32_t, 256> green{};
    std::array<std::uint32_t, 256> blue{};
    // Sampled pixels with some channel at 255, and those with all three at 0.
    std::uint32_t clippedHigh = 0;
    std::uint32_t clippedLow = 0;
    // Pixels sampled: ceil(width / 2) x ceil(height / 2).
    std::uint32_t sampled = 0;

    std::uint32_t Clipped() const { return clippedHigh + clippedLow; }
};

// The luma of a pixel, as the header comment defines it.
constexpr std::uint8_t Luma(std::uint8_t red, std::uint8_t green, std::uint8_t blue) {
    return static_cast<std::uint8_t>((77 * red + 150 * green + 29 * blue + 128) >> 8);
}

// The histograms of a 24-bit frame from its pixels (x, y) with x and y even, counted from the top left.
Histogram MeasureHistogram(const FrameRows& frame);

// Whether a pixel counts as clipped: a channel at 255 (blown out) or all at 0 (crushed).
enum class Clipping { None, High, Low };
constexpr Clipping ClippingOf(std::uint8_t blue, std::uint8_t green, std::uint8_t red) {
    if (blue == 255 || green == 255 || red == 255) return Clipping::High;
    if ((blue | green | red) == 0) return Clipping::Low;
    return Clipping::None;
}

// The marks, in diagonal stripes four pixels wide that run down to the left: on the stripes where
// (x + y) / 4 is even a blown-out pixel shows red and a crushed one blue; on the others, black and white.
// Each contrasts with the clipped picture below and moves with nothing but the pixel's place.
constexpr std::uint32_t kBlownOutMark = 0xFFFF0000u;     // red, as the screen's 32-bit pixels
constexpr std::uint32_t kBlownOutBetween = 0xFF000000u;  // black
constexpr std::uint32_t kCrushedMark = 0xFF0000FFu;      // blue
constexpr std::uint32_t kCrushedBetween = 0xFFFFFFFFu;   // white
constexpr std::uint32_t ClippingMark(Clipping clipping, int x, int y) {
    const bool onStripe = ((x + y) / 4) % 2 == 0;
    if (clipping == Clipping::High) return onStripe ? kBlownOutMark : kBlownOutBetween;
    return onStripe ? kCrushedMark : kCrushedBetween;
}

// Marks the clipped pixels of `frame` on `display`, a 24-bit copy of it of the same size for the screen
// (the saved picture is never marked): each clipped pixel becomes its mark, every other pixel stays.
// Raises Exception when the display is not 24-bit or not of the frame's size.
void MarkClippedPixels(const FrameRows& frame, Bitmap& display);

// The same for one row of screen pixels: shown[x] is pixel x of the 24-bit row `source` (or, mirrored,
// shown[pixels - 1 - x] is), and y the row's place on the screen.
void MarkClippedRow(const std::uint8_t* source, std::uint32_t* shown, std::size_t pixels, int y,
                    bool mirrored);

}  // namespace flipbook
