// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <cstring>

#include "platform/core/exception.h"
#include "platform/graphics/bitmap.h"

namespace flipbook {
namespace {

// A one-row Bitmap of the given description whose row bytes are `row`.
Bitmap OneRow(int width, std::uint16_t bitCount, std::uint32_t compression, ColorMasks masks,
              std::vector<RgbQuad> table, const std::vector<std::uint8_t>& row) {
    BitmapInfoHeader header;
    header.width = width;
    header.height = 1;
    header.bitCount = bitCount;
    header.compression = compression;
    Bitmap bitmap;
    bitmap.CreateSection(header, masks, std::move(table));
    std::memcpy(bitmap.ScanLine(0), row.data(), std::min(row.size(), bitmap.RowStride()));
    return bitmap;
}

// The colours of a 24-bit row, read from its bytes.
std::vector<Rgb> Row24(const Bitmap& bitmap, int y = 0) {
    std::vector<Rgb> colors;
    const std::uint8_t* row = bitmap.ScanLine(y);
    for (int x = 0; x < bitmap.Width(); ++x) colors.push_back({row[3 * x + 2], row[3 * x + 1], row[3 * x]});
    return colors;
}

constexpr Rgb kRed{255, 0, 0};
constexpr Rgb kGreen{0, 255, 0};
constexpr Rgb kBlue{0, 0, 255};

TEST(Bitmap_ConvertTo24, ReadsEveryLayoutWithTheRightColours) {
    const std::vector<RgbQuad> table = {{0, 0, 0, 0}, {10, 20, 30, 0}, {255, 255, 255, 0}, {1, 2, 3, 0}};
    struct Case {
        const char* what;
        Bitmap bitmap;
        PixelFormat format;
        std::vector<Rgb> expected;
    };
    Case cases[] = {
        // 1 bit: most significant bit first.
        {"1 bit",
         OneRow(10, 1, kBiRgb, {}, table, {0b10100000, 0b01000000}),
         PixelFormat::Bit1,
         {{30, 20, 10},
          {0, 0, 0},
          {30, 20, 10},
          {0, 0, 0},
          {0, 0, 0},
          {0, 0, 0},
          {0, 0, 0},
          {0, 0, 0},
          {0, 0, 0},
          {30, 20, 10}}},
        // 4 bits: high nibble first; an index beyond the table reads black.
        {"4 bits",
         OneRow(3, 4, kBiRgb, {}, table, {0x21, 0xF0}),
         PixelFormat::Bit4,
         {{255, 255, 255}, {30, 20, 10}, {0, 0, 0}}},
        {"8 bits",
         OneRow(3, 8, kBiRgb, {}, table, {3, 1, 2}),
         PixelFormat::Bit8,
         {{3, 2, 1}, {30, 20, 10}, {255, 255, 255}}},
        // 16 bits without bit fields are 5-5-5; channel 16 of 31 widens to 132.
        {"5-5-5",
         OneRow(4, 16, kBiRgb, {}, {}, {0x00, 0x7C, 0xE0, 0x03, 0x1F, 0x00, 0x10, 0x42}),
         PixelFormat::Bit15,
         {kRed, kGreen, kBlue, {132, 132, 132}}},
        {"5-6-5",
         OneRow(4, 16, kBiBitFields, {0xF800, 0x07E0, 0x001F}, {},
                {0x00, 0xF8, 0xE0, 0x07, 0x1F, 0x00, 0x00, 0x04}),
         PixelFormat::Bit16,
         {kRed, kGreen, kBlue, {0, 130, 0}}},
        {"5-5-5 as bit fields",
         OneRow(1, 16, kBiBitFields, {0x7C00, 0x03E0, 0x001F}, {}, {0x1F, 0x00}),
         PixelFormat::Bit15,
         {kBlue}},
        {"4-4-4 bit fields",
         OneRow(2, 16, kBiBitFields, {0x0F00, 0x00F0, 0x000F}, {}, {0x8F, 0x0F, 0xF0, 0x00}),
         PixelFormat::Custom,
         {{255, 136, 255}, {0, 255, 0}}},
        {"32 bits",
         OneRow(2, 32, kBiRgb, {}, {}, {1, 2, 3, 99, 4, 5, 6, 0}),
         PixelFormat::Bit32,
         {{3, 2, 1}, {6, 5, 4}}},
        {"32-bit standard bit fields",
         OneRow(1, 32, kBiBitFields, {0xFF0000, 0xFF00, 0xFF}, {}, {1, 2, 3, 0}),
         PixelFormat::Bit32,
         {{3, 2, 1}}},
        {"32 bits red low",
         OneRow(1, 32, kBiBitFields, {0xFF, 0xFF00, 0xFF0000}, {}, {1, 2, 3, 0}),
         PixelFormat::Custom,
         {{1, 2, 3}}},
        {"10-10-10",
         OneRow(1, 32, kBiBitFields, {0x3FF00000, 0xFFC00, 0x3FF}, {}, {0xFF, 0x03, 0x00, 0x00}),
         PixelFormat::Custom,
         {{0, 0, 255}}},
    };
    for (Case& c : cases) {
        EXPECT_EQ(c.bitmap.GetPixelFormat(), c.format) << c.what;
        for (int x = 0; x < c.bitmap.Width(); ++x)
            EXPECT_EQ(c.bitmap.PixelColor(x, 0), c.expected[static_cast<std::size_t>(x)])
                << c.what << " x " << x;
        c.bitmap.SetPixelFormat(PixelFormat::Bit24);
        EXPECT_EQ(c.bitmap.GetPixelFormat(), PixelFormat::Bit24) << c.what;
        EXPECT_EQ(c.bitmap.Header().compression, kBiRgb) << c.what;
        EXPECT_EQ(Row24(c.bitmap), c.expected) << c.what;
    }
}

TEST(Bitmap_ConvertFrom24, RoundTripsColoursEachFormatHolds) {
    const std::vector<Rgb> colors = {kBlack, kWhite, kRed, kGreen, kBlue, {255, 255, 0}, {0, 255, 255}};
    for (const PixelFormat format : {PixelFormat::Bit4, PixelFormat::Bit8, PixelFormat::Bit15,
                                     PixelFormat::Bit16, PixelFormat::Bit32, PixelFormat::Device}) {
        Bitmap bitmap;
        bitmap.SetSize(static_cast<int>(colors.size()), 2);
        for (int x = 0; x < bitmap.Width(); ++x) {
            std::uint8_t* pixel = bitmap.ScanLine(1) + 3 * x;
            pixel[0] = colors[static_cast<std::size_t>(x)].blue;
            pixel[1] = colors[static_cast<std::size_t>(x)].green;
            pixel[2] = colors[static_cast<std::size_t>(x)].red;
        }
        bitmap.SetPixelFormat(format);
        EXPECT_EQ(bitmap.GetPixelFormat(), format);
        bitmap.SetPixelFormat(PixelFormat::Bit24);
        EXPECT_EQ(Row24(bitmap, 1), colors);
        EXPECT_EQ(Row24(bitmap, 0), std::vector<Rgb>(colors.size(), kWhite));
    }
}

TEST(Bitmap_ConvertToPalette, TakesTheNearestEntryOfAFixedTable) {
    Bitmap bitmap;
    bitmap.SetSize(3, 1);
    std::uint8_t* row = bitmap.ScanLine(0);
    const std::uint8_t bytes[] = {10, 10, 10, 200, 190, 180, 0, 0, 130};
    std::memcpy(row, bytes, sizeof bytes);
    bitmap.SetPixelFormat(PixelFormat::Bit1);
    EXPECT_EQ(bitmap.ColorTable().size(), 2u);
    EXPECT_EQ(bitmap.PixelColor(0, 0), kBlack);
    EXPECT_EQ(bitmap.PixelColor(1, 0), kWhite);
    EXPECT_EQ(bitmap.PixelColor(2, 0), kBlack);

    Bitmap eight;
    eight.SetSize(1, 1);
    const std::uint8_t darkRed[] = {0, 0, 100};
    std::memcpy(eight.ScanLine(0), darkRed, 3);
    eight.SetPixelFormat(PixelFormat::Bit8);
    EXPECT_EQ(eight.ColorTable().size(), 256u);
    EXPECT_EQ(eight.PixelColor(0, 0), (Rgb{102, 0, 0}));
}

TEST(Bitmap_ConvertTo24, KeepsRowOrderSizeAndFileResolutions) {
    Bitmap bitmap = OneRow(2, 32, kBiRgb, {}, {}, {1, 2, 3, 0, 4, 5, 6, 0});
    bitmap.SetFileFields(3780, 3780, 0, 0);
    bitmap.SetPixelFormat(PixelFormat::Bit24);
    EXPECT_EQ(bitmap.Header().xPelsPerMeter, 3780);
    EXPECT_EQ(bitmap.Header().sizeImage, 8u);
    EXPECT_EQ(bitmap.RowStride(), 8u);
    EXPECT_THROW(bitmap.SetPixelFormat(PixelFormat::Custom), EInvalidGraphic);
}

}  // namespace
}  // namespace flipbook
