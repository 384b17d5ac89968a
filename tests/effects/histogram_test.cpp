// SPDX-License-Identifier: GPL-3.0-or-later
// The exposure check on small frames made here: which pixels are sampled, what each histogram and the
// clipped counts hold, the luma of pure colours, and the marks on a display copy.

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <vector>

#include "effects/histogram.h"
#include "instruction_set_param.h"
#include "platform/core/exception.h"
#include "platform/graphics/bitmap.h"

namespace flipbook {
namespace {

TEST(Histogram, Luma_OfGreysAndPureColours) {
    EXPECT_EQ(Luma(255, 255, 255), 255);
    EXPECT_EQ(Luma(0, 0, 0), 0);
    EXPECT_EQ(Luma(128, 128, 128), 128);
    EXPECT_EQ(Luma(255, 0, 0), 77);   // 19635 / 256 = 76.7
    EXPECT_EQ(Luma(0, 255, 0), 149);  // 38250 / 256 = 149.4
    EXPECT_EQ(Luma(0, 0, 255), 29);   // 7395 / 256 = 28.9
    EXPECT_EQ(Luma(30, 20, 10), 22);  // (2310 + 3000 + 290) / 256 = 21.9
}

// A 5 x 4 frame, rows padded to 16 bytes, whose pixels (x, y) with x and y even are given, blue first;
// every other pixel is white, which would count as blown out if it were sampled.
std::vector<std::uint8_t> SampledFrame(bool topDown) {
    const std::array<std::array<int, 3>, 6> sampled = {{
        {10, 20, 30},
        {255, 255, 255},
        {0, 0, 0},  // row 0: x = 0, 2, 4
        {0, 0, 255},
        {0, 255, 0},
        {255, 0, 0},  // row 2
    }};
    std::vector<std::uint8_t> bytes(16 * 4, 255);
    for (std::size_t i = 0; i < sampled.size(); ++i) {
        const std::size_t y = i < 3 ? 0 : 2;
        const std::size_t memoryRow = topDown ? y : 3 - y;
        for (std::size_t channel = 0; channel < 3; ++channel)
            bytes[memoryRow * 16 + 6 * (i % 3) + channel] = static_cast<std::uint8_t>(sampled[i][channel]);
    }
    return bytes;
}

TEST(Histogram, EverySecondRowAndColumn_CountedByLevel_WithClippedPixels) {
    for (const bool topDown : {true, false}) {
        const std::vector<std::uint8_t> bytes = SampledFrame(topDown);
        const Histogram histogram = MeasureHistogram({bytes.data(), 5, 4, 16, topDown});
        SCOPED_TRACE(topDown ? "top-down" : "bottom-up");
        EXPECT_EQ(histogram.sampled, 6u);
        EXPECT_EQ(histogram.clippedHigh, 4u);
        EXPECT_EQ(histogram.clippedLow, 1u);
        EXPECT_EQ(histogram.Clipped(), 5u);
        const auto expectLevels = [](const std::array<std::uint32_t, 256>& counts,
                                     const std::vector<std::pair<int, std::uint32_t>>& levels) {
            std::array<std::uint32_t, 256> expected{};
            for (const auto& [level, count] : levels) expected[static_cast<std::size_t>(level)] = count;
            EXPECT_EQ(counts, expected);
        };
        expectLevels(histogram.blue, {{10, 1}, {255, 2}, {0, 3}});
        expectLevels(histogram.green, {{20, 1}, {255, 2}, {0, 3}});
        expectLevels(histogram.red, {{30, 1}, {255, 2}, {0, 3}});
        expectLevels(histogram.luma, {{22, 1}, {255, 1}, {0, 1}, {77, 1}, {149, 1}, {29, 1}});
    }
    // A frame of one pixel is sampled; an empty one has nothing.
    const std::uint8_t pixel[4] = {1, 2, 3, 0};
    EXPECT_EQ(MeasureHistogram({pixel, 1, 1, 4, true}).blue[1], 1u);
    EXPECT_EQ(MeasureHistogram({pixel, 0, 0, 4, true}).sampled, 0u);
}

// The marks on a display copy: stripes by (x + y) / 4, blown-out pixels red or black, crushed ones
// blue or white, others untouched; the frame itself stays as it was.
TEST(Histogram, ClippedPixels_MarkedOnTheDisplayCopyOnly) {
    constexpr int kWidth = 8;
    std::vector<std::uint8_t> bytes(24 * 2, 100);
    const auto set = [&](int x, int y, std::array<std::uint8_t, 3> colour) {
        std::copy(colour.begin(), colour.end(), bytes.begin() + 24 * y + 3 * x);
    };
    set(1, 0, {0, 0, 255});  // red at 255: blown out, on a stripe
    set(5, 0, {255, 9, 9});  // off a stripe
    set(3, 0, {1, 1, 1});    // nearly black is not clipped
    set(2, 1, {0, 0, 0});    // crushed, on a stripe
    set(6, 1, {0, 0, 0});    // off a stripe
    const std::vector<std::uint8_t> frameBefore = bytes;
    const FrameRows frame{bytes.data(), kWidth, 2, 24, true};
    Bitmap display;
    display.SetSize(kWidth, 2);
    for (int y = 0; y < 2; ++y) std::fill_n(display.ScanLine(y), 3 * kWidth, std::uint8_t{100});
    MarkClippedPixels(frame, display);
    const auto shown = [&](int x, int y) {
        const std::uint8_t* pixel = display.ScanLine(y) + 3 * x;
        return std::array<int, 3>{pixel[0], pixel[1], pixel[2]};
    };
    EXPECT_EQ(shown(1, 0), (std::array<int, 3>{0, 0, 255}));      // red
    EXPECT_EQ(shown(5, 0), (std::array<int, 3>{0, 0, 0}));        // black
    EXPECT_EQ(shown(2, 1), (std::array<int, 3>{255, 0, 0}));      // blue
    EXPECT_EQ(shown(6, 1), (std::array<int, 3>{255, 255, 255}));  // white
    EXPECT_EQ(shown(3, 0), (std::array<int, 3>{100, 100, 100}));
    EXPECT_EQ(shown(0, 0), (std::array<int, 3>{100, 100, 100}));
    EXPECT_EQ(bytes, frameBefore);

    Bitmap smaller;
    smaller.SetSize(kWidth - 1, 2);
    EXPECT_THROW(MarkClippedPixels(frame, smaller), Exception);

    // A screen row, mirrored: source pixel 1 is shown at 6, where (6 + 0) / 4 is odd.
    std::vector<std::uint32_t> row(kWidth, 0xFF646464u);
    MarkClippedRow(bytes.data(), row.data(), kWidth, 0, true);
    EXPECT_EQ(row[6], kBlownOutBetween);
    EXPECT_EQ(row[2], kBlownOutMark);  // source pixel 5: (2 + 0) / 4 is even
    EXPECT_EQ(row[1], 0xFF646464u);
}

// Frames wide enough for the vector path's blocks of sixteen sampled pixels and a tail, each sampled
// pixel's bytes from a generator with many levels at 0 and 255 (and pixels wholly black), counted
// against the definition pixel by pixel.
class HistogramPaths : public InstructionSetParam {};

TEST_P(HistogramPaths, EveryPath_CountsEachSampledPixelByItsDefinition) {
    for (const int width : {31, 32, 64, 77, 100}) {
        constexpr int kHeight = 5;
        const std::size_t stride = 3 * static_cast<std::size_t>(width) + 5;
        std::vector<std::uint8_t> bytes(stride * kHeight);
        std::uint32_t state = static_cast<std::uint32_t>(width);
        for (std::uint8_t& byte : bytes) {
            state = state * 1664525u + 1013904223u;
            const std::uint32_t pick = state >> 24;
            byte = pick < 40 ? 0 : pick < 80 ? 255 : static_cast<std::uint8_t>(state >> 8);
        }
        bytes[0] = bytes[1] = bytes[2] = 0;
        Histogram expected;
        for (int y = 0; y < kHeight; y += 2) {
            for (int x = 0; x < width; x += 2) {
                const std::uint8_t* pixel = bytes.data() + static_cast<std::size_t>(y) * stride + 3 * x;
                ++expected.blue[pixel[0]];
                ++expected.green[pixel[1]];
                ++expected.red[pixel[2]];
                ++expected.luma[Luma(pixel[2], pixel[1], pixel[0])];
                const Clipping clipping = ClippingOf(pixel[0], pixel[1], pixel[2]);
                expected.clippedHigh += clipping == Clipping::High;
                expected.clippedLow += clipping == Clipping::Low;
                ++expected.sampled;
            }
        }
        SCOPED_TRACE(width);
        const Histogram histogram = MeasureHistogram({bytes.data(), width, kHeight, stride, true});
        EXPECT_EQ(histogram.blue, expected.blue);
        EXPECT_EQ(histogram.green, expected.green);
        EXPECT_EQ(histogram.red, expected.red);
        EXPECT_EQ(histogram.luma, expected.luma);
        EXPECT_EQ(histogram.clippedHigh, expected.clippedHigh);
        EXPECT_EQ(histogram.clippedLow, expected.clippedLow);
        EXPECT_EQ(histogram.sampled, expected.sampled);
        EXPECT_GT(expected.clippedLow, 0u);
    }
}

INSTANTIATE_TEST_SUITE_P(Paths, HistogramPaths,
                         ::testing::Values(InstructionSet::Portable, InstructionSet::Avx2));

}  // namespace
}  // namespace flipbook
