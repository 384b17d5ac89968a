// SPDX-License-Identifier: GPL-3.0-or-later
// Decoding the image data: filters, converters, Adam7, chunk boundaries and damaged data.
#include <gtest/gtest.h>

#include <random>

#include "codecs/png/header_chunk.h"
#include "codecs/png/png_builder.h"
#include "codecs/png/png_errors.h"
#include "codecs/png/png_object.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/stream.h"

namespace flipbook {
namespace {

using testing::Bytes;
using testing::Chunk;
using testing::Concat;
using testing::IhdrData;
using testing::LibpngPicture;

Bytes RandomBytes(std::size_t count, unsigned seed) {
    std::mt19937 generator(seed);
    Bytes bytes(count);
    for (auto& byte : bytes) byte = static_cast<std::uint8_t>(generator());
    return bytes;
}

// Every pixel of two Bitmaps of the same size read through their own colour tables.
void ExpectSamePicture(const Bitmap& actual, const Bitmap& expected) {
    ASSERT_EQ(actual.Width(), expected.Width());
    ASSERT_EQ(actual.Height(), expected.Height());
    ASSERT_EQ(actual.BitsPerPixel(), expected.BitsPerPixel());
    for (int y = 0; y < expected.Height(); ++y) {
        for (int x = 0; x < expected.Width(); ++x) {
            ASSERT_EQ(actual.PixelColor(x, y), expected.PixelColor(x, y)) << x << "," << y;
        }
    }
}

TEST(PngDecoder, Truecolor8_WithoutGamma_KeepsTheSamples) {
    const Bitmap bitmap = testing::DecodePng(testing::SimplePng(IhdrData(1, 1, 8, 2), {0, 0x12, 0x80, 0xFE}));
    EXPECT_EQ(bitmap.BitsPerPixel(), 24);
    EXPECT_EQ(bitmap.PixelColor(0, 0), (Rgb{0x12, 0x80, 0xFE}));
    EXPECT_EQ(bitmap.ScanLine(0)[0], 0xFE);  // blue first
}

TEST(PngDecoder, Truecolor8_WithGammaNearOne_StaysWithinOneStep) {
    const Bitmap bitmap = testing::DecodePng(testing::SimplePng(IhdrData(1, 1, 8, 2), {0, 0x12, 0x80, 0xFE},
                                                                Chunk("gAMA", testing::BigEndian32(45455))));
    const Rgb color = bitmap.PixelColor(0, 0);
    EXPECT_NEAR(color.red, 0x12, 1);
    EXPECT_NEAR(color.green, 0x80, 1);
    EXPECT_NEAR(color.blue, 0xFE, 1);
}

TEST(PngDecoder, SixteenBitSamples_KeepTheirHighByte) {
    const Bitmap bitmap = testing::DecodePng(
        testing::SimplePng(IhdrData(1, 1, 16, 2), {0, 0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC}));
    EXPECT_EQ(bitmap.PixelColor(0, 0), (Rgb{0x12, 0x56, 0x9A}));
}

TEST(PngDecoder, TwoBitGrey_GivesFourLevels_InterlacedOrNot) {
    LibpngPicture picture{4, 1, 2, 0, {{0b00011011}}, {}, {}};
    for (bool interlace : {false, true}) {
        const Bitmap bitmap = testing::DecodePng(testing::WriteWithLibpng(picture, {interlace, 0x08, 6}));
        EXPECT_EQ(bitmap.BitsPerPixel(), 4);
        for (int x = 0; x < 4; ++x)
            EXPECT_EQ(bitmap.PixelColor(x, 0),
                      (Rgb{std::uint8_t(85 * x), std::uint8_t(85 * x), std::uint8_t(85 * x)}));
    }
}

TEST(PngDecoder, TwoBitPalette_GivesFourBitBitmapWithThePalette) {
    LibpngPicture picture{
        5, 1, 2, 3, {{0b11100100, 0b01000000}}, {10, 20, 30, 40, 50, 60, 70, 80, 90, 100, 110, 120}, {}};
    TPNGObject png;
    testing::LoadPng(png, testing::WriteWithLibpng(picture));
    Bitmap bitmap;
    bitmap.Assign(png);
    EXPECT_EQ(bitmap.BitsPerPixel(), 4);
    const std::vector<Rgb> expected{{100, 110, 120}, {70, 80, 90}, {40, 50, 60}, {10, 20, 30}, {40, 50, 60}};
    for (int x = 0; x < 5; ++x) EXPECT_EQ(bitmap.PixelColor(x, 0), expected[static_cast<std::size_t>(x)]);
    EXPECT_EQ(png.Pixel(1, 0), (Rgb{70, 80, 90}));
}

TEST(PngDecoder, AlphaIsLeftOutOfTheBitmap) {
    TPNGObject png;
    testing::LoadPng(png, testing::SimplePng(IhdrData(1, 1, 8, 6), {0, 255, 0, 0, 0}));
    Bitmap bitmap;
    bitmap.Assign(png);
    EXPECT_EQ(bitmap.PixelColor(0, 0), (Rgb{255, 0, 0}));
    EXPECT_FALSE(bitmap.Transparent());
    EXPECT_EQ(png.TransparencyMode(), PngTransparencyMode::Partial);
    EXPECT_EQ(png.Header().AlphaPlane(), Bytes{0});
}

TEST(PngDecoder, GreyWithTransparentLevel_MarksTheBitmapTransparent) {
    const Bitmap bitmap =
        testing::DecodePng(testing::SimplePng(IhdrData(1, 1, 8, 0), {0, 0x80}, Chunk("tRNS", {0x00, 0x80})));
    EXPECT_TRUE(bitmap.Transparent());
    EXPECT_EQ(bitmap.TransparentColor(), (Rgb{0x80, 0x80, 0x80}));
}

// Pictures written by libpng with every filter, as rows in order and as Adam7, decode alike; this
// covers passes without pixels (width or height 1) and pass rows whose first row uses Up, Average
// or Paeth.
TEST(PngDecoder, Adam7DecodesLikeItsNonInterlacedTwin) {
    struct Shape {
        int colorType, bitDepth;
        std::uint32_t width, height;
    };
    for (const Shape& shape : std::vector<Shape>{{2, 8, 1, 9},
                                                 {2, 8, 9, 1},
                                                 {2, 8, 1, 1},
                                                 {6, 16, 13, 11},
                                                 {0, 1, 17, 5},
                                                 {0, 4, 10, 10},
                                                 {3, 2, 11, 3},
                                                 {4, 8, 7, 9},
                                                 {0, 16, 5, 12},
                                                 {2, 8, 33, 20}}) {
        SCOPED_TRACE(::testing::Message() << shape.colorType << "/" << shape.bitDepth << " " << shape.width
                                          << "x" << shape.height);
        LibpngPicture picture;
        picture.width = shape.width;
        picture.height = shape.height;
        picture.colorType = shape.colorType;
        picture.bitDepth = shape.bitDepth;
        const int channels = shape.colorType == 2   ? 3
                             : shape.colorType == 6 ? 4
                             : shape.colorType == 4 ? 2
                                                    : 1;
        const std::size_t rowBytes = (std::size_t{shape.width} * channels * shape.bitDepth + 7) / 8;
        for (std::uint32_t y = 0; y < shape.height; ++y) picture.rows.push_back(RandomBytes(rowBytes, y));
        if (shape.colorType == 3) {
            picture.palette = RandomBytes(12, 99);
            for (Bytes& row : picture.rows) row.back() &= 0xF0;  // keep padding bits clear
        }
        for (int filter : {0x08, 0x10, 0x20, 0x40, 0x80, 0xF8}) {
            const Bitmap plain = testing::DecodePng(testing::WriteWithLibpng(picture, {false, filter, 6}));
            const Bitmap interlaced =
                testing::DecodePng(testing::WriteWithLibpng(picture, {true, filter, 6}));
            ExpectSamePicture(interlaced, plain);
        }
    }
}

TEST(PngDecoder, MatchesLibpngOnRandomTruecolor) {
    LibpngPicture picture{37, 23, 8, 2, {}, {}, {}};
    for (std::uint32_t y = 0; y < picture.height; ++y) picture.rows.push_back(RandomBytes(37 * 3, 1000 + y));
    for (bool interlace : {false, true}) {
        const Bitmap bitmap = testing::DecodePng(testing::WriteWithLibpng(picture, {interlace, 0xF8, 9}));
        for (std::uint32_t y = 0; y < picture.height; ++y) {
            for (std::uint32_t x = 0; x < picture.width; ++x) {
                const std::uint8_t* sample = &picture.rows[y][3 * x];
                ASSERT_EQ(bitmap.PixelColor(int(x), int(y)), (Rgb{sample[0], sample[1], sample[2]}));
            }
        }
    }
}

TEST(PngDecoder, UnknownFilterType_TakesTheRowUnfiltered) {
    const Bitmap bitmap = testing::DecodePng(testing::SimplePng(IhdrData(2, 1, 8, 0), {7, 0x10, 0x20}));
    EXPECT_EQ(bitmap.ScanLine(0)[0], 0x10);
    EXPECT_EQ(bitmap.ScanLine(0)[1], 0x20);
}

Bytes RgbRows(std::uint32_t width, std::uint32_t height, unsigned seed) {
    Bytes rows;
    for (std::uint32_t y = 0; y < height; ++y) {
        rows.push_back(0);
        const Bytes row = RandomBytes(3 * std::size_t{width}, seed + y);
        rows.insert(rows.end(), row.begin(), row.end());
    }
    return rows;
}

TEST(PngDecoder, ImageDataSplitOverChunks_DecodesLikeOneChunk) {
    const Bytes rows = RgbRows(8, 8, 5);
    const Bytes data = testing::Deflate(rows);
    const Bytes header = Concat({testing::Signature(), Chunk("IHDR", IhdrData(8, 8, 8, 2))});
    const Bitmap whole = testing::DecodePng(Concat({header, Chunk("IDAT", data), Chunk("IEND", {})}));
    const Bitmap split = testing::DecodePng(
        Concat({header, Chunk("IDAT", Bytes(data.begin(), data.begin() + 1)), Chunk("IDAT", {}),
                Chunk("IDAT", Bytes(data.begin() + 1, data.begin() + 3)),
                Chunk("IDAT", Bytes(data.begin() + 3, data.end())), Chunk("IEND", {})}));
    ExpectSamePicture(split, whole);
    // A damaged CRC on one of the later chunks is found.
    TPNGObject png;
    MemoryStream stream(
        Concat({header, Chunk("IDAT", Bytes(data.begin(), data.begin() + 3)),
                testing::ChunkWithBadCrc("IDAT", Bytes(data.begin() + 3, data.end())), Chunk("IEND", {})}));
    EXPECT_THROW(png.LoadFromStream(stream), EPngInvalidCRC);
}

TEST(PngDecoder, CompleteImageDataBeforeADamagedExtraChunk_DecodesAsTheRowReaderDoes) {
    // The rows are whole after the first chunk; the reader never reaches the damaged second one, and
    // the whole-data inflater must not find it either.
    const Bytes rows = RgbRows(8, 8, 6);
    const Bytes data = testing::Deflate(rows);
    const Bytes header = Concat({testing::Signature(), Chunk("IHDR", IhdrData(8, 8, 8, 2))});
    const Bitmap expected = testing::DecodePng(Concat({header, Chunk("IDAT", data), Chunk("IEND", {})}));
    const Bitmap decoded =
        testing::DecodePng(Concat({header, Chunk("IDAT", data),
                                   testing::ChunkWithBadCrc("IDAT", RandomBytes(40, 7)), Chunk("IEND", {})}));
    ExpectSamePicture(decoded, expected);
    EXPECT_EQ(decoded.PixelColor(7, 7), (Rgb{rows[rows.size() - 3], rows[rows.size() - 2], rows.back()}));
}

TEST(PngDecoder, ImageDataRunningIntoAnotherChunk_Raises) {
    const Bytes data = testing::Deflate(RgbRows(8, 8, 5));
    TPNGObject png;
    MemoryStream stream(
        Concat({testing::Signature(), Chunk("IHDR", IhdrData(8, 8, 8, 2)),
                Chunk("IDAT", Bytes(data.begin(), data.begin() + data.size() / 2)), Chunk("IEND", {})}));
    EXPECT_THROW(png.LoadFromStream(stream), EPNGMissingMultipleIDAT);
}

TEST(PngDecoder, LongImageDataChunk_PassesItsCrcCheck) {
    // Stored (level 0) random rows: one chunk of about 200 000 bytes.
    const Bytes rows = RgbRows(256, 256, 9);
    const Bytes file = Concat({testing::Signature(), Chunk("IHDR", IhdrData(256, 256, 8, 2)),
                               Chunk("IDAT", testing::Deflate(rows, 0)), Chunk("IEND", {})});
    ASSERT_GT(file.size(), 3u * 65535);
    const Bitmap bitmap = testing::DecodePng(file);
    EXPECT_EQ(bitmap.PixelColor(255, 255), (Rgb{rows[rows.size() - 3], rows[rows.size() - 2], rows.back()}));
}

TEST(PngDecoder, StreamEndingInsideTheImageData_RaisesCrcError_KeepsDecodedRows) {
    const Bytes rows = RgbRows(64, 64, 3);
    Bytes file = testing::SimplePng(IhdrData(64, 64, 8, 2), rows);
    file.resize(file.size() / 2);
    TPNGObject png;
    MemoryStream stream(file);
    EXPECT_THROW(png.LoadFromStream(stream), EPngInvalidCRC);
    EXPECT_EQ(png.Pixel(0, 0), (Rgb{rows[1], rows[2], rows[3]}));
    EXPECT_EQ(png.Pixel(63, 63), kBlack);
}

TEST(PngDecoder, ZlibStreamEndingEarly_StopsWithMissingRowsCleared) {
    const Bytes rows = RgbRows(16, 16, 4);
    TPNGObject png;
    testing::LoadPng(
        png, testing::SimplePng(IhdrData(16, 16, 8, 2), Bytes(rows.begin(), rows.begin() + 8 * 49 + 20)));
    EXPECT_EQ(png.Pixel(0, 7), (Rgb{rows[7 * 49 + 1], rows[7 * 49 + 2], rows[7 * 49 + 3]}));
    EXPECT_EQ(png.Pixel(0, 8), kBlack);
    EXPECT_EQ(png.Pixel(15, 15), kBlack);
}

TEST(PngDecoder, ZlibStreamAskingForADictionary_StopsDecoding) {
    // A zlib header with the preset-dictionary flag, followed by a dictionary id.
    const Bytes data{0x78, 0xBB, 0x00, 0x00, 0x00, 0x01, 0x03, 0x00};
    TPNGObject png;
    testing::LoadPng(png, Concat({testing::Signature(), Chunk("IHDR", IhdrData(2, 2, 8, 0)),
                                  Chunk("IDAT", data), Chunk("IEND", {})}));
    EXPECT_EQ(png.Pixel(0, 0), kBlack);
}

TEST(PngDecoder, DamagedCompressedData_RaisesZlibErrorWithDescription) {
    Bytes data = testing::Deflate(RgbRows(8, 8, 5));
    data[0] = 0x00;  // not a deflate header
    TPNGObject png;
    MemoryStream stream(Concat(
        {testing::Signature(), Chunk("IHDR", IhdrData(8, 8, 8, 2)), Chunk("IDAT", data), Chunk("IEND", {})}));
    try {
        png.LoadFromStream(stream);
        FAIL();
    } catch (const EPNGZLIBError& error) {
        EXPECT_EQ(std::string(error.what()),
                  "Could not decompress the image because it contains invalid compressed data.\r\n "
                  "Description: data error (-3)");
    }
}

TEST(PngDecoder, PixelAccess) {
    const Bytes rows = RgbRows(400, 300, 11);
    TPNGObject png;
    testing::LoadPng(png, testing::SimplePng(IhdrData(400, 300, 8, 2), rows));
    const std::size_t at = 10 * (1 + 1200) + 1 + 3 * 300;
    EXPECT_EQ(png.Pixel(300, 10), (Rgb{rows[at], rows[at + 1], rows[at + 2]}));
    EXPECT_EQ(png.Pixel(400, 0), kBlack);
    EXPECT_EQ(png.Pixel(-1, 0), kBlack);
    const Rgb before = png.Pixel(399, 0);
    png.SetPixel(400, 0, Rgb{1, 2, 3});
    EXPECT_EQ(png.Pixel(399, 0), before);
    png.SetPixel(399, 299, Rgb{1, 2, 3});
    EXPECT_EQ(png.Pixel(399, 299), (Rgb{1, 2, 3}));
}

TEST(PngDecoder, SetPixelOnAPalettePicture_StoresTheNearestIndexThePixelCanHold) {
    // 1-bit palette of black and white, with more palette entries than one bit can index.
    TPNGObject png;
    testing::LoadPng(png, testing::SimplePng(IhdrData(3, 1, 1, 3), {0, 0b10100000},
                                             Chunk("PLTE", {0, 0, 0, 255, 255, 255, 200, 0, 0})));
    png.SetPixel(1, 0, Rgb{250, 240, 250});
    png.SetPixel(0, 0, Rgb{200, 0, 0});  // nearest of the two is black
    EXPECT_EQ(png.ScanLine(0)[0], 0b01100000);
}

}  // namespace
}  // namespace flipbook
