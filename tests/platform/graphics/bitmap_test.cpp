// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/graphics/bitmap.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "platform/core/exception.h"
#include "platform/graphics/canvas.h"

namespace flipbook {
namespace {

BitmapInfoHeader Header(int width, int height, std::uint16_t bitCount, std::uint32_t compression = kBiRgb) {
    BitmapInfoHeader header;
    header.width = width;
    header.height = height;
    header.bitCount = bitCount;
    header.compression = compression;
    return header;
}

// A 24-bit Bitmap whose pixel (x, y) is red x, green y, blue 7.
Bitmap Gradient(int width, int height, bool topDown = false) {
    Bitmap bitmap;
    bitmap.CreateSection(Header(width, topDown ? -height : height, 24), {}, {});
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = bitmap.ScanLine(y);
        for (int x = 0; x < width; ++x) {
            row[3 * x] = 7;
            row[3 * x + 1] = static_cast<std::uint8_t>(y);
            row[3 * x + 2] = static_cast<std::uint8_t>(x);
        }
    }
    return bitmap;
}

TEST(Bitmap_ScanLine, CountsRowsFromTheTopInBothOrders) {
    const Bitmap bottomUp = Gradient(3, 4);
    const Bitmap topDown = Gradient(3, 4, true);
    EXPECT_EQ(bottomUp.RowStride(), 12u);
    // Bottom-up memory holds the last row first; top-down memory holds the first row first.
    EXPECT_EQ(bottomUp.Pixels()[1], 3);
    EXPECT_EQ(topDown.Pixels()[1], 0);
    for (int y = 0; y < 4; ++y) {
        EXPECT_EQ(bottomUp.ScanLine(y)[1], y);
        EXPECT_EQ(topDown.ScanLine(y)[1], y);
    }
    EXPECT_THROW(bottomUp.ScanLine(4), Exception);
    EXPECT_THROW(bottomUp.ScanLine(-1), Exception);
}

TEST(Bitmap_Description, ColorCountsReturnToZeroWhenPixelsChange) {
    Bitmap bitmap;
    bitmap.CreateSection(Header(2, 2, 8), {}, std::vector<RgbQuad>(4));
    bitmap.SetFileFields(2835, 2834, 4, 3);
    std::as_const(bitmap).ScanLine(0);
    EXPECT_EQ(bitmap.Header().clrUsed, 4u);
    EXPECT_EQ(bitmap.Header().clrImportant, 3u);

    int changes = 0;
    bitmap.OnChange = [&] { ++changes; };
    bitmap.ScanLine(1)[0] = 1;
    EXPECT_EQ(bitmap.Header().clrUsed, 0u);
    EXPECT_EQ(bitmap.Header().clrImportant, 0u);
    EXPECT_EQ(bitmap.Header().xPelsPerMeter, 2835);
    EXPECT_EQ(bitmap.Header().yPelsPerMeter, 2834);
    EXPECT_EQ(changes, 1);
    // With colours used at 0 the description stands for a full table, so the table is made full.
    EXPECT_EQ(bitmap.ColorTable().size(), 256u);

    bitmap.SetFileFields(1, 1, 4, 4);
    bitmap.GetCanvas().SetPixel(0, 0, kWhite);
    EXPECT_EQ(bitmap.Header().clrUsed, 0u);
    EXPECT_EQ(bitmap.Header().clrImportant, 0u);
}

TEST(Bitmap_Resize, KeepsTopLeftAndFillsNewAreaWhite) {
    for (const bool topDown : {false, true}) {
        Bitmap bitmap = Gradient(4, 3, topDown);
        bitmap.SetWidth(6);
        bitmap.SetHeight(5);
        ASSERT_EQ(bitmap.Width(), 6);
        ASSERT_EQ(bitmap.Height(), 5);
        EXPECT_EQ(bitmap.TopDown(), topDown);
        EXPECT_EQ(bitmap.GetPixelFormat(), PixelFormat::Bit24);
        EXPECT_EQ(bitmap.Header().sizeImage, bitmap.RowStride() * 5);
        for (int y = 0; y < 5; ++y) {
            for (int x = 0; x < 6; ++x) {
                const Rgb expected = x < 4 && y < 3
                                         ? Rgb{static_cast<std::uint8_t>(x), static_cast<std::uint8_t>(y), 7}
                                         : kWhite;
                EXPECT_EQ(bitmap.PixelColor(x, y), expected) << x << "," << y << " topDown " << topDown;
            }
        }
        bitmap.SetSize(2, 2);
        EXPECT_EQ(bitmap.PixelColor(1, 1), (Rgb{1, 1, 7}));
        EXPECT_EQ(bitmap.PixelBytes(), 16u);
    }
}

TEST(Bitmap_Resize, FillsWithTheBrushColourInEveryFormat) {
    for (const PixelFormat format :
         {PixelFormat::Bit1, PixelFormat::Bit4, PixelFormat::Bit8, PixelFormat::Bit15, PixelFormat::Bit16,
          PixelFormat::Bit32, PixelFormat::Device}) {
        Bitmap bitmap;
        bitmap.SetPixelFormat(format);
        bitmap.SetSize(3, 2);
        EXPECT_EQ(bitmap.GetPixelFormat(), format);
        EXPECT_EQ(bitmap.PixelColor(2, 1), kWhite);
        bitmap.GetCanvas().SetBrushColor(kBlack);
        bitmap.SetSize(9, 3);
        EXPECT_EQ(bitmap.PixelColor(2, 1), kWhite);
        EXPECT_EQ(bitmap.PixelColor(8, 0), kBlack);
        EXPECT_EQ(bitmap.PixelColor(0, 2), kBlack);
    }
}

TEST(Bitmap_Resize, EmptyBitmapBecomes24BitAndSameSizeKeepsMemory) {
    Bitmap bitmap;
    EXPECT_TRUE(bitmap.Empty());
    bitmap.SetWidth(5);
    EXPECT_TRUE(bitmap.Empty());
    bitmap.SetHeight(4);
    EXPECT_FALSE(bitmap.Empty());
    EXPECT_EQ(bitmap.BitsPerPixel(), 24);
    EXPECT_FALSE(bitmap.TopDown());

    const std::uint8_t* memory = bitmap.Pixels();
    bitmap.SetSize(5, 4);
    bitmap.SetPixelFormat(PixelFormat::Bit24);
    EXPECT_EQ(bitmap.Pixels(), memory);

    EXPECT_THROW(bitmap.SetWidth(-1), EInvalidGraphic);
    EXPECT_EQ(bitmap.Width(), 5);
}

TEST(Bitmap_CreateSection, RejectsDescriptionsItCannotMake) {
    struct Case {
        const char* what;
        BitmapInfoHeader header;
    };
    BitmapInfoHeader twoPlanes = Header(4, 4, 24);
    twoPlanes.planes = 2;
    const Case cases[] = {
        {"bit count 2", Header(4, 4, 2)},
        {"bit count 0", Header(4, 4, 0)},
        {"bit fields on 24 bits", Header(4, 4, 24, kBiBitFields)},
        {"bit fields on 8 bits", Header(4, 4, 8, kBiBitFields)},
        {"run-length", Header(4, 4, 8, kBiRle8)},
        {"two planes", twoPlanes},
        {"width 0", Header(0, 4, 24)},
        {"height 0", Header(4, 0, 24)},
        {"negative width", Header(-4, 4, 24)},
        {"too wide", Header(70000, 1, 8)},
        {"too tall", Header(1, -70000, 8)},
        {"too much memory", Header(65536, 65536, 32)},
    };
    Bitmap bitmap = Gradient(3, 2);
    bitmap.SetFileFields(1, 2, 0, 0);
    const BitmapInfoHeader before = bitmap.Header();
    const std::vector<std::uint8_t> pixels(bitmap.Pixels(), bitmap.Pixels() + bitmap.PixelBytes());
    for (const Case& c : cases) {
        EXPECT_THROW(bitmap.CreateSection(c.header, {}, {}), EInvalidGraphic) << c.what;
        EXPECT_EQ(bitmap.Header(), before) << c.what;
        EXPECT_EQ(std::vector<std::uint8_t>(bitmap.Pixels(), bitmap.Pixels() + bitmap.PixelBytes()), pixels);
    }
    EXPECT_THROW(bitmap.CreateSection(Header(2, 2, 8), {}, std::vector<RgbQuad>(257)), EInvalidGraphic);
}

TEST(Bitmap_CreateSection, MakesZeroedMemoryAndKeepsTheDescription) {
    Bitmap bitmap = Gradient(3, 2);
    BitmapInfoHeader header = Header(5, -3, 16, kBiBitFields);
    header.sizeImage = 1234;
    bitmap.CreateSection(header, {0xF800, 0x07E0, 0x001F}, {RgbQuad{1, 2, 3, 0}});
    EXPECT_EQ(bitmap.Header(), header);
    EXPECT_EQ(bitmap.GetPixelFormat(), PixelFormat::Bit16);
    EXPECT_TRUE(bitmap.TopDown());
    EXPECT_EQ(bitmap.RowStride(), 12u);
    EXPECT_EQ(bitmap.PixelBytes(), 36u);
    EXPECT_TRUE(bitmap.ColorTable().empty());  // a high-colour picture keeps no table in its description
    for (std::size_t i = 0; i < bitmap.PixelBytes(); ++i) EXPECT_EQ(bitmap.Pixels()[i], 0);
}

TEST(Bitmap_Copy, CopiesThePictureButNotTheCanvas) {
    Bitmap original = Gradient(3, 2);
    original.GetCanvas().SetBrushColor(kBlack);
    Bitmap copy(original);
    EXPECT_NE(&copy.GetCanvas(), &original.GetCanvas());
    EXPECT_EQ(copy.GetCanvas().BrushColor(), kWhite);
    copy.ScanLine(0)[0] = 99;
    EXPECT_EQ(original.ScanLine(0)[0], 7);

    int changes = 0;
    Bitmap target;
    target.OnChange = [&] { ++changes; };
    target = original;
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(target.PixelColor(2, 1), (Rgb{2, 1, 7}));

    Bitmap moved(std::move(copy));
    EXPECT_EQ(moved.ScanLine(0)[0], 99);
    EXPECT_TRUE(copy.Empty());  // NOLINT(bugprone-use-after-move): the moved-from state is defined
    EXPECT_NE(&moved.GetCanvas(), &copy.GetCanvas());
}

// A shared picture is one memory until either side writes: then the writer gets a copy of its own,
// whichever way it writes, and the other keeps what it had.
TEST(Bitmap_Share, SharesTheMemoryUntilEitherSideWrites) {
    Bitmap original = Gradient(3, 2);
    Bitmap shared;
    shared.Share(original);
    EXPECT_EQ(shared.Pixels(), original.Pixels());
    EXPECT_TRUE(shared.SharesPixels() && original.SharesPixels());
    EXPECT_EQ(shared.PixelColor(2, 1), original.PixelColor(2, 1));

    shared.ScanLine(1)[0] = 99;
    EXPECT_NE(shared.Pixels(), original.Pixels());
    EXPECT_FALSE(shared.SharesPixels() || original.SharesPixels());
    EXPECT_EQ(shared.ScanLine(1)[0], 99);
    EXPECT_NE(original.ScanLine(1)[0], 99);

    const std::uint8_t* before = original.Pixels();
    shared.Share(original);
    original.MutablePixels()[0] = 42;
    EXPECT_NE(original.Pixels(), before);
    EXPECT_EQ(shared.Pixels(), before);
    EXPECT_NE(shared.Pixels()[0], 42);

    // A section filled anew, a copy assigned or a Bitmap cleared keeping its memory never writes into
    // memory another Bitmap holds.
    shared.Share(original);
    shared.CreateSection(original.Header(), {}, {}, [](std::uint8_t* pixels, std::size_t size) {
        std::memset(pixels, 7, size);
        return size;
    });
    EXPECT_EQ(original.Pixels()[0], 42);
    shared.Share(original);
    shared.Assign(Gradient(3, 2));
    EXPECT_EQ(original.Pixels()[0], 42);
    shared.Share(original);
    shared.ClearKeepingMemory();
    EXPECT_FALSE(original.SharesPixels());
    EXPECT_EQ(original.Pixels()[0], 42);
}

TEST(Bitmap_Clear, DropsPictureAndDescription) {
    Bitmap bitmap = Gradient(3, 2);
    bitmap.Clear();
    EXPECT_TRUE(bitmap.Empty());
    EXPECT_EQ(bitmap.PixelBytes(), 0u);
    EXPECT_EQ(bitmap.Header(), BitmapInfoHeader{});
}

TEST(Bitmap_DeviceBitmap, IsWhiteTopDown32Bit) {
    Bitmap bitmap;
    bitmap.CreateDeviceBitmap(3, 2);
    EXPECT_EQ(bitmap.GetPixelFormat(), PixelFormat::Device);
    EXPECT_EQ(bitmap.BitsPerPixel(), 32);
    EXPECT_TRUE(bitmap.TopDown());
    EXPECT_EQ(bitmap.PixelColor(2, 1), kWhite);
    bitmap.SetPixelFormat(PixelFormat::Bit24);
    EXPECT_EQ(bitmap.PixelColor(2, 1), kWhite);
    EXPECT_TRUE(bitmap.TopDown());
}

TEST(Bitmap_CreateSectionWithFill, ReusesMemoryOfTheSameSize_AndZeroesWhatTheFillLeaves) {
    Bitmap bitmap;
    auto fillWith = [](std::uint8_t value, std::size_t count) {
        return [=](std::uint8_t* pixels, std::size_t size) {
            std::memset(pixels, value, std::min(count, size));
            return count;  // may claim more than there is; the Bitmap takes at most its size
        };
    };
    bitmap.CreateSection(Header(4, 2, 24), {}, {}, fillWith(0x11, 100));
    ASSERT_EQ(bitmap.PixelBytes(), 24u);
    EXPECT_TRUE(std::all_of(bitmap.Pixels(), bitmap.Pixels() + 24, [](std::uint8_t b) { return b == 0x11; }));

    const std::uint8_t* memory = bitmap.Pixels();
    bitmap.CreateSection(Header(4, -2, 24), {}, {}, fillWith(0x22, 5));  // same size, other row order
    EXPECT_EQ(bitmap.Pixels(), memory);
    EXPECT_TRUE(bitmap.TopDown());
    EXPECT_TRUE(std::all_of(bitmap.Pixels(), bitmap.Pixels() + 5, [](std::uint8_t b) { return b == 0x22; }));
    EXPECT_TRUE(
        std::all_of(bitmap.Pixels() + 5, bitmap.Pixels() + 24, [](std::uint8_t b) { return b == 0; }));

    bitmap.CreateSection(Header(8, 2, 24), {}, {}, fillWith(0x33, 3));  // a new size: fresh memory
    ASSERT_EQ(bitmap.PixelBytes(), 48u);
    EXPECT_TRUE(
        std::all_of(bitmap.Pixels() + 3, bitmap.Pixels() + 48, [](std::uint8_t b) { return b == 0; }));

    EXPECT_THROW(bitmap.CreateSection(Header(8, 2, 24), {}, {},
                                      [](std::uint8_t* pixels, std::size_t size) -> std::size_t {
                                          std::memset(pixels, 0x44, size);
                                          throw Exception("device gone");
                                      }),
                 Exception);
    EXPECT_TRUE(std::all_of(bitmap.Pixels(), bitmap.Pixels() + 48, [](std::uint8_t b) { return b == 0; }));

    EXPECT_THROW(bitmap.CreateSection(Header(8, 2, 7), {}, {}, fillWith(0x55, 48)), EInvalidGraphic);
    EXPECT_EQ(bitmap.Width(), 8);  // a description that cannot be made changes nothing
    EXPECT_EQ(bitmap.Pixels()[0], 0);
}

}  // namespace
}  // namespace flipbook
