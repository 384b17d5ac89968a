// SPDX-License-Identifier: GPL-3.0-or-later
// Drawing a loaded picture in each transparency mode.
#include <gtest/gtest.h>

#include "codecs/png/png_builder.h"
#include "codecs/png/png_object.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/canvas.h"
#include "platform/graphics/stream.h"

namespace flipbook {
namespace {

using testing::Bytes;
using testing::Chunk;
using testing::IhdrData;

Bitmap WhiteSurface(int width, int height) {
    Bitmap surface;
    surface.SetSize(width, height);
    return surface;
}

TEST(PngDraw, Opaque_IsStretchedToTheRectangle) {
    TPNGObject png;
    testing::LoadPng(png, testing::SimplePng(IhdrData(2, 1, 8, 2), {0, 255, 0, 0, 0, 0, 255}));
    Bitmap surface = WhiteSurface(6, 3);
    png.Draw(surface.GetCanvas(), Rect{1, 1, 5, 3});
    EXPECT_EQ(surface.PixelColor(0, 0), kWhite);
    EXPECT_EQ(surface.PixelColor(1, 1), (Rgb{255, 0, 0}));
    EXPECT_EQ(surface.PixelColor(2, 2), (Rgb{255, 0, 0}));
    EXPECT_EQ(surface.PixelColor(3, 1), (Rgb{0, 0, 255}));
    EXPECT_EQ(surface.PixelColor(4, 2), (Rgb{0, 0, 255}));
    EXPECT_EQ(surface.PixelColor(5, 1), kWhite);
}

TEST(PngDraw, SingleColor_LeavesTheSurfaceWhereTheColorIs) {
    TPNGObject png;
    testing::LoadPng(png,
                     testing::SimplePng(IhdrData(2, 1, 8, 0), {0, 0x80, 0x20}, Chunk("tRNS", {0x00, 0x80})));
    ASSERT_EQ(png.TransparencyMode(), PngTransparencyMode::SingleColor);
    Bitmap surface = WhiteSurface(2, 1);
    png.Draw(surface.GetCanvas(), Rect{0, 0, 2, 1});
    EXPECT_EQ(surface.PixelColor(0, 0), kWhite);
    EXPECT_EQ(surface.PixelColor(1, 0), (Rgb{0x20, 0x20, 0x20}));
}

TEST(PngDraw, Partial_BlendsAtThePicturesOwnSize) {
    TPNGObject png;
    testing::LoadPng(png, testing::SimplePng(IhdrData(1, 1, 8, 6), {0, 200, 100, 0, 128}));
    Bitmap surface = WhiteSurface(3, 3);
    png.Draw(surface.GetCanvas(), Rect{1, 1, 3, 3});
    // (s * a + (255 - a) * w + 255) div 256 over white.
    EXPECT_EQ(surface.PixelColor(1, 1), (Rgb{227, 177, 127}));
    EXPECT_EQ(surface.PixelColor(2, 2), kWhite);
}

TEST(PngDraw, PartialPalette_TakesAlphaFromTheTransparencyChunk) {
    TPNGObject png;
    testing::LoadPng(
        png, testing::SimplePng(
                 IhdrData(2, 1, 8, 3), {0, 0, 1},
                 Bytes(testing::Concat({Chunk("PLTE", {0, 0, 0, 10, 20, 30}), Chunk("tRNS", {0, 128})}))));
    ASSERT_EQ(png.TransparencyMode(), PngTransparencyMode::Partial);
    Bitmap surface = WhiteSurface(2, 1);
    png.Draw(surface.GetCanvas(), Rect{0, 0, 2, 1});
    EXPECT_EQ(surface.PixelColor(0, 0), kWhite);  // alpha 0
    EXPECT_EQ(surface.PixelColor(1, 0), (Rgb{132, 137, 142}));
}

TEST(PngDraw, WithoutHeader_DrawsNothing) {
    TPNGObject png;
    Bitmap surface = WhiteSurface(2, 2);
    png.Draw(surface.GetCanvas(), Rect{0, 0, 2, 2});
    EXPECT_EQ(surface.PixelColor(0, 0), kWhite);
}

}  // namespace
}  // namespace flipbook
