// SPDX-License-Identifier: GPL-3.0-or-later
// The chunk loop, each chunk's load, and the object's own operations.
#include "codecs/png/png_object.h"

#include <gtest/gtest.h>

#include "codecs/png/chunks.h"
#include "codecs/png/data_chunk.h"
#include "codecs/png/header_chunk.h"
#include "codecs/png/png_builder.h"
#include "codecs/png/png_errors.h"
#include "platform/graphics/stream.h"

namespace flipbook {
namespace {

using testing::Bytes;
using testing::Chunk;
using testing::Concat;
using testing::IhdrData;
using testing::Signature;

// One row of a 1 x 1 8-bit grey picture, filter byte included.
const Bytes kGreyPixelRow{0, 0x40};

Bytes GreyPixelPng(const Bytes& chunksBeforeIdat) {
    return testing::SimplePng(IhdrData(1, 1, 8, 0), kGreyPixelRow, chunksBeforeIdat);
}

template <typename ErrorClass>
void ExpectLoadFails(TPNGObject& png, const Bytes& bytes) {
    MemoryStream stream(bytes);
    EXPECT_THROW(png.LoadFromStream(stream), ErrorClass);
}

// The first chunk of a class; the test fails with an exception when there is none.
template <typename ChunkClass>
const ChunkClass& ChunkOf(const TPNGObject& png) {
    const ChunkClass* chunk = png.Chunks().ItemOfClass<ChunkClass>();
    if (chunk == nullptr) throw std::runtime_error("missing chunk");
    return *chunk;
}

TEST(PngChunkLoop, SignatureAndEndCases) {
    TPNGObject png;
    ExpectLoadFails<EPNGInvalidFileHeader>(png, {});
    ExpectLoadFails<EPNGInvalidFileHeader>(png, {0x89, 0x50, 0x4E, 0x47});
    ExpectLoadFails<EPngUnexpectedEnd>(png, Signature());
    ExpectLoadFails<EPngUnexpectedEnd>(png, Concat({Signature(), Chunk("IHDR", IhdrData(1, 1, 8, 0))}));
}

TEST(PngChunkLoop, HeaderNotFirst_LeavesEmptyList) {
    TPNGObject png;
    ExpectLoadFails<EPNGIHDRNotFirst>(png, Concat({Signature(), Chunk("gAMA", testing::BigEndian32(45455))}));
    EXPECT_TRUE(png.Empty());
}

TEST(PngChunkLoop, HeaderChecks) {
    TPNGObject png;
    Bytes shortHeader = IhdrData(1, 1, 8, 0);
    shortHeader.pop_back();
    ExpectLoadFails<EPngInvalidIHDR>(png, testing::SimplePng(shortHeader, kGreyPixelRow));
    ExpectLoadFails<EPNGSizeExceeds>(png, testing::SimplePng(IhdrData(65536, 1, 8, 0), kGreyPixelRow));
    ExpectLoadFails<EPNGSizeExceeds>(png, testing::SimplePng(IhdrData(1, 65536, 8, 0), kGreyPixelRow));
    ExpectLoadFails<EPNGUnknownCompression>(png,
                                            testing::SimplePng(IhdrData(1, 1, 8, 0, 0, 1), kGreyPixelRow));
    ExpectLoadFails<EPNGUnknownInterlace>(png, testing::SimplePng(IhdrData(1, 1, 8, 0, 2), kGreyPixelRow));
    // Zero sizes and colour-type / bit-depth pairs that PNG does not define.
    ExpectLoadFails<EPngInvalidIHDR>(png, testing::SimplePng(IhdrData(0, 1, 8, 0), kGreyPixelRow));
    ExpectLoadFails<EPngInvalidIHDR>(png, testing::SimplePng(IhdrData(1, 0, 8, 0), kGreyPixelRow));
    for (const auto& [depth, type] :
         std::vector<std::pair<int, int>>{{16, 3}, {4, 4}, {2, 2}, {8, 1}, {8, 5}, {8, 7}, {3, 0}}) {
        SCOPED_TRACE(::testing::Message() << "depth " << depth << " type " << type);
        ExpectLoadFails<EPngInvalidIHDR>(
            png, testing::SimplePng(
                     IhdrData(1, 1, static_cast<std::uint8_t>(depth), static_cast<std::uint8_t>(type)),
                     kGreyPixelRow));
    }
    // Filter method 1 is not checked.
    testing::LoadPng(png, testing::SimplePng(IhdrData(1, 1, 8, 0, 0, 0, 1), kGreyPixelRow));
    EXPECT_EQ(png.Width(), 1);
}

TEST(PngChunkLoop, WidthOf65535_PassesTheSizeCheck) {
    TPNGObject png;
    testing::LoadPng(png, testing::SimplePng(IhdrData(65535, 1, 1, 0), Bytes(1 + 8192, 0)));
    EXPECT_EQ(png.Width(), 65535);
}

TEST(PngChunkLoop, UnknownChunks) {
    TPNGObject png;
    testing::LoadPng(png, GreyPixelPng(Chunk("abCd", {1, 2, 3})));
    TChunk* kept = png.Chunks().Item(1);
    ASSERT_NE(kept, nullptr);
    EXPECT_EQ(typeid(*kept), typeid(TChunk));
    EXPECT_EQ(kept->Data(), (Bytes{1, 2, 3}));
    // Types compare case-sensitively, so a lower-case "ihdr" is an unknown ancillary chunk.
    testing::LoadPng(png, GreyPixelPng(Chunk("ihdr", {})));
    const TChunk& lowerCaseChunk = *png.Chunks().Item(1);
    EXPECT_EQ(typeid(lowerCaseChunk), typeid(TChunk));
    ExpectLoadFails<EPNGUnknownCriticalChunk>(png, GreyPixelPng(Chunk("AbCd", {})));
    EXPECT_EQ(png.Chunks().Count(), 2u);  // the header and the failing chunk
}

TEST(PngChunkLoop, ChunkListInFileOrder_ChromaticitiesDropped) {
    TPNGObject png;
    // A damaged "cHRM" is skipped unread.
    testing::LoadPng(
        png,
        GreyPixelPng(Concat({testing::ChunkWithBadCrc("cHRM", Bytes(32, 0)), Chunk("tEXt", {'a', 0, 'b'})})));
    ASSERT_EQ(png.Chunks().Count(), 4u);
    EXPECT_NE(dynamic_cast<TChunkIHDR*>(png.Chunks().Item(0)), nullptr);
    EXPECT_NE(dynamic_cast<TChunktEXt*>(png.Chunks().Item(1)), nullptr);
    EXPECT_NE(dynamic_cast<TChunkIDAT*>(png.Chunks().Item(2)), nullptr);
    EXPECT_NE(dynamic_cast<TChunkIEND*>(png.Chunks().Item(3)), nullptr);
}

TEST(PngChunkLoop, BytesAfterTheEndChunk_AreNotRead) {
    const Bytes file = GreyPixelPng({});
    // An unknown critical chunk with a bad CRC, then bytes that are no chunk at all.
    MemoryStream stream(Concat({file, testing::ChunkWithBadCrc("AbCd", {1, 2}), {0xFF, 0x00, 0x13}}));
    TPNGObject png;
    png.LoadFromStream(stream);
    EXPECT_EQ(png.Chunks().Count(), 3u);
    EXPECT_NE(dynamic_cast<TChunkIEND*>(png.Chunks().Item(2)), nullptr);
    EXPECT_EQ(stream.Position(), static_cast<std::int64_t>(file.size()));
    EXPECT_EQ(png.Pixel(0, 0), (Rgb{0x40, 0x40, 0x40}));
}

TEST(PngChunkLoop, NoImageData) {
    TPNGObject png;
    ExpectLoadFails<EPNGNoImageData>(
        png, Concat({Signature(), Chunk("IHDR", IhdrData(1, 1, 8, 0)), Chunk("IEND", {})}));
}

TEST(PngChunkLoop, DamagedChunks_RaiseCrcError) {
    TPNGObject png;
    ExpectLoadFails<EPngInvalidCRC>(png, GreyPixelPng(testing::ChunkWithBadCrc("abCd", {1})));
    ExpectLoadFails<EPngInvalidCRC>(png, GreyPixelPng(testing::ChunkWithBadCrc("tEXt", {'a', 0, 'b'})));
    // Cut short inside the data of a chunk.
    Bytes cut = GreyPixelPng(Chunk("tEXt", Bytes(100, 'x')));
    cut.resize(33 + 8 + 50);
    ExpectLoadFails<EPngInvalidCRC>(png, cut);
}

TEST(PngChunkLoop, ImpossibleLengths_RejectedWithoutAllocating) {
    TPNGObject png;
    const Bytes header = Concat({Signature(), Chunk("IHDR", IhdrData(1, 1, 8, 0))});
    for (std::uint32_t length : {0x80000000u, 0xFFFFFFFFu, 0x7FFFFFFFu, 1000u}) {
        ExpectLoadFails<EPngInvalidCRC>(
            png, Concat({header, testing::BigEndian32(length), {'a', 'b', 'C', 'd'}, Bytes(20, 0)}));
    }
}

TEST(PngChunkLoop, HeaderClaimingMoreThanTheStreamCanHold_Rejected) {
    TPNGObject png;
    // 60000 x 60000 truecolour needs far more image data than 40 bytes can inflate to.
    ExpectLoadFails<EPngUnexpectedEnd>(png, testing::SimplePng(IhdrData(60000, 60000, 8, 2), kGreyPixelRow));
    EXPECT_FALSE(png.Header().HasImageBuffer());
}

TEST(PngChunkLoop, PictureBeyondTheMemoryLimit_Rejected) {
    TPNGObject png;
    // Enough stream to justify the picture, but 65535 x 65535 x 4 bytes is over the limit.
    Bytes bytes =
        Concat({Signature(), Chunk("IHDR", IhdrData(65535, 65535, 8, 6)), Chunk("abCd", Bytes(17000000, 0))});
    ExpectLoadFails<EPNGOutMemory>(png, bytes);
}

TEST(PngChunks, PaletteLengths) {
    TPNGObject png;
    const Bytes row{0, 0};
    auto withPalette = [&](std::size_t length) {
        return testing::SimplePng(IhdrData(1, 1, 8, 3), row, Chunk("PLTE", Bytes(length, 7)));
    };
    testing::LoadPng(png, withPalette(768));
    EXPECT_EQ(ChunkOf<TChunkPLTE>(png).entryCount, 256u);
    testing::LoadPng(png, withPalette(0));
    EXPECT_EQ(ChunkOf<TChunkPLTE>(png).entryCount, 0u);
    ExpectLoadFails<EPNGInvalidPalette>(png, withPalette(769));
    ExpectLoadFails<EPNGInvalidPalette>(png, withPalette(771));
    ExpectLoadFails<EPNGInvalidPalette>(
        png, testing::SimplePng(IhdrData(1, 1, 8, 3), row, Chunk("tRNS", Bytes(257, 0))));
}

TEST(PngChunks, PaletteColor_OutsideThePalette_Raises) {
    TPNGObject png;
    testing::LoadPng(png,
                     testing::SimplePng(IhdrData(1, 1, 8, 3), {0, 0}, Chunk("PLTE", {1, 2, 3, 4, 5, 6})));
    EXPECT_EQ(png.PaletteColor(1), (Rgb{4, 5, 6}));
    try {
        png.PaletteColor(2);
        FAIL();
    } catch (const EPngError& error) {
        EXPECT_STREQ(error.what(), "There is no such palette entry.");
    }
}

TEST(PngChunks, TransparencySingleColorFlag) {
    TPNGObject png;
    const Bytes palette = Chunk("PLTE", Bytes(12, 9));
    testing::LoadPng(png, testing::SimplePng(IhdrData(1, 1, 8, 3), {0, 0},
                                             Concat({palette, Chunk("tRNS", {0xFF, 0xFF, 0x00, 0xFF})})));
    EXPECT_TRUE(ChunkOf<TChunktRNS>(png).singleColor);
    EXPECT_EQ(png.TransparencyMode(), PngTransparencyMode::SingleColor);
    testing::LoadPng(png, testing::SimplePng(IhdrData(1, 1, 8, 3), {0, 0},
                                             Concat({palette, Chunk("tRNS", {0xFF, 0x80, 0x00})})));
    EXPECT_FALSE(ChunkOf<TChunktRNS>(png).singleColor);
    EXPECT_EQ(png.TransparencyMode(), PngTransparencyMode::Partial);
    EXPECT_EQ(ChunkOf<TChunktRNS>(png).values[3], 255);
}

TEST(PngChunks, TimeNeedsExactlySevenBytes) {
    TPNGObject png;
    testing::LoadPng(png, GreyPixelPng(Chunk("tIME", {0x07, 0xD0, 1, 2, 3, 4})));
    const TChunktIME* time = &ChunkOf<TChunktIME>(png);
    EXPECT_EQ(time->year, 0);
    EXPECT_EQ(time->second, 0);
    testing::LoadPng(png, GreyPixelPng(Chunk("tIME", {0x07, 0xD0, 1, 2, 3, 4, 5})));
    time = &ChunkOf<TChunktIME>(png);
    EXPECT_EQ(time->year, 2000);
    EXPECT_EQ(time->month, 1);
    EXPECT_EQ(time->day, 2);
    EXPECT_EQ(time->hour, 3);
    EXPECT_EQ(time->minute, 4);
    EXPECT_EQ(time->second, 5);
}

TEST(PngChunks, TextKeywordAndText) {
    TPNGObject png;
    testing::LoadPng(png, GreyPixelPng(Chunk("tEXt", {'T', 'i', 't', 'l', 'e', 0, 'H', 'e', 'l', 'l', 'o'})));
    const TChunktEXt* text = &ChunkOf<TChunktEXt>(png);
    EXPECT_EQ(text->keyword, "Title");
    EXPECT_EQ(text->text, "Hello");
    testing::LoadPng(png, GreyPixelPng(Chunk("tEXt", {'N', 'o', 'Z', 'e', 'r', 'o'})));
    text = &ChunkOf<TChunktEXt>(png);
    EXPECT_EQ(text->keyword, "NoZero");
    EXPECT_EQ(text->text, "");
}

TEST(PngChunks, CompressedText) {
    std::string longText;
    for (int i = 0; i < 300; ++i) longText += static_cast<char>('a' + i % 26);
    const Bytes compressed = testing::Deflate(Bytes(longText.begin(), longText.end()));
    TPNGObject png;
    testing::LoadPng(png, GreyPixelPng(Chunk("zTXt", Concat({{'K', 0, 0}, compressed}))));
    const auto* text = dynamic_cast<const TChunkzTXt*>(png.Chunks().Item(1));
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(text->keyword, "K");
    EXPECT_EQ(text->text, longText);
    // Damaged, cut short, or of an unknown method: loaded, with an empty text.
    Bytes damaged = compressed;
    damaged[5] ^= 0xFF;
    for (const Bytes& data : {Concat({{'K', 0, 0}, damaged}),
                              Concat({{'K', 0, 0}, Bytes(compressed.begin(), compressed.begin() + 10)}),
                              Concat({{'K', 0, 1}, compressed})}) {
        testing::LoadPng(png, GreyPixelPng(Chunk("zTXt", data)));
        EXPECT_EQ(dynamic_cast<const TChunkzTXt*>(png.Chunks().Item(1))->text, "");
    }
}

TEST(PngChunks, GammaTables) {
    TPNGObject png;
    testing::LoadPng(png, GreyPixelPng(Chunk("gAMA", testing::BigEndian32(45455))));
    for (int i = 0; i < 256; ++i) {
        EXPECT_NEAR(png.GammaTable()[static_cast<std::size_t>(i)], i, 1);
        EXPECT_NEAR(png.InverseGammaTable()[static_cast<std::size_t>(i)], i, 1);
    }
    testing::LoadPng(png, GreyPixelPng(Chunk("gAMA", testing::BigEndian32(0))));
    for (int i = 0; i < 256; ++i) EXPECT_EQ(png.GammaTable()[static_cast<std::size_t>(i)], i);
    // 1.0: the exponent 1 / 2.2 brightens mid-tones: 128 becomes round(255 * (128/255)^(1/2.2)) = 186.
    testing::LoadPng(png, GreyPixelPng(Chunk("gAMA", testing::BigEndian32(100000))));
    EXPECT_EQ(png.GammaTable()[128], 186);
    EXPECT_EQ(png.GammaTable()[0], 0);
    EXPECT_EQ(png.GammaTable()[255], 255);
    EXPECT_EQ(png.InverseGammaTable()[186], 128);
}

TEST(PngObject, EmptyObject) {
    TPNGObject png;
    EXPECT_TRUE(png.Empty());
    EXPECT_EQ(png.Width(), 0);
    EXPECT_EQ(png.Height(), 0);
    EXPECT_THROW(png.Header(), EPNGHeaderNotPresent);
    EXPECT_EQ(png.Pixel(0, 0), kBlack);
}

TEST(PngObject, SettingTheSize_AlwaysRaises) {
    TPNGObject png;
    for (int attempt = 0; attempt < 2; ++attempt) {
        try {
            attempt == 0 ? png.SetWidth(10) : png.SetHeight(10);
            FAIL();
        } catch (const EPngError& error) {
            EXPECT_EQ(std::string(error.what())
                          .rfind("The \"Portable Network Graphics\" image can not be resize", 0),
                      0u);
        }
    }
}

TEST(PngObject, MaxIdatSizeHasAFloor) {
    TPNGObject png;
    png.SetMaxIdatSize(1000);
    EXPECT_EQ(png.MaxIdatSize(), 65535u);
    png.SetMaxIdatSize(100000);
    EXPECT_EQ(png.MaxIdatSize(), 100000u);
}

TEST(PngObject, AssignFromAnotherObject_CopiesChunksAndPixels) {
    TPNGObject source;
    testing::LoadPng(source, GreyPixelPng(Concat({Chunk("tEXt", {'a', 0, 'b'}), Chunk("abCd", {5})})));
    source.SetMaxIdatSize(70000);
    TPNGObject copy;
    copy.Assign(source);
    ASSERT_EQ(copy.Chunks().Count(), source.Chunks().Count());
    EXPECT_EQ(copy.MaxIdatSize(), 70000u);
    EXPECT_EQ(copy.Pixel(0, 0), source.Pixel(0, 0));
    EXPECT_EQ(ChunkOf<TChunktEXt>(copy).text, "b");
    EXPECT_EQ(copy.Chunks().Item(2)->Data(), Bytes{5});
    EXPECT_EQ(copy.Chunks().Item(2)->Type(), MakeChunkType("abCd"));
    // The copy owns its pixels.
    copy.SetPixel(0, 0, kWhite);
    EXPECT_NE(copy.Pixel(0, 0), source.Pixel(0, 0));
    TChunkIHDR header(&copy);
    TChunkPLTE palette(&copy);
    EXPECT_THROW(header.Assign(palette), EPngError);
    EXPECT_THROW(palette.Assign(header), EPngError);
}

TEST(PngObject, Clear_DropsTheCachedPalette) {
    TPNGObject png;
    testing::LoadPng(png, GreyPixelPng({}));
    ASSERT_NE(png.Palette(), nullptr);
    EXPECT_EQ((*png.Palette())[0x40], (Rgb{0x40, 0x40, 0x40}));
    png.Clear();
    // A header whose colour table is still black, put in by hand without an image buffer.
    auto header = std::make_unique<TChunkIHDR>(&png);
    header->colorType = 0;
    header->bitDepth = 8;
    png.Chunks().Add(std::move(header));
    ASSERT_NE(png.Palette(), nullptr);
    EXPECT_EQ((*png.Palette())[0x40], (Rgb{0, 0, 0}));
}

TEST(PngObject, ClipboardFormat_IsThePictureAsDrawnWithoutTransparency) {
    // Two palette pixels, the first of a fully transparent entry.
    TPNGObject png;
    testing::LoadPng(png,
                     testing::SimplePng(IhdrData(2, 1, 8, 3), {0, 0, 1},
                                        Concat({Chunk("PLTE", {255, 0, 0, 0, 0, 255}), Chunk("tRNS", {0})})));
    ASSERT_TRUE(png.Transparent());
    MemoryStream clipboard;
    png.SaveToClipboardFormat(clipboard);

    const testing::LibpngPicture drawn = testing::ReadWithLibpng(clipboard.Bytes());
    EXPECT_EQ(drawn.colorType, 2);
    EXPECT_TRUE(drawn.transparency.empty());
    EXPECT_EQ(drawn.rows.at(0), (Bytes{255, 255, 255, 0, 0, 255}));  // transparent shows white

    TPNGObject pasted;
    clipboard.SetPosition(0);
    pasted.LoadFromClipboardFormat(clipboard);
    EXPECT_FALSE(pasted.Transparent());
    EXPECT_EQ(pasted.Pixel(0, 0), kWhite);
    EXPECT_EQ(pasted.Pixel(1, 0), (Rgb{0, 0, 255}));

    MemoryStream damaged(Bytes{'n', 'o', 't', ' ', 'P', 'N', 'G'});
    EXPECT_THROW(pasted.LoadFromClipboardFormat(damaged), EPNGInvalidFileHeader);
    EXPECT_EQ(pasted.Width(), 2);
}

TEST(PngObject, RegistersItsChunkClassesAndFormat) {
    TPNGObject png;
    std::vector<std::string_view> names;
    for (const ChunkClass& chunkClass : RegisteredChunkClasses()) names.push_back(chunkClass.name);
    EXPECT_EQ(names, (std::vector<std::string_view>{"IEND", "IHDR", "IDAT", "PLTE", "gAMA", "tRNS", "tIME",
                                                    "tEXt", "zTXt"}));
    bool found = false;
    for (const PictureFormat& format : RegisteredPictureFormats()) {
        found = found || (format.extension == "PNG" && format.description == "Portable Network Graphics");
    }
    EXPECT_TRUE(found);
}

TEST(PngList, RemoveTakesTheLastEqualEntry) {
    TPNGList list;
    list.Add(std::make_unique<TChunk>(nullptr));
    list.Add(std::make_unique<TChunk>(nullptr));
    TChunk* second = list.Item(1);
    EXPECT_EQ(list.Item(2), nullptr);
    EXPECT_EQ(list.Item(static_cast<std::size_t>(-1)), nullptr);
    std::unique_ptr<TChunk> removed = list.Remove(second);
    EXPECT_EQ(removed.get(), second);
    EXPECT_EQ(list.Count(), 1u);
    EXPECT_EQ(list.Remove(second), nullptr);
}

}  // namespace
}  // namespace flipbook
