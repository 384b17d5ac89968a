// SPDX-License-Identifier: GPL-3.0-or-later
// The full-screen view's pixel work: every vector path against the plain definitions, the difference
// view, and the screen image with its bars, scaling, mirroring and grid.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <random>
#include <tuple>
#include <vector>

#include "effects/difference.h"
#include "effects/histogram.h"
#include "effects/screen_frame.h"
#include "effects/view_rows.h"
#include "instruction_set_param.h"
#include "platform/core/exception.h"
#include "platform/graphics/bitmap.h"

namespace flipbook {
namespace {

using effects_detail::Combine;
using flipbook::InstructionSet;

std::vector<std::uint8_t> Noise(std::size_t count, unsigned seed) {
    std::mt19937 random(seed);
    std::vector<std::uint8_t> bytes(count + effects_detail::kRowSlack);
    for (auto& byte : bytes) byte = static_cast<std::uint8_t>(random());
    return bytes;
}

// A 24-bit top-down picture whose pixel (x, y) is colour(x, y) as blue, green, red.
template <typename Colour>
Bitmap Picture(int width, int height, Colour colour) {
    Bitmap picture;
    picture.SetSize(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const std::uint32_t value = colour(x, y);
            std::uint8_t* pixel = picture.ScanLine(y) + 3 * x;
            pixel[0] = value & 0xFF;
            pixel[1] = value >> 8 & 0xFF;
            pixel[2] = value >> 16 & 0xFF;
        }
    return picture;
}

struct Screen {
    Screen(int width, int height) : pixels(static_cast<std::size_t>(width) * height, 0x12345678u) {
        image = {pixels.data(), width, height, static_cast<std::size_t>(width)};
    }
    std::uint32_t At(int x, int y) const { return pixels[static_cast<std::size_t>(y) * image.width + x]; }
    std::vector<std::uint32_t> pixels;
    ScreenImage image;
};

class ViewRowsTest : public InstructionSetParam {};

// Lengths with whole vectors and tails; every weight; the plain definitions written out here.
TEST_P(ViewRowsTest, Kernels_GiveTheDefinitionsBytes) {
    const auto& rows = effects_detail::ViewRows();
    for (const std::size_t count :
         {std::size_t{1}, std::size_t{31}, std::size_t{96}, std::size_t{1000}, std::size_t{4099}}) {
        const auto a = Noise(count, 1);
        const auto b = Noise(count, 2);
        std::vector<std::uint8_t> out(count + effects_detail::kRowSlack);
        for (int k = 0; k <= 100; ++k) {
            rows.mix(a.data(), b.data(), out.data(), count, k);
            for (std::size_t i = 0; i < count; ++i)
                ASSERT_EQ(out[i], (a[i] * (100 - k) + b[i] * k + 50) / 100) << "k " << k << " byte " << i;
        }
        for (const int w : {0, 1, 77, 128, 255, 256}) {
            rows.lerp(a.data(), b.data(), out.data(), count, w);
            for (std::size_t i = 0; i < count; ++i)
                ASSERT_EQ(out[i], (a[i] * (256 - w) + b[i] * w + 128) >> 8) << "w " << w;
        }
        rows.difference(a.data(), b.data(), out.data(), count);
        for (std::size_t i = 0; i < count; ++i) ASSERT_EQ(out[i], std::min(255, 4 * std::abs(a[i] - b[i])));

        const std::size_t pixels = count / 3 + 1;
        for (const bool mirrored : {false, true}) {
            std::vector<std::uint32_t> expanded(pixels);
            rows.expand(a.data(), expanded.data(), pixels, mirrored);
            for (std::size_t x = 0; x < pixels; ++x) {
                const std::uint32_t pixel = expanded[mirrored ? pixels - 1 - x : x];
                ASSERT_EQ(pixel, 0xFF000000u | a[3 * x + 2] << 16 | a[3 * x + 1] << 8 | a[3 * x]);
            }
        }
        // The one-pass screen row: at screen size and halving, each combination, both directions.
        const auto lower = Noise(2 * count + 6, 5);
        const auto upper = Noise(2 * count + 6, 6);
        for (const bool halving : {false, true})
            for (const auto combine : {Combine::Copy, Combine::Mix, Combine::Difference})
                for (const int k : {0, 37, 50, 100})
                    for (const bool mirrored : {false, true}) {
                        const effects_detail::ComposeInput input{halving ? upper.data() : a.data(),
                                                                 halving ? lower.data() : nullptr, b.data(),
                                                                 combine, k};
                        std::vector<std::uint32_t> composed(pixels);
                        rows.compose(input, composed.data(), pixels, mirrored);
                        for (std::size_t x = 0; x < pixels; ++x)
                            for (std::size_t channel = 0; channel < 3; ++channel) {
                                const std::size_t at = 6 * x + channel;
                                const int live = halving ? ((upper[at] + lower[at] + 1) / 2 +
                                                            (upper[at + 3] + lower[at + 3] + 1) / 2 + 1) /
                                                               2
                                                         : a[3 * x + channel];
                                const int reference = b[3 * x + channel];
                                const int expected = combine == Combine::Copy ? live
                                                     : combine == Combine::Mix
                                                         ? (live * (100 - k) + reference * k + 50) / 100
                                                         : std::min(255, 4 * std::abs(live - reference));
                                const std::uint32_t pixel = composed[mirrored ? pixels - 1 - x : x];
                                ASSERT_EQ(pixel >> 24, 0xFFu);
                                ASSERT_EQ(pixel >> (8 * channel) & 0xFF, static_cast<std::uint32_t>(expected))
                                    << "halving " << halving << " k " << k << " pixel " << x;
                            }
                    }
        const auto lineBytes = Noise(4 * pixels, 4);
        std::vector<std::uint32_t> line(pixels);
        std::memcpy(line.data(), lineBytes.data(), 4 * pixels);
        auto dark = line;
        rows.lighten(line.data(), pixels);
        rows.darken(dark.data(), pixels);
        for (std::size_t x = 0; x < pixels; ++x)
            for (int shift = 0; shift < 24; shift += 8) {
                const int byte = lineBytes[4 * x + static_cast<std::size_t>(shift / 8)];
                ASSERT_EQ(line[x] >> shift & 0xFF, static_cast<std::uint32_t>(byte / 2 + 128));
                ASSERT_EQ(dark[x] >> shift & 0xFF, static_cast<std::uint32_t>((byte + 1) / 2));
                ASSERT_EQ(line[x] >> 24, 0xFFu);
            }
    }
    // Shrinking and enlarging: each target pixel between two source pixels, up to the row's last.
    for (const auto& [source, target] :
         {std::pair{640, 1280}, std::pair{1920, 1280}, std::pair{3840, 1920}, std::pair{101, 37}}) {
        const auto in = Noise(static_cast<std::size_t>(source) * 3, 3);
        const auto taps = effects_detail::MakeAxisTaps(source, target);
        std::vector<std::uint8_t> out(static_cast<std::size_t>(target) * 3 + effects_detail::kRowSlack);
        rows.resample(in.data(), out.data(), taps);
        for (int x = 0; x < target; ++x)
            for (int channel = 0; channel < 3; ++channel) {
                const int first = in[static_cast<std::size_t>(3 * taps.first[x] + channel)];
                const int second = in[static_cast<std::size_t>(3 * taps.second[x] + channel)];
                ASSERT_EQ(out[static_cast<std::size_t>(3 * x + channel)],
                          (first * (256 - taps.weight[x]) + second * taps.weight[x] + 128) >> 8);
            }
    }
}

// Whole frames enlarged onto screens of many shapes (a 720p camera on a 1080p screen is the commonest):
// the live picture's every pixel against the bilinear definition written out here (across each source
// row, then between two rows, each weight in 1/256 rounded), and the mix at several weights, mirrored or
// not (the whole screen row reversed), as (live x (100 - w) + reference x w + 50) / 100 of the enlarged live
// picture and the reference as the view shows it alone.
TEST_P(ViewRowsTest, Render_EnlargedFrames_GiveTheBilinearDefinitionsBytes) {
    std::mt19937 random(23);
    const auto noise = [&](int width, int height) {
        return Picture(width, height,
                       [&](int, int) { return static_cast<std::uint32_t>(random()) & 0xFFFFFFu; });
    };
    const auto lerp = [](int a, int b, int w) { return (a * (256 - w) + b * w + 128) >> 8; };
    // The source coordinate of an area pixel, and the right (or lower) neighbour's weight.
    const auto tap = [](int at, int source, int area) {
        const double x = std::clamp((at + 0.5) * source / area - 0.5, 0.0, source - 1.0);
        const int low = static_cast<int>(x);
        return std::tuple{low, std::min(low + 1, source - 1), static_cast<int>(std::lround((x - low) * 256))};
    };
    const auto enlarged = [&](const Bitmap& picture, int x, int y, PixelArea area, int channel) {
        int left = 0, right = 0, wx = 0, top = 0, bottom = 0, wy = 0;
        std::tie(left, right, wx) = tap(x, picture.Width(), area.width);
        std::tie(top, bottom, wy) = tap(y, picture.Height(), area.height);
        const auto across = [&](int row) {
            return lerp(picture.ScanLine(row)[3 * left + channel], picture.ScanLine(row)[3 * right + channel],
                        wx);
        };
        return lerp(across(top), across(bottom), wy);
    };
    const auto byte = [](std::uint32_t pixel, int channel) {
        return static_cast<int>(pixel >> (8 * channel) & 0xFF);
    };
    const struct {
        int width, height, screenWidth, screenHeight;
    } cases[] = {{1280, 720, 1920, 1080}, {1280, 720, 1366, 768}, {97, 61, 400, 300}, {13, 9, 41, 29}};
    for (const auto& size : cases) {
        const Bitmap live = noise(size.width, size.height);
        const Bitmap reference = noise(size.width, size.height);
        Screen screen(size.screenWidth, size.screenHeight);
        ScreenFrame frame;
        ScreenOptions options;
        options.look = ScreenLook::Live;
        frame.Render(live, reference, 1, options, screen.image);
        const PixelArea area = frame.Area();
        for (int y = 0; y < area.height; ++y)
            for (int x = 0; x < area.width; ++x)
                for (int channel = 0; channel < 3; ++channel)
                    ASSERT_EQ(byte(screen.At(area.left + x, area.top + y), channel),
                              enlarged(live, x, y, area, channel))
                        << size.width << "x" << size.height << " onto " << size.screenWidth << "x"
                        << size.screenHeight << ", pixel " << x << "," << y << " channel " << channel;
        options.look = ScreenLook::Reference;
        frame.Render(live, reference, 1, options, screen.image);
        const std::vector<std::uint32_t> referenceShown = screen.pixels;
        for (const auto& [weight, mirrored] : {std::pair{37, false}, std::pair{50, true}}) {
            options.look = ScreenLook::Mix;
            options.weight = weight;
            options.mirrored = mirrored;
            frame.Render(live, reference, 1, options, screen.image);
            for (int y = 0; y < area.height; ++y) {
                for (int x = 0; x < area.width; ++x) {
                    // Mirrored, the whole screen row runs right to left, bars included.
                    const int column = mirrored ? size.screenWidth - 1 - (area.left + x) : area.left + x;
                    const std::uint32_t b =
                        referenceShown[static_cast<std::size_t>(area.top + y) * size.screenWidth +
                                       static_cast<std::size_t>(area.left + x)];
                    for (int channel = 0; channel < 3; ++channel) {
                        const int a = enlarged(live, x, y, area, channel);
                        ASSERT_EQ(byte(screen.At(column, area.top + y), channel),
                                  (a * (100 - weight) + byte(b, channel) * weight + 50) / 100)
                            << size.width << "x" << size.height << " onto " << size.screenWidth << "x"
                            << size.screenHeight << ", weight " << weight << (mirrored ? ", mirrored" : "")
                            << ", pixel " << x << "," << y << " channel " << channel;
                    }
                }
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Paths, ViewRowsTest,
                         ::testing::Values(InstructionSet::Portable, InstructionSet::Avx2,
                                           InstructionSet::Avx512));

TEST(DifferenceTest, Difference_BrightensFourfoldAndRefusesUnequalPictures) {
    const Bitmap live = Picture(50, 3, [](int x, int) { return 0x000000u + static_cast<std::uint32_t>(x); });
    const Bitmap reference = Picture(50, 3, [](int, int) { return 0x00FF0000u + 10; });
    Bitmap difference;
    Difference(live, reference, difference);
    ASSERT_EQ(difference.Width(), 50);
    EXPECT_EQ(difference.PixelColor(10, 1).blue, 0);
    EXPECT_EQ(difference.PixelColor(12, 2).blue, 8);
    EXPECT_EQ(difference.PixelColor(49, 0).blue, 156);
    EXPECT_EQ(difference.PixelColor(49, 0).red, 255);
    EXPECT_EQ(difference.PixelColor(49, 0).green, 0);
    EXPECT_THROW(Difference(live, Picture(49, 3, [](int, int) { return 0u; }), difference), Exception);
}

// A 4:3 picture on a wider screen: black bars left and right, the picture's pixels fitted between.
TEST(ScreenFrameTest, Render_FitsWithBarsAndShowsEachLook) {
    const Bitmap live = Picture(8, 6, [](int x, int y) { return static_cast<std::uint32_t>(x * 30 + y); });
    const Bitmap reference = Picture(8, 6, [](int, int) { return 0x00C86432u; });
    Screen screen(20, 12);
    ScreenFrame frame;
    ScreenOptions options;
    options.look = ScreenLook::Live;
    frame.Render(live, reference, 1, options, screen.image);
    const PixelArea area = frame.Area();
    EXPECT_EQ(area.left, 2);
    EXPECT_EQ(area.top, 0);
    EXPECT_EQ(area.width, 16);
    EXPECT_EQ(area.height, 12);
    for (int y = 0; y < 12; ++y) {
        EXPECT_EQ(screen.At(0, y), 0xFF000000u);
        EXPECT_EQ(screen.At(19, y), 0xFF000000u);
    }
    // Twice the size: area pixel (5, 4) lies at source (2.25, 1.75); enlarging, each source row is
    // resampled across first, then two such rows mixed.
    const auto lerp = [](int a, int b, int w) { return (a * (256 - w) + b * w + 128) >> 8; };
    EXPECT_EQ(screen.At(2 + 5, 4) & 0xFF,
              static_cast<std::uint32_t>(lerp(lerp(61, 91, 64), lerp(62, 92, 64), 192)));

    options.look = ScreenLook::Reference;
    frame.Render(live, reference, 1, options, screen.image);
    for (int x = 2; x < 18; ++x) ASSERT_EQ(screen.At(x, 7), 0xFFC86432u);

    options.look = ScreenLook::Mix;
    options.weight = 100;
    frame.Render(live, reference, 1, options, screen.image);
    EXPECT_EQ(screen.At(9, 9), 0xFFC86432u);
    // A new reference of the same size is seen only with a new version.
    const Bitmap another = Picture(8, 6, [](int, int) { return 0x00010203u; });
    frame.Render(live, another, 1, options, screen.image);
    EXPECT_EQ(screen.At(9, 9), 0xFFC86432u);
    frame.Render(live, another, 2, options, screen.image);
    EXPECT_EQ(screen.At(9, 9), 0xFF010203u);

    options.look = ScreenLook::Difference;
    frame.Render(live, Bitmap(), 3, options, screen.image);
    EXPECT_EQ(screen.At(2, 0), 0xFF000000u);
    EXPECT_EQ(screen.At(17, 11), 0xFF000000u | std::min(255u, 4u * (210 + 5)));
}

// Half the size is the exact 2 x 2 average; mirrored, the rows run right to left; the grid changes the
// lines' pixels only.
TEST(ScreenFrameTest, Render_HalvesMirrorsAndDrawsTheGrid) {
    const Bitmap live = Picture(24, 12, [](int x, int y) { return static_cast<std::uint32_t>(x * 10 + y); });
    Screen plain(12, 6);
    ScreenFrame frame;
    ScreenOptions options;
    options.look = ScreenLook::Live;
    frame.Render(live, Bitmap(), 1, options, plain.image);
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 12; ++x) {
            // Each axis rounds its halfway cases up.
            const int expected = (((20 * x + 2 * y) + (20 * x + 2 * y + 1) + 1) / 2 +
                                  ((20 * x + 10 + 2 * y) + (20 * x + 10 + 2 * y + 1) + 1) / 2 + 1) /
                                 2;
            ASSERT_EQ(plain.At(x, y) & 0xFF, static_cast<std::uint32_t>(expected)) << x << "," << y;
        }
    Screen mirrored(12, 6);
    options.mirrored = true;
    frame.Render(live, Bitmap(), 1, options, mirrored.image);
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 12; ++x) ASSERT_EQ(mirrored.At(11 - x, y), plain.At(x, y));

    Screen big(60, 30);
    ScreenFrame gridFrame;
    options = {};
    options.look = ScreenLook::Live;
    gridFrame.Render(live, Bitmap(), 1, options, big.image);
    const auto without = big.pixels;
    options.grid = true;
    gridFrame.Render(live, Bitmap(), 1, options, big.image);
    int changed = 0;
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 60; ++x) {
            const bool onLine =
                x == 20 || x == 21 || x == 40 || x == 41 || y == 10 || y == 11 || y == 20 || y == 21;
            const std::size_t at = static_cast<std::size_t>(y) * 60 + x;
            if (!onLine) {
                ASSERT_EQ(big.pixels[at], without[at]) << x << "," << y;
            }
            changed += big.pixels[at] != without[at];
        }
    EXPECT_GT(changed, 4 * 50);
}

// The focus check, mirrored: a picture that fits the screen shows each pixel as 2 x 2, centred; a larger
// one shows one to one, the pixel under the pointer in the fitted view kept under it, and its clipped
// pixels marked on the screen only.
TEST(ScreenFrameTest, RenderZoomed_ShowsThePicturesOwnPixels_MirroredAndMarked) {
    const auto colour = [](int x, int y) {
        return static_cast<std::uint32_t>(0x102030 + 0x10 * x + 0x1000 * y);
    };
    const Bitmap small = Picture(6, 4, colour);
    ScreenOptions options;
    options.mirrored = true;
    ScreenFrame frame;
    Screen screen(16, 12);
    const PixelArea whole = frame.RenderZoomed(small, 3, 3, options, screen.image);
    EXPECT_EQ(ScreenFrame::ZoomScale(6, 4, 16, 12), 2);
    EXPECT_EQ(whole.left, 0);
    EXPECT_EQ(whole.width, 6);
    EXPECT_EQ(whole.height, 4);
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 16; ++x) {
            const bool inside = x >= 2 && x < 14 && y >= 2 && y < 10;
            const std::uint32_t expected =
                inside ? 0xFF000000u | colour(5 - (x - 2) / 2, (y - 2) / 2) : 0xFF000000u;
            ASSERT_EQ(screen.At(x, y), expected) << x << "," << y;
        }

    // 40 x 20 on 10 x 8: fitted 10 x 5 below a bar of 1. At the pointer (4, 3) the fitted view shows the
    // seen pixel (16, 8), so the part seen starts at (12, 5); mirrored, seen column c is column 39 - c.
    Bitmap large = Picture(40, 20, colour);
    large.ScanLine(6)[3 * (39 - 13)] = 255;  // blown out at seen (13, 6)
    options.clipping = true;
    Screen zoomed(10, 8);
    const PixelArea part = frame.RenderZoomed(large, 4, 3, options, zoomed.image);
    EXPECT_EQ(ScreenFrame::ZoomScale(40, 20, 10, 8), 1);
    EXPECT_EQ(part.left, 12);
    EXPECT_EQ(part.top, 5);
    EXPECT_EQ(part.width, 10);
    EXPECT_EQ(part.height, 8);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 10; ++x) {
            const std::uint32_t expected = x == 1 && y == 1 ? ClippingMark(Clipping::High, 1, 1)
                                                            : 0xFF000000u | colour(39 - (12 + x), 5 + y);
            ASSERT_EQ(zoomed.At(x, y), expected) << x << "," << y;
        }
    // The picture saved stays as it was.
    EXPECT_EQ(large.ScanLine(6)[3 * 26 + 1], (colour(26, 6) >> 8) & 0xFF);
}

}  // namespace
}  // namespace flipbook
