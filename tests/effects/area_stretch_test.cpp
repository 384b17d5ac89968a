// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "effects/area_stretch.h"
#include "effects/instruction_sets.h"
#include "instruction_set_param.h"
#include "platform/graphics/bitmap.h"

namespace flipbook {
namespace {

// A 24-bit picture whose pixel (x, y) is colorOf(x, y) = {blue, green, red}.
template <typename ColorOf>
Bitmap Picture(int width, int height, ColorOf colorOf) {
    Bitmap bitmap;
    bitmap.SetSize(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const std::vector<int> color = colorOf(x, y);
            for (int channel = 0; channel < 3; ++channel)
                bitmap.ScanLine(y)[3 * x + channel] = static_cast<std::uint8_t>(color[channel]);
        }
    return bitmap;
}

std::vector<std::uint8_t> Stretched(const Bitmap& source, int width, int height, std::size_t stride) {
    std::vector<std::uint8_t> target(stride * static_cast<std::size_t>(height), 0xEE);
    EXPECT_TRUE(StretchArea(source, target.data(), stride, width, height));
    return target;
}

// Uneven spans: 5 columns into 2 take 2 and 3, 3 rows into 2 take 1 and 2; each target pixel is the
// rounded mean of exactly its own source pixels, per channel, and the row padding stays untouched.
TEST(AreaStretch, EachPixelIsTheRoundedMeanOfItsArea) {
    const Bitmap source = Picture(5, 3, [](int x, int y) {
        return std::vector<int>{10 * x + y, 200 - 7 * x * y, x == 4 ? 255 : 0};
    });
    const std::vector<std::uint8_t> target = Stretched(source, 2, 2, 8);
    auto mean = [](std::vector<int> values) {
        int sum = 0;
        for (int value : values) sum += value;
        return static_cast<std::uint8_t>((2 * sum + static_cast<int>(values.size())) /
                                         (2 * static_cast<int>(values.size())));
    };
    EXPECT_EQ(target[0], mean({0, 10}));                                 // blue of (0,0): x 0-1, y 0
    EXPECT_EQ(target[3 + 1], mean({200, 200, 200}));                     // green of (1,0): x 2-4, y 0
    EXPECT_EQ(target[8 + 0], mean({1, 11, 2, 12}));                      // blue of (0,1): x 0-1, y 1-2
    EXPECT_EQ(target[8 + 3 + 1], mean({186, 179, 172, 172, 158, 144}));  // green of (1,1)
    EXPECT_EQ(target[8 + 3 + 2], mean({0, 0, 255, 0, 0, 255}));          // red of (1,1)
    EXPECT_EQ(target[6], 0xEE);
    EXPECT_EQ(target[7], 0xEE);
}

// Along a direction where the target is larger, each target pixel repeats the source pixel under it;
// a 4K frame shrunk to the live view's box keeps a flat colour exactly.
TEST(AreaStretch, EnlargingRepeatsPixels_AndAFlatColourStaysExact) {
    const Bitmap small = Picture(2, 1, [](int x, int) { return std::vector<int>{x * 100, 1, 2}; });
    const std::vector<std::uint8_t> wide = Stretched(small, 4, 2, 12);
    for (int row = 0; row < 2; ++row)
        for (int x = 0; x < 4; ++x) EXPECT_EQ(wide[12 * row + 3 * x], x < 2 ? 0 : 100);

    const Bitmap flat = Picture(3840, 2160, [](int, int) { return std::vector<int>{12, 34, 250}; });
    const std::vector<std::uint8_t> box = Stretched(flat, 400, 300, 1200);
    for (std::size_t i = 0; i < box.size(); i += 3) {
        ASSERT_EQ(box[i], 12);
        ASSERT_EQ(box[i + 1], 34);
        ASSERT_EQ(box[i + 2], 250);
    }
}

TEST(AreaStretch, WritesNothingForAnEmptyOrNon24BitSource) {
    Bitmap empty;
    Bitmap deep;
    deep.SetPixelFormat(PixelFormat::Bit32);
    deep.SetSize(4, 4);
    std::uint8_t target[12] = {};
    EXPECT_FALSE(StretchArea(empty, target, 6, 2, 2));
    EXPECT_FALSE(StretchArea(deep, target, 6, 2, 2));
}

// The filter written out plainly, pixel by pixel: each target pixel's span along a direction runs from
// i * source / target to the next one's start, and holds at least one pixel; its mean is the sum times
// a 24-bit fixed-point reciprocal of the pixel count, rounded.
std::vector<std::uint8_t> Reference(const Bitmap& source, int width, int height, std::size_t stride) {
    std::vector<std::uint8_t> target(stride * static_cast<std::size_t>(height), 0xEE);
    const auto span = [](int i, int sourceLength, int targetLength) {
        const auto start = [&](int at) {
            return static_cast<int>(static_cast<std::int64_t>(at) * sourceLength / targetLength);
        };
        return std::pair{start(i), std::max(start(i) + 1, start(i + 1))};
    };
    for (int y = 0; y < height; ++y) {
        const auto [top, bottom] = span(y, source.Height(), height);
        for (int x = 0; x < width; ++x) {
            const auto [left, right] = span(x, source.Width(), width);
            const std::uint64_t count = static_cast<std::uint64_t>(right - left) * (bottom - top);
            const std::uint64_t reciprocal = ((std::uint64_t{1} << 24) + count / 2) / count;
            for (int channel = 0; channel < 3; ++channel) {
                std::uint64_t sum = 0;
                for (int row = top; row < bottom; ++row)
                    for (int column = left; column < right; ++column)
                        sum += source.ScanLine(row)[3 * column + channel];
                target[stride * static_cast<std::size_t>(y) + 3 * static_cast<std::size_t>(x) + channel] =
                    static_cast<std::uint8_t>(
                        std::min<std::uint64_t>((sum * reciprocal + (1u << 23)) >> 24, 255));
            }
        }
    }
    return target;
}

Bitmap Noise(int width, int height, unsigned seed) {
    std::mt19937 random(seed);
    return Picture(width, height, [&](int, int) {
        return std::vector<int>{static_cast<int>(random() % 256), static_cast<int>(random() % 256),
                                static_cast<int>(random() % 256)};
    });
}

class AreaStretchPaths : public InstructionSetParam {};

// Every pairing of small widths, shrunk and enlarged, with odd row lengths and padded target rows,
// then the same for heights; a picture of all 255s and the sizes the live view meets (its box shrinking
// a 720p, 1080p and 4K frame, and an odd window size), and an area of more pixels than the vector sums
// hold. Each against the plain filter above, byte for byte, padding included.
TEST_P(AreaStretchPaths, GivesThePlainFiltersBytes) {
    const auto check = [](const Bitmap& source, int width, int height) {
        const std::size_t stride = static_cast<std::size_t>(width) * 3 + 5;
        ASSERT_EQ(Stretched(source, width, height, stride), Reference(source, width, height, stride))
            << source.Width() << "x" << source.Height() << " into " << width << "x" << height;
    };
    for (int sourceWidth = 1; sourceWidth <= 40; ++sourceWidth) {
        const Bitmap source = Noise(sourceWidth, 5, static_cast<unsigned>(sourceWidth));
        for (int width = 1; width <= 44; ++width)
            for (const int height : {1, 2, 3, 5, 7}) check(source, width, height);
    }
    for (int sourceHeight = 1; sourceHeight <= 40; ++sourceHeight) {
        const Bitmap source = Noise(23, sourceHeight, static_cast<unsigned>(100 + sourceHeight));
        for (int height = 1; height <= 44; ++height)
            for (const int width : {1, 4, 7, 23, 30}) check(source, width, height);
    }
    check(Picture(97, 61, [](int, int) { return std::vector<int>{255, 255, 255}; }), 13, 7);
    for (const auto& [sourceWidth, sourceHeight, width, height] :
         std::vector<std::array<int, 4>>{{1280, 720, 400, 300},
                                         {1920, 1080, 400, 300},
                                         {3840, 2160, 400, 300},
                                         {1917, 1079, 417, 311},
                                         {600, 500, 2, 1}})
        check(Noise(sourceWidth, sourceHeight, 7), width, height);
    // A camera frame's rows lie top-down in memory, the other way from a Bitmap's own.
    Bitmap topDown;
    BitmapInfoHeader header;
    header.width = 1917;
    header.height = -1079;
    header.bitCount = 24;
    topDown.CreateSection(header, {}, {});
    const Bitmap noise = Noise(1917, 1079, 8);
    for (int y = 0; y < 1079; ++y) std::copy_n(noise.ScanLine(y), 3 * 1917, topDown.ScanLine(y));
    check(topDown, 417, 311);
}

INSTANTIATE_TEST_SUITE_P(, AreaStretchPaths,
                         ::testing::Values(InstructionSet::Portable, InstructionSet::Avx2),
                         [](const auto& param) { return std::string(InstructionSetName(param.param)); });

}  // namespace
}  // namespace flipbook
