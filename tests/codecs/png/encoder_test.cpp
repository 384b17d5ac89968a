// SPDX-License-Identifier: GPL-3.0-or-later
// Writing: the bytes of the chunks we write, the IDAT framing, and every file read back by libpng and
// by our own decoder.
#include <gtest/gtest.h>
#include <png.h>
#include <zlib.h>

#include <random>

#include "codecs/png/header_chunk.h"
#include "codecs/png/png_builder.h"
#include "codecs/png/png_object.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/canvas.h"
#include "platform/graphics/stream.h"
#include "support/temp_dir.h"

namespace flipbook {
namespace {

using testing::Bytes;
using testing::LibpngPicture;

Bytes Save(const TPNGObject& png) {
    MemoryStream stream;
    png.SaveToStream(stream);
    return stream.Bytes();
}

Bytes SaveBitmap(const Bitmap& bitmap) {
    TPNGObject png;
    png.AssignFromBitmap(bitmap);
    return Save(png);
}

Bytes Inflate(const Bytes& data) {
    Bytes out(1 << 24);
    uLongf size = out.size();
    if (uncompress(out.data(), &size, data.data(), static_cast<uLong>(data.size())) != Z_OK) return {};
    out.resize(size);
    return out;
}

// The chunk types of a file in order.
std::vector<std::string> ChunkTypes(const Bytes& file) {
    std::vector<std::string> types;
    for (std::size_t at = 8; at + 12 <= file.size();) {
        const std::uint32_t length = (std::uint32_t{file[at]} << 24) | (std::uint32_t{file[at + 1]} << 16) |
                                     (std::uint32_t{file[at + 2]} << 8) | file[at + 3];
        types.emplace_back(file.begin() + static_cast<std::ptrdiff_t>(at + 4),
                           file.begin() + static_cast<std::ptrdiff_t>(at + 8));
        at += 12 + std::size_t{length};
    }
    return types;
}

// The data of the first chunk of a type.
Bytes ChunkData(const Bytes& file, const std::string& type) {
    for (std::size_t at = 8; at + 12 <= file.size();) {
        const std::uint32_t length = (std::uint32_t{file[at]} << 24) | (std::uint32_t{file[at + 1]} << 16) |
                                     (std::uint32_t{file[at + 2]} << 8) | file[at + 3];
        if (std::string(file.begin() + static_cast<std::ptrdiff_t>(at + 4),
                        file.begin() + static_cast<std::ptrdiff_t>(at + 8)) == type) {
            return Bytes(file.begin() + static_cast<std::ptrdiff_t>(at + 8),
                         file.begin() + static_cast<std::ptrdiff_t>(at + 8 + length));
        }
        at += 12 + std::size_t{length};
    }
    return {};
}

Bitmap MakeBitmap(int width, int height, int bits, unsigned seed, bool topDown = false) {
    BitmapInfoHeader info;
    info.width = width;
    info.height = topDown ? -height : height;
    info.bitCount = static_cast<std::uint16_t>(bits);
    std::vector<RgbQuad> table;
    std::mt19937 generator(seed);
    if (bits <= 8) {
        for (int i = 0; i < (1 << bits); ++i) {
            table.push_back(RgbQuad{static_cast<std::uint8_t>(generator()),
                                    static_cast<std::uint8_t>(generator()),
                                    static_cast<std::uint8_t>(generator()), 0});
        }
    }
    Bitmap bitmap;
    bitmap.CreateSection(info, ColorMasks{}, table);
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = bitmap.ScanLine(y);
        for (std::size_t i = 0; i < bitmap.RowStride(); ++i) row[i] = static_cast<std::uint8_t>(generator());
    }
    return bitmap;
}

void ExpectSameColors(const Bitmap& actual, const Bitmap& expected) {
    ASSERT_EQ(actual.Width(), expected.Width());
    ASSERT_EQ(actual.Height(), expected.Height());
    for (int y = 0; y < expected.Height(); ++y) {
        for (int x = 0; x < expected.Width(); ++x)
            ASSERT_EQ(actual.PixelColor(x, y), expected.PixelColor(x, y)) << x << "," << y;
    }
}

// libpng's colour of pixel (x, y) of an 8-bit or smaller picture without alpha.
Rgb LibpngColor(const LibpngPicture& picture, std::uint32_t x, std::uint32_t y) {
    const Bytes& row = picture.rows[y];
    if (picture.colorType == 2) return Rgb{row[3 * x], row[3 * x + 1], row[3 * x + 2]};
    const int depth = picture.bitDepth;
    const int index = (row[x * depth / 8] >> (8 - depth - x * depth % 8)) & ((1 << depth) - 1);
    return Rgb{picture.palette[3 * index], picture.palette[3 * index + 1], picture.palette[3 * index + 2]};
}

TEST(PngEncoder, TruecolorBitmap_GivesHeaderAndSubFilteredRows) {
    const Bitmap bitmap = MakeBitmap(5, 3, 24, 1);
    const Bytes file = SaveBitmap(bitmap);
    EXPECT_EQ(ChunkTypes(file), (std::vector<std::string>{"IHDR", "IDAT", "IEND"}));
    EXPECT_EQ(ChunkData(file, "IHDR"), (Bytes{0, 0, 0, 5, 0, 0, 0, 3, 8, 2, 0, 0, 0}));
    const Bytes rows = Inflate(testing::IdatData(file));
    ASSERT_EQ(rows.size(), 3u * (1 + 15));
    for (int y = 0; y < 3; ++y) {
        const std::uint8_t* row = &rows[static_cast<std::size_t>(y) * 16];
        EXPECT_EQ(row[0], 1);
        // The first pixel is unchanged by Sub; rows start at the top of the picture.
        const Rgb first = bitmap.PixelColor(0, y);
        EXPECT_EQ((Rgb{row[1], row[2], row[3]}), first);
    }
    EXPECT_EQ(Bytes(file.end() - 12, file.end()),
              (Bytes{0, 0, 0, 0, 0x49, 0x45, 0x4E, 0x44, 0xAE, 0x42, 0x60, 0x82}));
}

TEST(PngEncoder, RowsOfTheExamples) {
    Bitmap red = MakeBitmap(1, 1, 24, 0);
    red.ScanLine(0)[0] = 0;
    red.ScanLine(0)[1] = 0;
    red.ScanLine(0)[2] = 255;
    EXPECT_EQ(Inflate(testing::IdatData(SaveBitmap(red))), (Bytes{0x01, 0xFF, 0x00, 0x00}));
    Bitmap two = MakeBitmap(2, 1, 24, 0);
    const std::uint8_t pixels[] = {30, 20, 10, 35, 25, 15};
    std::copy(std::begin(pixels), std::end(pixels), two.ScanLine(0));
    EXPECT_EQ(Inflate(testing::IdatData(SaveBitmap(two))), (Bytes{0x01, 0x0A, 0x14, 0x1E, 0x05, 0x05, 0x05}));
}

TEST(PngEncoder, TopDownBitmap_GivesTheSameFile) {
    const Bitmap bottomUp = MakeBitmap(7, 5, 24, 3);
    Bitmap topDown = MakeBitmap(7, 5, 24, 0, true);
    for (int y = 0; y < 5; ++y) std::copy_n(bottomUp.ScanLine(y), bottomUp.RowStride(), topDown.ScanLine(y));
    EXPECT_EQ(SaveBitmap(topDown), SaveBitmap(bottomUp));
}

TEST(PngEncoder, EveryBitmapDepth_SavesAndReadsBackAlike) {
    struct Case {
        int bits;
        int colorType, bitDepth;
        std::size_t paletteEntries;
    };
    for (const Case& c :
         std::vector<Case>{{1, 3, 1, 2}, {4, 3, 4, 16}, {8, 3, 8, 256}, {24, 2, 8, 0}, {32, 2, 8, 0}}) {
        SCOPED_TRACE(c.bits);
        const Bitmap bitmap = MakeBitmap(19, 7, c.bits, static_cast<unsigned>(c.bits));
        const Bytes file = SaveBitmap(bitmap);
        const Bytes header = ChunkData(file, "IHDR");
        EXPECT_EQ(header[8], c.bitDepth);
        EXPECT_EQ(header[9], c.colorType);
        EXPECT_EQ(ChunkData(file, "PLTE").size(), 3 * c.paletteEntries);
        EXPECT_EQ(ChunkTypes(file)[1], c.paletteEntries ? "PLTE" : "IDAT");
        // Our decoder and libpng both see the Bitmap's colours.
        ExpectSameColors(testing::DecodePng(file), bitmap);
        const LibpngPicture decoded = testing::ReadWithLibpng(file);
        for (std::uint32_t y = 0; y < 7; ++y) {
            for (std::uint32_t x = 0; x < 19; ++x)
                ASSERT_EQ(LibpngColor(decoded, x, y), bitmap.PixelColor(int(x), int(y)));
        }
    }
}

TEST(PngEncoder, TransparentBitmap_AddsTransparencyChunk) {
    Bitmap truecolor = MakeBitmap(3, 2, 24, 5);
    truecolor.SetTransparent(true);
    truecolor.SetTransparentColor(Rgb{0x11, 0x22, 0x33});
    Bytes file = SaveBitmap(truecolor);
    EXPECT_EQ(ChunkTypes(file), (std::vector<std::string>{"IHDR", "tRNS", "IDAT", "IEND"}));
    EXPECT_EQ(ChunkData(file, "tRNS"), (Bytes{0, 0x11, 0, 0x22, 0, 0x33}));
    const LibpngPicture decoded = testing::ReadWithLibpng(file);
    EXPECT_EQ(decoded.transparency, (Bytes{0, 0x11, 0, 0x22, 0, 0x33}));
    EXPECT_TRUE(testing::DecodePng(file).Transparent());

    Bitmap indexed = MakeBitmap(3, 2, 8, 6);
    const RgbQuad entry = indexed.ColorTable()[4];
    indexed.SetTransparent(true);
    indexed.SetTransparentColor(Rgb{entry.red, entry.green, entry.blue});
    file = SaveBitmap(indexed);
    EXPECT_EQ(ChunkTypes(file), (std::vector<std::string>{"IHDR", "PLTE", "tRNS", "IDAT", "IEND"}));
    const Bytes transparency = ChunkData(file, "tRNS");
    ASSERT_FALSE(transparency.empty());
    EXPECT_EQ(transparency.back(), 0);
    EXPECT_LE(transparency.size(), 5u);  // the first entry of that colour, which may come before 4
    EXPECT_EQ(testing::DecodePng(file).TransparentColor(), (Rgb{entry.red, entry.green, entry.blue}));
}

TEST(PngEncoder, ObjectWithoutChunks_SavesTheSignatureAlone) {
    TPNGObject png;
    EXPECT_EQ(Save(png), testing::Signature());
    png.AssignFromBitmap(Bitmap());
    EXPECT_EQ(Save(png), testing::Signature());
}

Bytes NoiseFile(int width, int height, std::uint32_t maxIdatSize) {
    TPNGObject png;
    png.AssignFromBitmap(MakeBitmap(width, height, 24, 77));
    png.SetMaxIdatSize(maxIdatSize);
    return Save(png);
}

TEST(PngEncoder, ImageDataSplitsIntoChunksOfTheMaximumSize) {
    for (std::uint32_t maxSize : {65535u, 100000u}) {
        std::vector<std::uint32_t> sizes;
        const Bytes file = NoiseFile(300, 300, maxSize);
        testing::IdatData(file, &sizes);
        ASSERT_GE(sizes.size(), 3u);
        for (std::size_t i = 0; i + 1 < sizes.size(); ++i) EXPECT_EQ(sizes[i], maxSize);
        EXPECT_GT(sizes.back(), 0u);
        EXPECT_LE(sizes.back(), maxSize);
    }
}

TEST(PngEncoder, ImageDataOfAnExactMultiple_HasNoEmptyChunk) {
    // Stored (uncompressed) data grows by a known amount; find a width whose data is exactly 65535 bytes.
    for (int width = 65000; width <= 65535; ++width) {
        TPNGObject png;
        png.AssignFromBitmap(MakeBitmap(width, 1, 8, 3));
        png.SetCompressionLevel(0);
        png.SetFilterSet(1);
        const Bytes file = Save(png);
        std::vector<std::uint32_t> sizes;
        const Bytes data = testing::IdatData(file, &sizes);
        if (data.size() % 65535 != 0) continue;
        EXPECT_EQ(sizes, (std::vector<std::uint32_t>(data.size() / 65535, 65535)));
        EXPECT_EQ(Inflate(data).size(), static_cast<std::size_t>(width) + 1);
        return;
    }
    FAIL() << "no width gave an exact multiple";
}

TEST(PngEncoder, SavingTwice_GivesTheSameBytes) {
    TPNGObject png;
    png.AssignFromBitmap(MakeBitmap(40, 30, 4, 8));
    const Bytes first = Save(png);
    EXPECT_EQ(Save(png), first);
    testing::TempDir folder;
    png.SaveToFile(folder.File("twice.png"));
    TPNGObject loaded;
    loaded.LoadFromFile(folder.File("twice.png"));
    EXPECT_EQ(Save(loaded), first);
}

TEST(PngEncoder, SeveralFiltersOnShortRows_ChooseNone) {
    TPNGObject png;
    png.AssignFromBitmap(MakeBitmap(2, 6, 8, 4));
    png.SetFilterSet(0x1E);  // Sub, Up, Average, Paeth; None not in the set
    const Bytes rows = Inflate(testing::IdatData(Save(png)));
    ASSERT_EQ(rows.size(), 6u * 3);
    for (std::size_t y = 0; y < 6; ++y) EXPECT_EQ(rows[3 * y], 0);
}

// Pictures of every colour type and depth, read by our decoder from libpng's files and written again
// with every filter choice and both interlace methods, are read by libpng with the samples we hold:
// 16-bit samples as their high byte times 256, 2-bit samples at 4 bits.
TEST(PngEncoder, EveryColorTypeAndDepth_ReadsBackInLibpng) {
    struct Shape {
        int colorType, bitDepth;
    };
    const std::vector<Shape> shapes{{0, 1}, {0, 2}, {0, 4}, {0, 8}, {0, 16}, {2, 8}, {2, 16}, {3, 1},
                                    {3, 2}, {3, 4}, {3, 8}, {4, 8}, {4, 16}, {6, 8}, {6, 16}};
    for (const Shape& shape : shapes) {
        const int channels = shape.colorType == 2   ? 3
                             : shape.colorType == 6 ? 4
                             : shape.colorType == 4 ? 2
                                                    : 1;
        LibpngPicture original{13, 9, shape.bitDepth, shape.colorType, {}, {}, {}};
        std::mt19937 generator(static_cast<unsigned>(shape.colorType * 100 + shape.bitDepth));
        const int maxSample =
            shape.colorType == 3 ? std::min(3, (1 << shape.bitDepth) - 1) : (1 << shape.bitDepth) - 1;
        if (shape.colorType == 3) {
            for (int i = 0; i < 3 * (maxSample + 1); ++i)
                original.palette.push_back(static_cast<std::uint8_t>(generator()));
        }
        std::vector<std::vector<int>> samples(original.height);
        for (std::uint32_t y = 0; y < original.height; ++y) {
            Bytes row((original.width * channels * shape.bitDepth + 7) / 8, 0);
            for (std::uint32_t i = 0; i < original.width * channels; ++i) {
                const int value = static_cast<int>(generator() % (maxSample + 1));
                samples[y].push_back(value);
                if (shape.bitDepth == 16) {
                    row[2 * i] = static_cast<std::uint8_t>(value >> 8);
                    row[2 * i + 1] = static_cast<std::uint8_t>(value);
                } else {
                    const std::uint32_t bit = i * shape.bitDepth;
                    row[bit / 8] =
                        static_cast<std::uint8_t>(row[bit / 8] | (value << (8 - shape.bitDepth - bit % 8)));
                }
            }
            original.rows.push_back(row);
        }
        TPNGObject png;
        MemoryStream input(testing::WriteWithLibpng(original));
        png.LoadFromStream(input);
        for (std::uint8_t interlace : {0, 1}) {
            for (std::uint8_t filterSet : {1, 2, 4, 8, 16, 0x1F}) {
                SCOPED_TRACE(::testing::Message()
                             << "type " << shape.colorType << " depth " << shape.bitDepth << " interlace "
                             << int(interlace) << " filters " << int(filterSet));
                png.SetInterlaceMethod(interlace);
                png.SetFilterSet(filterSet);
                const LibpngPicture written = testing::ReadWithLibpng(Save(png));
                const int writtenDepth = shape.bitDepth == 2 ? 4 : shape.bitDepth;
                ASSERT_EQ(written.bitDepth, writtenDepth);
                ASSERT_EQ(written.colorType, shape.colorType);
                for (std::uint32_t y = 0; y < original.height; ++y) {
                    for (std::uint32_t i = 0; i < original.width * channels; ++i) {
                        int expected = samples[y][i];
                        if (shape.bitDepth == 16) expected &= 0xFF00;
                        if (shape.bitDepth == 2 && shape.colorType == 0) expected *= 5;
                        int actual = 0;
                        if (writtenDepth == 16) {
                            actual = (written.rows[y][2 * i] << 8) | written.rows[y][2 * i + 1];
                        } else {
                            const std::uint32_t bit = i * writtenDepth;
                            actual = (written.rows[y][bit / 8] >> (8 - writtenDepth - bit % 8)) &
                                     ((1 << writtenDepth) - 1);
                        }
                        ASSERT_EQ(actual, expected) << "sample " << i << " of row " << y;
                    }
                }
            }
        }
    }
}

// libpng writing the same rows with the settings our encoder uses by default.
Bytes WriteLikeOurEncoder(const Bitmap& bitmap) {
    LibpngPicture picture{static_cast<std::uint32_t>(bitmap.Width()),
                          static_cast<std::uint32_t>(bitmap.Height()),
                          8,
                          2,
                          {},
                          {},
                          {}};
    for (int y = 0; y < bitmap.Height(); ++y) {
        Bytes row;
        for (int x = 0; x < bitmap.Width(); ++x) {
            const Rgb color = bitmap.PixelColor(x, y);
            row.insert(row.end(), {color.red, color.green, color.blue});
        }
        picture.rows.push_back(row);
    }
    Bytes out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_set_write_fn(
        png, &out,
        [](png_structp p, png_bytep data, png_size_t size) {
            auto* target = static_cast<Bytes*>(png_get_io_ptr(p));
            target->insert(target->end(), data, data + size);
        },
        nullptr);
    png_set_IHDR(png, info, picture.width, picture.height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_filter(png, 0, PNG_FILTER_SUB);
    png_set_compression_level(png, 7);
    png_set_compression_window_bits(png, 15);
    png_set_compression_mem_level(png, 8);
    png_set_compression_strategy(png, Z_DEFAULT_STRATEGY);
    png_set_compression_buffer_size(png, 65535);
    png_write_info(png, info);
    for (Bytes& row : picture.rows) png_write_row(png, row.data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return out;
}

Bitmap Photograph() {
    TPNGObject photo;
    photo.LoadFromFile(testing::CorpusPath("photos/ladybird-on-flower-stem-640x480.png").string());
    Bitmap bitmap;
    bitmap.Assign(photo);
    return bitmap;
}

Bytes SaveWithThreads(const Bitmap& bitmap, unsigned threads, std::uint8_t interlace = 0) {
    TPNGObject png;
    png.AssignFromBitmap(bitmap);
    png.SetCompressionThreads(threads);
    png.SetInterlaceMethod(interlace);
    return Save(png);
}

// With one thread, and for small pictures whatever the threads, the image data is one plain zlib stream.
TEST(PngEncoder, ImageData_IsByteIdenticalToLibpngWithTheSameSettings) {
    const Bitmap photo = Photograph();
    const Bytes ours = SaveWithThreads(photo, 1);
    const Bytes theirs = WriteLikeOurEncoder(photo);
    const Bytes ourData = testing::IdatData(ours);
    ASSERT_GT(ourData.size(), 65535u);
    EXPECT_TRUE(ourData == testing::IdatData(theirs))
        << ourData.size() << " vs " << testing::IdatData(theirs).size();

    const Bitmap noise = MakeBitmap(200, 150, 24, 12);
    EXPECT_TRUE(testing::IdatData(SaveWithThreads(noise, 8)) ==
                testing::IdatData(WriteLikeOurEncoder(noise)));
}

// Compressed in bands at once, the image data is still one standard zlib stream: zlib (which checks
// the combined Adler-32), libpng and our decoder read it to the same rows as the single stream, and
// it is nearly as small.
TEST(PngEncoder, ImageDataInBands_ReadsEverywhereAsTheSingleStream) {
    const Bitmap photo = Photograph();
    Bitmap twoPhotos;  // side by side: six bands for two threads, taken in turn
    twoPhotos.SetSize(2 * photo.Width(), photo.Height());
    twoPhotos.GetCanvas().Draw(0, 0, photo);
    twoPhotos.GetCanvas().Draw(photo.Width(), 0, photo);
    const struct {
        const Bitmap& picture;
        std::uint8_t interlace;
        unsigned threads;
    } cases[] = {{twoPhotos, 0, 2}, {photo, 1, 3}};
    for (const auto& test : cases) {
        SCOPED_TRACE(::testing::Message() << "interlace " << int(test.interlace));
        const Bytes single = SaveWithThreads(test.picture, 1, test.interlace);
        const Bytes banded = SaveWithThreads(test.picture, test.threads, test.interlace);
        ASSERT_NE(banded, single);
        EXPECT_LE(banded.size(), single.size() + single.size() / 200);

        std::vector<std::uint32_t> chunkSizes;
        const Bytes bandedData = testing::IdatData(banded, &chunkSizes);
        for (std::size_t i = 0; i + 1 < chunkSizes.size(); ++i) EXPECT_EQ(chunkSizes[i], 65535u);
        const Bytes filtered = Inflate(testing::IdatData(single));
        ASSERT_FALSE(filtered.empty());
        EXPECT_TRUE(Inflate(bandedData) == filtered);

        EXPECT_TRUE(testing::ReadWithLibpng(banded).rows == testing::ReadWithLibpng(single).rows);
        ExpectSameColors(testing::DecodePng(banded), test.picture);
    }
}

}  // namespace
}  // namespace flipbook
