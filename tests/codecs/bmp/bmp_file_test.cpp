// SPDX-License-Identifier: GPL-3.0-or-later
#include "codecs/bmp/bmp_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <utility>

#include "platform/core/exception.h"
#include "support/failing_close.h"
#include "support/temp_dir.h"

namespace flipbook {
namespace {

using Bytes = std::vector<std::uint8_t>;

void Append(Bytes& out, std::uint64_t value, int size) {
    for (int i = 0; i < size; ++i) out.push_back(static_cast<std::uint8_t>(i < 8 ? value >> (8 * i) : 0));
}
std::uint32_t Field(const Bytes& bytes, std::size_t offset, int size = 4) {
    std::uint32_t value = 0;
    for (int i = size - 1; i >= 0; --i) value = value << 8 | bytes.at(offset + static_cast<std::size_t>(i));
    return value;
}

// A BMP file image built field by field; `body` is what follows the header (masks, table, pixels).
struct FileImage {
    std::uint32_t headerSize = 40;
    std::int32_t width = 2, height = 1;
    std::uint16_t planes = 1, bitCount = 8;
    std::uint32_t compression = 0, sizeImage = 0, clrUsed = 0;
    Bytes body;

    Bytes Build() const {
        Bytes out{'B', 'M'};
        Append(out, 0, 12);  // size and offset: not used when reading
        Append(out, headerSize, 4);
        if (headerSize == 12) {
            for (std::uint32_t value : {std::uint32_t(width), std::uint32_t(height), std::uint32_t{planes},
                                        std::uint32_t{bitCount}})
                Append(out, value, 2);
        } else {
            Append(out, std::uint32_t(width), 4), Append(out, std::uint32_t(height), 4);
            Append(out, planes, 2), Append(out, bitCount, 2), Append(out, compression, 4);
            Append(out, sizeImage, 4), Append(out, 2835, 4), Append(out, 1417, 4), Append(out, clrUsed, 4);
            Append(out, 7, 4);
            out.resize(out.size() + std::max(headerSize, 40u) - 40);
        }
        out.insert(out.end(), body.begin(), body.end());
        return out;
    }
};

Bitmap Load(const Bytes& bytes) {
    Bitmap bitmap;
    MemoryStream stream(bytes);
    LoadBmpStream(bitmap, stream);
    return bitmap;
}

Bytes Save(const Bitmap& bitmap) {
    MemoryStream stream;
    SaveBmpStream(bitmap, stream);
    return stream.TakeBytes();
}

std::string Message(const std::function<void()>& action) {
    try {
        action();
    } catch (const Exception& error) {
        return error.what();
    }
    return "(no error)";
}

Bitmap MakeBitmap(int width, int height, std::uint16_t bitCount, std::uint32_t compression = kBiRgb,
                  ColorMasks masks = {}, std::vector<RgbQuad> table = {}) {
    BitmapInfoHeader header;
    header.width = width, header.height = height, header.bitCount = bitCount,
    header.compression = compression;
    header.sizeImage = static_cast<std::uint32_t>((width * bitCount + 31) / 32 * 4 * std::abs(height));
    Bitmap bitmap;
    bitmap.CreateSection(header, masks, std::move(table));
    std::uint8_t* pixels = bitmap.MutablePixels();
    for (std::size_t i = 0; i < bitmap.PixelBytes(); ++i) pixels[i] = static_cast<std::uint8_t>(i * 7 + 1);
    return bitmap;
}

// A 24-bit picture made as the program makes its frames: by giving a Bitmap a size.
Bitmap Snapshot(int width, int height) {
    Bitmap bitmap;
    bitmap.SetSize(width, height);
    std::uint8_t* pixels = bitmap.MutablePixels();
    for (std::size_t i = 0; i < bitmap.PixelBytes(); ++i) pixels[i] = static_cast<std::uint8_t>(i * 7 + 1);
    return bitmap;
}

TEST(BmpSave_Snapshot, Writes24BitFileImageWithRowsAsHeld) {
    const Bytes large = Save(Snapshot(640, 480));
    EXPECT_EQ(large.size(), 921654u);
    EXPECT_EQ(Field(large, 2), 921654u);
    EXPECT_EQ(Field(large, 34), 921600u);

    const Bitmap small = Snapshot(3, 2);
    const Bytes bytes = Save(small);
    ASSERT_EQ(bytes.size(), 78u);
    const Bytes header(bytes.begin(), bytes.begin() + 54);
    Bytes expected{'B', 'M'};
    for (auto [value, size] : {std::pair{78, 4},
                               {0, 4},
                               {54, 4},
                               {40, 4},
                               {3, 4},
                               {2, 4},
                               {1, 2},
                               {24, 2},
                               {0, 4},
                               {24, 4},
                               {0, 16}})
        Append(expected, static_cast<std::uint64_t>(value), size);
    EXPECT_EQ(header, expected);
    EXPECT_TRUE(std::equal(bytes.begin() + 54, bytes.end(), small.Pixels()));  // padding included
}

TEST(BmpSave_EveryLayout, WritesHeaderMasksAndTableThatLoadBack) {
    const std::vector<RgbQuad> grey{{0, 0, 0, 0}, {9, 9, 9, 0}, {200, 100, 50, 0}};
    struct Case {
        std::uint16_t bits;
        std::uint32_t compression;
        ColorMasks masks;
        int height;
        std::vector<RgbQuad> table;
        std::uint32_t colorsUsed, expectedOffset;
    } cases[] = {
        {1, kBiRgb, {}, 3, {grey[0], grey[2]}, 2, 62},
        {4, kBiRgb, {}, -3, grey, 3, 66},  // colours used lowers the table
        {8, kBiRgb, {}, 3, std::vector<RgbQuad>(256, grey[2]), 256, 1078},
        {16, kBiRgb, {}, 3, {}, 0, 54},
        {16, kBiBitFields, {0xF800, 0x07E0, 0x001F}, -3, {}, 0, 66},
        {24, kBiRgb, {}, -3, {}, 0, 54},
        {32, kBiBitFields, {0xFF, 0xFF00, 0xFF0000}, 3, {}, 0, 66},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.bits);
        Bitmap bitmap = MakeBitmap(5, test.height, test.bits, test.compression, test.masks, test.table);
        bitmap.SetFileFields(100, 200, test.colorsUsed, 0);
        const Bytes bytes = Save(bitmap);
        EXPECT_EQ(Field(bytes, 10), test.expectedOffset);
        EXPECT_EQ(Field(bytes, 2), bytes.size());
        EXPECT_EQ(static_cast<std::int32_t>(Field(bytes, 22)), 3);  // bottom-up, whatever memory holds
        if (test.compression == kBiBitFields) {
            EXPECT_EQ(Field(bytes, 54), test.masks.red);
        }

        const Bitmap loaded = Load(bytes);
        BitmapInfoHeader bottomUp = bitmap.Header();
        bottomUp.height = 3;
        EXPECT_EQ(loaded.Header(), bottomUp);
        EXPECT_EQ(loaded.Masks(), bitmap.Masks());
        // The file holds the colours used; the loaded table is exactly those entries.
        const std::size_t written = test.colorsUsed != 0 ? test.colorsUsed : bitmap.ColorTable().size();
        ASSERT_LE(written, bitmap.ColorTable().size());
        EXPECT_EQ(loaded.ColorTable(),
                  std::vector<RgbQuad>(bitmap.ColorTable().begin(), bitmap.ColorTable().begin() + written));
        ASSERT_EQ(loaded.PixelBytes(), bitmap.PixelBytes());
        for (int y = 0; y < 3; ++y) {
            const std::uint8_t* row = std::as_const(bitmap).ScanLine(y);
            EXPECT_TRUE(std::equal(row, row + bitmap.RowStride(), std::as_const(loaded).ScanLine(y))) << y;
            EXPECT_EQ(loaded.PixelColor(4, y), bitmap.PixelColor(4, y));
        }
    }
}

TEST(BmpSave_TopDown, WritesTheFileOfTheSamePictureHeldBottomUp) {
    // Frames from the camera are held top-down; their rows go out in several gathered writes.
    const Bitmap topDown = MakeBitmap(700, -500, 24);
    Bitmap bottomUp = MakeBitmap(700, 500, 24);
    for (int y = 0; y < 500; ++y) std::copy_n(topDown.ScanLine(y), topDown.RowStride(), bottomUp.ScanLine(y));
    const Bytes bytes = Save(topDown);
    EXPECT_TRUE(bytes == Save(bottomUp));
    EXPECT_EQ(static_cast<std::int32_t>(Field(bytes, 22)), 500);
    EXPECT_EQ(Field(bytes, 34), 2100u * 500);
    EXPECT_TRUE(std::equal(bytes.begin() + 54, bytes.begin() + 54 + 2100, topDown.ScanLine(499)));
}

TEST(BmpSave_BitFields, WritesDefaultMasksWhenRedMaskIsZero) {
    EXPECT_EQ(Field(Save(MakeBitmap(2, 2, 16, kBiBitFields, {0, 0x3, 0})), 54), 0xF800u);
    const Bytes bytes = Save(MakeBitmap(2, 2, 32, kBiBitFields, {0, 0x3, 0}));
    EXPECT_EQ(Field(bytes, 54), 0xFF0000u);
    EXPECT_EQ(Field(bytes, 58), 0x00FF00u);
    EXPECT_EQ(Field(bytes, 62), 0x0000FFu);
}

TEST(BmpSave_DescriptionFromFile, NeverPromisesMoreThanItWrites) {
    // An image size beyond the data and a colour count for a table a 24-bit picture never keeps.
    FileImage file{.bitCount = 24,
                   .sizeImage = 0x7F000000,
                   .clrUsed = 2,
                   .body = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16}};
    const Bitmap loaded = Load(file.Build());
    const Bytes saved = Save(loaded);
    EXPECT_EQ(saved.size(), 54u + 8);
    EXPECT_EQ(Field(saved, 34), 8u);
    EXPECT_EQ(Field(saved, 46), 0u);
    EXPECT_EQ(loaded.PixelColor(1, 0), Load(saved).PixelColor(1, 0));
}

TEST(BmpFile_Files, SaveEmptyAsNothingAndReportFileFailures) {
    testing::TempDir folder;
    const std::string empty = folder.File("empty.bmp");
    SaveBmpFile(Bitmap(), empty);
    EXPECT_EQ(std::filesystem::file_size(empty), 0u);
    Bitmap bitmap = MakeBitmap(2, 2, 24);
    LoadBmpFile(bitmap, empty);
    EXPECT_TRUE(bitmap.Empty());

    const std::string snap = folder.File("snap.bmp");
    const Bitmap frame = MakeBitmap(3, -2, 24);
    SaveBmpFile(frame, snap);
    LoadBmpFile(bitmap, snap);
    EXPECT_FALSE(bitmap.TopDown());
    EXPECT_EQ(bitmap.PixelColor(0, 0), frame.PixelColor(0, 0));
    // A write error that the file system reports only when the file is closed fails the save.
    testing::FailNextCloseOf(snap);
    EXPECT_EQ(Message([&] { SaveBmpFile(bitmap, snap); }), "Stream write error");

    std::ofstream(folder.File("plain")) << "x";
    const std::string beneath = folder.File("plain") + "/a.bmp";
    EXPECT_EQ(Message([&] { SaveBmpFile(bitmap, beneath); }), "Cannot create file " + beneath);
    EXPECT_EQ(Message([&] { LoadBmpFile(bitmap, beneath); }), "Cannot open file " + beneath);
    const std::uint8_t storage[1] = {};
    ReadOnlyMemoryStream readOnly(storage, 0);
    EXPECT_EQ(Message([&] { SaveBmpStream(bitmap, readOnly); }), "Stream write error");
}

TEST(BmpLoad_HeaderForms, ReadTablesAndMasksWhereEachFormKeepsThem) {
    FileImage core{.headerSize = 12, .body = {}};
    for (int i = 0; i < 256; ++i) core.body.insert(core.body.end(), {std::uint8_t(i), 7, 9});
    core.body.insert(core.body.end(), {5, 200, 0, 0});
    const Bitmap fromCore = Load(core.Build());
    EXPECT_EQ(fromCore.ColorTable().size(), 256u);
    EXPECT_EQ(fromCore.ColorTable()[200], (RgbQuad{200, 7, 9, 0}));
    EXPECT_EQ(fromCore.PixelColor(0, 0), (Rgb{9, 7, 5}));

    const Bytes masksAndPixels{0, 0xF8, 0, 0, 0xE0, 0x07, 0, 0, 0x1F, 0, 0, 0, 0x00, 0xF8, 0x1F, 0x00};
    FileImage withMasks{.bitCount = 16, .compression = kBiBitFields, .body = masksAndPixels};
    FileImage inside = withMasks;
    inside.headerSize = 108;
    Bytes bytes = inside.Build();
    std::copy(masksAndPixels.begin(), masksAndPixels.begin() + 12,
              bytes.begin() + 54);  // masks in the header
    bytes.erase(bytes.begin() + 122, bytes.begin() + 134);
    for (const Bitmap& bitmap : {Load(withMasks.Build()), Load(bytes)}) {
        EXPECT_EQ(bitmap.GetPixelFormat(), PixelFormat::Bit16);
        EXPECT_EQ(bitmap.PixelColor(0, 0), (Rgb{255, 0, 0}));
        EXPECT_EQ(bitmap.PixelColor(1, 0), (Rgb{0, 0, 255}));
    }
}

TEST(BmpLoad_Data, ReadsOnlyTheBytesPresentAndKeepsTheFileFields) {
    FileImage file{.width = 3, .height = 2, .clrUsed = 2, .body = {0, 0, 0, 0, 255, 255, 255, 0, 1, 1, 1}};
    Bytes bytes{'x', 'y'};  // loading starts at the stream's position
    const Bytes image = file.Build();
    bytes.insert(bytes.end(), image.begin(), image.end());
    MemoryStream stream(bytes);
    stream.SetPosition(2);
    Bitmap bitmap;
    LoadBmpStream(bitmap, stream);
    EXPECT_EQ(bitmap.Header().sizeImage, 8u);
    EXPECT_EQ(Bytes(bitmap.Pixels(), bitmap.Pixels() + 8), (Bytes{1, 1, 1, 0, 0, 0, 0, 0}));
    EXPECT_EQ(bitmap.Header().xPelsPerMeter, 2835);
    EXPECT_EQ(bitmap.Header().clrUsed, 2u);
    EXPECT_EQ(bitmap.Header().clrImportant, 7u);

    file.body.insert(file.body.end(), 6, 9);
    file.sizeImage = 4;  // the image size ends the data, whatever follows
    MemoryStream longer(file.Build());
    LoadBmpStream(bitmap, longer);
    EXPECT_EQ(longer.Position(), 14 + 40 + 8 + 4);
}

TEST(BmpLoad_Failures, RefuseWithTheirMessageAndLeaveTheBitmapAlone) {
    const std::string invalid = "Bitmap image is not valid", readError = "Stream read error";
    const FileImage good{.body = Bytes(1024 + 4, 1)};
    struct Case {
        const char* name;
        std::function<void(FileImage&)> change;
        std::string message;
        std::size_t cutTo = 0;
    } cases[] = {
        {"shorter than the file header", [](FileImage&) {}, readError, 13},
        {"ends inside the header", [](FileImage&) {}, invalid, 30},
        {"header size 20", [](FileImage& f) { f.headerSize = 20; }, invalid},
        {"header size beyond the file", [](FileImage& f) { f.headerSize = 5000; }, invalid, 1000},
        {"two planes", [](FileImage& f) { f.planes = 2; }, invalid},
        {"2 bits", [](FileImage& f) { f.bitCount = 2; }, invalid},
        {"embedded JPEG", [](FileImage& f) { f.compression = 4; }, invalid},
        {"embedded PNG", [](FileImage& f) { f.compression = 5; }, invalid},
        {"run-length 4 at 8 bits", [](FileImage& f) { f.compression = kBiRle4; }, invalid},
        {"top-down run-length", [](FileImage& f) { f.compression = kBiRle8, f.height = -1; }, invalid},
        {"bit fields at 8 bits", [](FileImage& f) { f.compression = kBiBitFields; }, invalid},
        {"257 colours", [](FileImage& f) { f.clrUsed = 257; }, invalid},
        {"width 0", [](FileImage& f) { f.width = 0; }, invalid},
        {"negative width", [](FileImage& f) { f.width = -2; }, invalid},
        {"memory far beyond the data", [](FileImage& f) { f.width = f.height = 20000; }, invalid},
        {"memory beyond the limit", [](FileImage& f) { f.width = f.height = 65536, f.bitCount = 32; },
         invalid},
        {"colour table cut short", [](FileImage&) {}, readError, 54 + 500},
        {"masks cut short", [](FileImage& f) { f.bitCount = 16, f.compression = kBiBitFields; }, readError,
         60},
        {"run past the row",
         [](FileImage& f) {
             f.compression = kBiRle8, f.clrUsed = 1, f.sizeImage = 16, f.body = {0, 0, 0, 0, 3, 1};
         },
         invalid},
        {"run past the last row",
         [](FileImage& f) {
             f.compression = kBiRle8, f.clrUsed = 1, f.sizeImage = 16,
             f.body = {0, 0, 0, 0, 2, 1, 0, 0, 1, 1};
         },
         invalid},
        {"delta out of the picture",
         [](FileImage& f) {
             f.compression = kBiRle8, f.clrUsed = 1, f.sizeImage = 16, f.body = {0, 0, 0, 0, 0, 2, 3, 0};
         },
         invalid},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        FileImage file = good;
        test.change(file);
        Bytes bytes = file.Build();
        if (test.cutTo != 0) bytes.resize(test.cutTo);
        Bitmap bitmap = MakeBitmap(2, 2, 24);
        const Bitmap before = bitmap;
        int changes = 0;
        bitmap.OnChange = [&] { ++changes; };
        EXPECT_EQ(Message([&] {
                      MemoryStream stream(bytes);
                      LoadBmpStream(bitmap, stream);
                  }),
                  test.message);
        EXPECT_EQ(changes, 0);
        EXPECT_EQ(bitmap.Header(), before.Header());
        EXPECT_TRUE(std::equal(bitmap.Pixels(), bitmap.Pixels() + 12, before.Pixels()));
    }
}

// Rows of palette indexes from the top; -1 is a pixel the data leaves undefined.
using Indexes = std::vector<std::vector<int>>;

TEST(BmpLoad_RunLength, DecodesIntoTheDevicePictureAsThePublishedFormatDefines) {
    std::vector<RgbQuad> table;
    Bytes tableBytes;
    for (std::uint8_t i = 0; i < 16; ++i) {
        table.push_back({std::uint8_t(255 - i), std::uint8_t(i * 16), std::uint8_t(i + 1), 0});
        tableBytes.insert(tableBytes.end(), {table.back().blue, table.back().green, table.back().red, 0});
    }
    struct Case {
        const char* name;
        std::uint16_t bits;
        Bytes data;
        Indexes expected;
    } cases[] = {
        {"runs, end of line, end of bitmap", 8, {3, 4, 0, 0, 1, 9, 0, 1, 5, 5}, {{9, -1, -1}, {4, 4, 4}}},
        {"absolute run padded to a word", 8, {0, 3, 1, 2, 3, 0, 0, 0, 2, 7, 0, 1}, {{7, 7, -1}, {1, 2, 3}}},
        {"delta", 8, {1, 6, 0, 2, 1, 1, 1, 8}, {{-1, -1, 8}, {6, -1, -1}}},
        {"index beyond the table is black", 8, {3, 200, 0, 1}, {{-1, -1, -1}, {-1, -1, -1}}},
        {"data that simply ends", 8, {0, 3, 1, 2}, {{-1, -1, -1}, {1, 2, -1}}},
        {"nibble runs alternate", 4, {3, 0x4A, 0, 0, 2, 0x11}, {{1, 1, -1}, {4, 10, 4}}},
        {"absolute nibbles padded to a word", 4, {0, 3, 0x56, 0x70, 0, 0, 1, 0x20}, {{2, -1, -1}, {5, 6, 7}}},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        FileImage file{.width = 3, .height = 2, .bitCount = test.bits, .clrUsed = 16, .body = tableBytes};
        file.compression = test.bits == 8 ? kBiRle8 : kBiRle4;
        file.sizeImage = static_cast<std::uint32_t>(test.data.size());
        file.body.insert(file.body.end(), test.data.begin(), test.data.end());
        const Bitmap bitmap = Load(file.Build());
        EXPECT_EQ(bitmap.GetPixelFormat(), PixelFormat::Device);
        EXPECT_EQ(bitmap.Header().xPelsPerMeter, 2835);
        for (int y = 0; y < 2; ++y) {
            for (int x = 0; x < 3; ++x) {
                const int index = test.expected[y][x];
                const RgbQuad entry = index < 0 ? RgbQuad{} : table[index];
                EXPECT_EQ(bitmap.PixelColor(x, y), (Rgb{entry.red, entry.green, entry.blue}))
                    << x << "," << y;
            }
        }
    }
}

}  // namespace
}  // namespace flipbook
