// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>
#include <jerror.h>

#include <set>
#include <string>
#include <vector>

#include "codecs/jpeg/jpeg_image.h"
#include "codecs/jpeg/jpeg_test_support.h"
#include "support/temp_dir.h"

namespace flipbook {
namespace {

using testing::CorpusPath;
using testing::RawImage;

std::vector<std::uint8_t> CorpusBytes(const std::string& name) {
    return testing::ReadBytes(CorpusPath("jpeg/" + name));
}

Bitmap Decode(std::vector<std::uint8_t> bytes, const TJPEGSettings& settings = TJPEGSettings{}) {
    TJPEGImage image;
    image.SetSettings(settings);
    MemoryStream stream(std::move(bytes));
    image.LoadFromStream(stream);
    Bitmap bitmap;
    image.AssignTo(bitmap);
    return bitmap;
}

int DecodeErrorCode(std::vector<std::uint8_t> bytes) {
    try {
        Decode(std::move(bytes));
    } catch (const EJPEG& error) {
        return error.MessageCode();
    }
    return -1;
}

RawImage Reference(const std::string& name) {
    return testing::ReadPng(CorpusPath("jpeg/ref/" + name + ".png"));
}

double MeanDifference(const Bitmap& bitmap, const RawImage& image) {
    long total = 0;
    for (int y = 0; y < image.height; ++y) {
        for (int x = 0; x < image.width; ++x) {
            const Rgb colour = bitmap.PixelColor(x, y);
            const std::uint8_t* sample = &image.samples[(static_cast<std::size_t>(y) * image.width + x) * 3];
            total += std::abs(colour.red - sample[0]) + std::abs(colour.green - sample[1]) +
                     std::abs(colour.blue - sample[2]);
        }
    }
    return static_cast<double>(total) / (3.0 * image.width * image.height);
}

TEST(TJPEGImage_Decompress, TopRowOfTheFileIsTheTopRowOfTheBitmap) {
    // Red above, blue below, made by the library itself.
    RawImage image{8, 16, 3, {}};
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 8; ++x)
            image.samples.insert(image.samples.end(),
                                 {std::uint8_t(y < 8 ? 255 : 0), 0, std::uint8_t(y < 8 ? 0 : 255)});
    const Bitmap bitmap = Decode(testing::EncodeWithLibrary(image, JCS_RGB));
    EXPECT_EQ(bitmap.GetPixelFormat(), PixelFormat::Bit24);
    const Rgb top = bitmap.PixelColor(3, 0);
    const Rgb bottom = bitmap.PixelColor(3, 15);
    EXPECT_GT(top.red, 240);
    EXPECT_LT(top.blue, 15);
    EXPECT_GT(bottom.blue, 240);
    EXPECT_LT(bottom.red, 15);
}

TEST(TJPEGImage_Decompress, EightBitFormatQuantizesColourToAtMost236Entries) {
    TJPEGSettings settings;
    settings.pixelFormat = JPEGPixelFormat::Bit8;
    const Bitmap bitmap = Decode(CorpusBytes("baseline_q90.jpg"), settings);
    EXPECT_EQ(bitmap.BitsPerPixel(), 8);
    EXPECT_LE(bitmap.ColorTable().size(), 236U);
    EXPECT_GT(bitmap.ColorTable().size(), 100U);
    EXPECT_LT(MeanDifference(bitmap, Reference("baseline_q90")), 6.0);

    // One pass over a fixed colour cube with ordered dither: coarser, but still the picture.
    settings.performance = JPEGPerformance::Fast;
    const Bitmap fast = Decode(CorpusBytes("baseline_q90.jpg"), settings);
    EXPECT_LE(fast.ColorTable().size(), 236U);
    EXPECT_LT(MeanDifference(fast, Reference("baseline_q90")), 25.0);
}

TEST(TJPEGImage_Decompress, GivenPaletteIsUsedForEightBitAndDroppedForFullColour) {
    TJPEGImage image;
    TJPEGSettings settings;
    settings.pixelFormat = JPEGPixelFormat::Bit8;
    image.SetSettings(settings);
    const std::vector<RgbQuad> palette{{0, 0, 0, 0}, {255, 255, 255, 0}, {0, 0, 255, 0}};
    image.SetPalette(palette);
    MemoryStream stream(CorpusBytes("baseline_q90.jpg"));
    image.LoadFromStream(stream);
    const Bitmap& bitmap = image.GetBitmap();
    EXPECT_EQ(bitmap.ColorTable(), palette);
    std::set<std::uint8_t> indexes;
    for (int y = 0; y < bitmap.Height(); ++y)
        indexes.insert(bitmap.ScanLine(y), bitmap.ScanLine(y) + bitmap.Width());
    EXPECT_LE(*indexes.rbegin(), 2);

    TJPEGImage fullColour;
    fullColour.SetPalette(palette);
    MemoryStream again(CorpusBytes("baseline_q90.jpg"));
    fullColour.LoadFromStream(again);
    EXPECT_EQ(fullColour.GetBitmap().BitsPerPixel(), 24);
    EXPECT_FALSE(fullColour.Palette().has_value());
}

TEST(TJPEGImage_Decompress, GreyOutputAndScaling) {
    TJPEGSettings settings;
    settings.grayscale = true;
    const Bitmap grey = Decode(CorpusBytes("baseline_q90.jpg"), settings);
    EXPECT_EQ(grey.BitsPerPixel(), 8);
    EXPECT_LE(grey.ColorTable().size(), 236U);
    const Rgb pixel = grey.PixelColor(250, 150);
    EXPECT_EQ(pixel.red, pixel.green);
    EXPECT_EQ(pixel.red, pixel.blue);

    settings = TJPEGSettings{};
    settings.scale = 1;
    const Bitmap half = Decode(CorpusBytes("baseline_q90.jpg"), settings);
    EXPECT_EQ(half.Width(), 250);
    EXPECT_EQ(half.Height(), 157);
    settings.scale = 7;  // the library shrinks at most 8 times
    EXPECT_EQ(Decode(CorpusBytes("baseline_q90.jpg"), settings).Width(), 63);
}

TEST(TJPEGImage_Decompress, ProgressiveDisplayEndsWithTheSamePicture) {
    TJPEGSettings settings;
    settings.progressiveDisplay = true;
    EXPECT_EQ(
        testing::MaxDifference(Decode(CorpusBytes("progressive.jpg"), settings), Reference("progressive")),
        0);
    settings.pixelFormat = JPEGPixelFormat::Bit8;
    const Bitmap quantized = Decode(CorpusBytes("progressive.jpg"), settings);
    EXPECT_LE(quantized.ColorTable().size(), 236U);
    EXPECT_LT(MeanDifference(quantized, Reference("progressive")), 6.0);
}

TEST(TJPEGImage_Decompress, PlainCmykWithoutAdobeMarkerIsNotInverted) {
    // Ink amounts as stored by writers other than Adobe's: 0 is no ink.
    RawImage cmyk{16, 16, 4, {}};
    for (int pixel = 0; pixel < 256; ++pixel)
        cmyk.samples.insert(cmyk.samples.end(), {0, 255, 255, 0});  // red
    const auto bytes = testing::EncodeWithLibrary(cmyk, JCS_CMYK, [](jpeg_compress_struct& info) {
        jpeg_set_colorspace(&info, JCS_CMYK);
        info.write_Adobe_marker = FALSE;
    });
    const Bitmap bitmap = Decode(bytes);
    const Rgb colour = bitmap.PixelColor(8, 8);
    EXPECT_GT(colour.red, 245);
    EXPECT_LT(colour.green, 10);
    EXPECT_LT(colour.blue, 10);

    // Eight-bit output: converted colours in a palette of at most 236 entries.
    TJPEGSettings settings;
    settings.pixelFormat = JPEGPixelFormat::Bit8;
    const Bitmap quantized = Decode(CorpusBytes("cmyk.jpg"), settings);
    EXPECT_EQ(quantized.BitsPerPixel(), 8);
    EXPECT_LE(quantized.ColorTable().size(), 236U);
    EXPECT_LT(MeanDifference(quantized, Reference("cmyk")), 25.0);

    settings = TJPEGSettings{};
    settings.grayscale = true;
    const Bitmap grey = Decode(CorpusBytes("cmyk.jpg"), settings);
    EXPECT_EQ(grey.BitsPerPixel(), 8);
    EXPECT_LE(grey.ColorTable().size(), 236U);
    const RawImage reference = Reference("cmyk");
    const std::uint8_t* sample = &reference.samples[(100 * 500 + 200) * 3];
    const int luminance = (299 * sample[0] + 587 * sample[1] + 114 * sample[2]) / 1000;
    EXPECT_NEAR(grey.PixelColor(200, 100).red, luminance, 3);
}

// baseline_q90.jpg (500 x 313) with its frame header claiming a square picture of the given side.
std::vector<std::uint8_t> BaselineClaimingSide(std::uint8_t high, std::uint8_t low) {
    auto bytes = CorpusBytes("baseline_q90.jpg");
    const std::size_t frame = testing::FindMarker(bytes, 0xC0);
    // Frame header: length (2), precision (1), height (2), width (2).
    if (frame == std::string::npos || (bytes[frame + 4] << 8 | bytes[frame + 5]) != 313 ||
        (bytes[frame + 6] << 8 | bytes[frame + 7]) != 500) {
        ADD_FAILURE() << "the corpus file changed";
        return {};
    }
    bytes[frame + 4] = bytes[frame + 6] = high;
    bytes[frame + 5] = bytes[frame + 7] = low;
    return bytes;
}

TEST(TJPEGImage_Decompress, RefusesAPictureTooBigToHoldBeforeAllocating) {
    const auto bytes = BaselineClaimingSide(0xFF, 0xDC);  // 65500 x 65500: 12 GB of pixels from 27 kB
    TJPEGImage image;
    MemoryStream stream(bytes);
    image.LoadFromStream(stream);
    EXPECT_EQ(image.Width(), 65500);
    Bitmap bitmap;
    EXPECT_THROW(image.AssignTo(bitmap), EJPEG);
    EXPECT_EQ(DecodeErrorCode(bytes), JERR_IMAGE_TOO_BIG);
    EXPECT_TRUE(bitmap.Empty());
}

TEST(TJPEGImage_Decompress, RefusesAPictureItsDataCannotJustify) {
    auto bytes = BaselineClaimingSide(0x46, 0x50);      // 18000 x 18000: 972 MB of pixels
    ASSERT_EQ(testing::FindMarker(bytes, 0xDA), 610u);  // its header ends at 623
    bytes.resize(634);                                  // 11 bytes of scan data
    EXPECT_EQ(DecodeErrorCode(bytes), JERR_INPUT_EOF);

    // A real file cut short still justifies its picture.
    EXPECT_EQ(Decode(CorpusBytes("truncated_60pct.jpg")).Width(), 500);
}

// A progressive file of every coefficient in a scan of its own, refined bit by bit: about 700 scans
// for each component.
std::vector<std::uint8_t> ManyScanFile(int components) {
    RawImage image{8, 8, components,
                   std::vector<std::uint8_t>(64 * static_cast<std::size_t>(components), 128)};
    for (std::size_t index = 0; index < image.samples.size(); ++index) image.samples[index] += index % 7;
    std::vector<jpeg_scan_info> scans;
    constexpr int kTopBit = 10;
    for (int component = 0; component < components; ++component) {
        for (int coefficient = 0; coefficient < 64; ++coefficient) {
            scans.push_back({1, {component}, coefficient, coefficient, 0, kTopBit});
            for (int bit = kTopBit; bit > 0; --bit)
                scans.push_back({1, {component}, coefficient, coefficient, bit, bit - 1});
        }
    }
    return testing::EncodeWithLibrary(image, components == 1 ? JCS_GRAYSCALE : JCS_RGB,
                                      [&](jpeg_compress_struct& info) {
                                          info.scan_info = scans.data();
                                          info.num_scans = static_cast<int>(scans.size());
                                      });
}

TEST(TJPEGImage_Decompress, RefusesAbsurdNumbersOfScans) {
    const auto allowed = ManyScanFile(1);  // 704 scans
    EXPECT_EQ(Decode(allowed).Width(), 8);
    EXPECT_EQ(DecodeErrorCode(ManyScanFile(3)), JERR_BAD_PROGRESSION);  // 2112 scans
}

}  // namespace
}  // namespace flipbook
