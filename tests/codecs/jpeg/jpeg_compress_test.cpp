// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "codecs/jpeg/jpeg_image.h"
#include "codecs/jpeg/jpeg_test_support.h"
#include "support/temp_dir.h"

namespace flipbook {
namespace {

std::vector<std::uint8_t> Save(const TJPEGImage& image) {
    MemoryStream stream;
    image.SaveToStream(stream);
    return stream.TakeBytes();
}

std::vector<std::uint8_t> SaveBitmap(const Bitmap& bitmap, const TJPEGSettings& settings = TJPEGSettings{}) {
    TJPEGImage image;
    image.SetSettings(settings);
    image.AssignFromBitmap(bitmap);
    return Save(image);
}

TEST(TJPEGImage_Save, WritesABaselineJfifFileOfTheBitmapsColours) {
    const Bitmap bitmap = testing::MakeGradientBitmap(64, 48);
    const auto bytes = SaveBitmap(bitmap);

    ASSERT_GT(bytes.size(), 20U);
    EXPECT_EQ(bytes[0], 0xFF);
    EXPECT_EQ(bytes[1], 0xD8);
    EXPECT_EQ(bytes[2], 0xFF);
    EXPECT_EQ(bytes[3], 0xE0);
    EXPECT_EQ(std::string(bytes.begin() + 6, bytes.begin() + 11), std::string("JFIF\0", 5));
    EXPECT_NE(testing::FindMarker(bytes, 0xC0), std::string::npos) << "baseline frame";
    // The library reads red, green, blue: a swapped channel order would be far off.
    const auto decoded = testing::DecodeWithLibrary(bytes);
    ASSERT_EQ(decoded.width, 64);
    ASSERT_EQ(decoded.height, 48);
    ASSERT_EQ(decoded.components, 3);
    EXPECT_LE(testing::MaxDifference(bitmap, decoded), 12);
}

// Every quantization table of a file: the segments between the start of the file and the frame header.
std::vector<std::uint8_t> QuantizationTables(const std::vector<std::uint8_t>& jpeg) {
    const std::size_t first = testing::FindMarker(jpeg, 0xDB);
    const std::size_t frame = testing::FindMarker(jpeg, 0xC0);
    if (first == std::string::npos || frame == std::string::npos || frame < first) return {};
    return {jpeg.begin() + static_cast<std::ptrdiff_t>(first),
            jpeg.begin() + static_cast<std::ptrdiff_t>(frame)};
}

TEST(TJPEGImage_Save, QualitySettingMakesTheLibrarysTablesForIt) {
    const Bitmap bitmap = testing::MakeGradientBitmap(16, 16);
    const testing::RawImage grey{8, 8, 3, std::vector<std::uint8_t>(192, 128)};
    for (int quality : {90, 50, 100}) {
        SCOPED_TRACE(quality);
        TJPEGSettings settings;
        settings.compressionQuality = quality;
        const auto library = testing::EncodeWithLibrary(
            grey, JCS_RGB, [&](jpeg_compress_struct& info) { jpeg_set_quality(&info, quality, TRUE); });
        const auto tables = QuantizationTables(library);
        ASSERT_FALSE(tables.empty());
        EXPECT_EQ(QuantizationTables(SaveBitmap(bitmap, settings)), tables);
    }
}

TEST(TJPEGImage_Save, KeepsTheFormAndWritesIdenticalBytesAgain) {
    TJPEGImage image;
    image.AssignFromBitmap(testing::MakeGradientBitmap(33, 1));
    const auto first = Save(image);
    EXPECT_TRUE(image.HasJPEGForm());
    EXPECT_EQ(image.Data().width, 33);
    EXPECT_EQ(image.Data().height, 1);
    EXPECT_EQ(Save(image), first);
    EXPECT_EQ(testing::DecodeWithLibrary(first).height, 1);
}

TEST(TJPEGImage_Save, PictureWithoutPixelsMakesAnEmptyFile) {
    testing::TempDir folder;
    {
        std::ofstream stale(folder.File("snap.jpg"));
        stale << "old content";
    }
    TJPEGImage image;
    image.AssignFromBitmap(Bitmap{});
    image.SaveToFile(folder.File("snap.jpg"));
    EXPECT_EQ(std::filesystem::file_size(folder.File("snap.jpg")), 0U);
    EXPECT_TRUE(image.HasJPEGForm());
}

TEST(TJPEGImage_Save, ConvertsOtherPixelFormatsAndTopDownRows) {
    Bitmap device = testing::MakeGradientBitmap(30, 20);
    device.SetPixelFormat(PixelFormat::Bit32);
    const Bitmap reference = testing::MakeGradientBitmap(30, 20);
    EXPECT_LE(testing::MaxDifference(reference, testing::DecodeWithLibrary(SaveBitmap(device))), 12);

    Bitmap topDown;
    BitmapInfoHeader header = reference.Header();
    header.height = -header.height;
    topDown.CreateSection(header, ColorMasks{}, {});
    for (int y = 0; y < 20; ++y) std::copy_n(reference.ScanLine(y), 90, topDown.ScanLine(y));
    EXPECT_LE(testing::MaxDifference(reference, testing::DecodeWithLibrary(SaveBitmap(topDown))), 12);
}

TEST(TJPEGImage_Save, GreyscaleAndProgressiveSettings) {
    const Bitmap bitmap = testing::MakeGradientBitmap(40, 40);
    TJPEGSettings settings;
    settings.grayscale = true;
    TJPEGImage grey;
    grey.SetSettings(settings);
    grey.AssignFromBitmap(bitmap);
    const auto greyBytes = Save(grey);
    EXPECT_EQ(testing::DecodeWithLibrary(greyBytes).components, 1);
    EXPECT_TRUE(grey.Data().grayscale);

    settings = TJPEGSettings{};
    settings.progressiveEncoding = true;
    const auto progressive = SaveBitmap(bitmap, settings);
    EXPECT_NE(testing::FindMarker(progressive, 0xC2), std::string::npos) << "progressive frame";
    TJPEGImage loaded;
    MemoryStream stream(progressive);
    loaded.LoadFromStream(stream);
    EXPECT_TRUE(loaded.Settings().progressiveEncoding);
    EXPECT_LE(testing::MaxDifference(loaded.GetBitmap(), testing::DecodeWithLibrary(progressive)), 0);
}

TEST(TJPEGImage_Save, ShortWriteIsAWriteError) {
    TJPEGImage image;
    image.AssignFromBitmap(testing::MakeGradientBitmap(16, 16));
    const std::uint8_t buffer[4] = {};
    ReadOnlyMemoryStream readOnly(buffer, sizeof buffer);
    EXPECT_THROW(image.SaveToStream(readOnly), EWriteError);
}

}  // namespace
}  // namespace flipbook
