// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/graphics/canvas.h"

#include <gtest/gtest.h>

#include <mutex>
#include <thread>

#include "platform/graphics/bitmap.h"

namespace flipbook {
namespace {

// A Bitmap of the format whose pixel (x, y) has red 10 x and green 10 y (as near as the format holds).
Bitmap Numbered(int width, int height, PixelFormat format = PixelFormat::Bit24) {
    Bitmap bitmap;
    bitmap.SetPixelFormat(format);
    bitmap.SetSize(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            bitmap.GetCanvas().SetPixel(
                x, y, Rgb{static_cast<std::uint8_t>(10 * x), static_cast<std::uint8_t>(10 * y), 0});
    return bitmap;
}

Rgb At(int x, int y) {
    return Rgb{static_cast<std::uint8_t>(10 * x), static_cast<std::uint8_t>(10 * y), 0};
}

TEST(Canvas_FillRect, FillsTheClippedRectangleWithTheBrush) {
    Bitmap bitmap = Numbered(4, 3);
    bitmap.GetCanvas().SetBrushColor(Rgb{1, 2, 3});
    bitmap.GetCanvas().FillRect(Rect{2, -5, 10, 2});
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x)
            EXPECT_EQ(bitmap.PixelColor(x, y), (x >= 2 && y < 2 ? Rgb{1, 2, 3} : At(x, y))) << x << "," << y;
}

TEST(Canvas_Pixel, ReadsAndWritesEveryFormatAndIgnoresOutside) {
    for (const PixelFormat format :
         {PixelFormat::Bit1, PixelFormat::Bit4, PixelFormat::Bit8, PixelFormat::Bit15, PixelFormat::Bit16,
          PixelFormat::Bit24, PixelFormat::Bit32}) {
        Bitmap bitmap;
        bitmap.SetPixelFormat(format);
        bitmap.SetSize(9, 2);
        Canvas& canvas = bitmap.GetCanvas();
        canvas.SetPixel(7, 1, kBlack);
        canvas.SetPixel(9, 0, kBlack);
        canvas.SetPixel(-1, 0, kBlack);
        EXPECT_EQ(canvas.Pixel(7, 1), kBlack);
        EXPECT_EQ(canvas.Pixel(6, 1), kWhite);
        EXPECT_EQ(canvas.Pixel(8, 1), kWhite);
        EXPECT_EQ(canvas.Pixel(8, 0), kWhite);
        EXPECT_EQ(canvas.Pixel(9, 0), kBlack);  // outside reads black
    }
}

TEST(Canvas_Draw, CopiesAtNaturalSizeAcrossFormatsClipped) {
    const Bitmap source = Numbered(3, 2, PixelFormat::Bit32);
    for (const PixelFormat format : {PixelFormat::Bit24, PixelFormat::Bit32}) {
        Bitmap target;
        target.SetPixelFormat(format);
        target.SetSize(4, 4);
        target.GetCanvas().Draw(2, 1, source);
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 4; ++x) {
                const bool inside = x >= 2 && y >= 1 && y < 3;
                EXPECT_EQ(target.PixelColor(x, y), inside ? At(x - 2, y - 1) : kWhite) << x << "," << y;
            }
    }
}

TEST(Canvas_StretchDraw, TakesTheNearestPixel) {
    const Bitmap source = Numbered(2, 2);
    Bitmap target;
    target.SetSize(4, 6);
    target.GetCanvas().StretchDraw(Rect{0, 0, 4, 6}, source);
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 4; ++x) EXPECT_EQ(target.PixelColor(x, y), At(x / 2, y / 3)) << x << "," << y;

    Bitmap smaller;
    smaller.SetSize(2, 1);
    smaller.GetCanvas().StretchDraw(Rect{0, 0, 2, 1}, Numbered(6, 3));
    EXPECT_EQ(smaller.PixelColor(0, 0), At(1, 1));
    EXPECT_EQ(smaller.PixelColor(1, 0), At(4, 1));
}

TEST(Canvas_CopyRect, MirrorsAReversedRectangleAndCopiesWithinItself) {
    Bitmap bitmap = Numbered(4, 1);
    Bitmap mirrored;
    mirrored.SetSize(4, 1);
    mirrored.GetCanvas().CopyRect(Rect{4, 0, 0, 1}, bitmap, Rect{0, 0, 4, 1});
    for (int x = 0; x < 4; ++x) EXPECT_EQ(mirrored.PixelColor(x, 0), At(3 - x, 0));

    // Overlapping copy within one Bitmap shifts right without smearing.
    bitmap.GetCanvas().CopyRect(Rect{1, 0, 4, 1}, bitmap, Rect{0, 0, 3, 1});
    EXPECT_EQ(bitmap.PixelColor(0, 0), At(0, 0));
    EXPECT_EQ(bitmap.PixelColor(1, 0), At(0, 0));
    EXPECT_EQ(bitmap.PixelColor(2, 0), At(1, 0));
    EXPECT_EQ(bitmap.PixelColor(3, 0), At(2, 0));
}

TEST(Canvas_CopyRectTransparent, KeepsTheCanvasWhereTheSourceHasTheTransparentColour) {
    const Bitmap source = Numbered(2, 1);  // (0,0) is black, (1,0) is red 10
    Bitmap target;
    target.SetSize(4, 1);
    target.GetCanvas().CopyRectTransparent(Rect{0, 0, 4, 1}, source, kBlack);
    EXPECT_EQ(target.PixelColor(0, 0), kWhite);
    EXPECT_EQ(target.PixelColor(1, 0), kWhite);
    EXPECT_EQ(target.PixelColor(2, 0), At(1, 0));
    EXPECT_EQ(target.PixelColor(3, 0), At(1, 0));
    EXPECT_EQ(&target.GetCanvas().Owner(), &target);
}

TEST(Canvas_Lock, NestsAndExcludesOtherThreads) {
    Bitmap bitmap;
    Canvas& canvas = bitmap.GetCanvas();
    std::lock_guard outer(canvas);
    canvas.Lock();  // nesting on one thread
    bool otherGotIt = true;
    std::thread([&] { otherGotIt = canvas.TryLock(); }).join();
    EXPECT_FALSE(otherGotIt);
    canvas.Unlock();
}

}  // namespace
}  // namespace flipbook
