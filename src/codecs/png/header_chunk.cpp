// SPDX-License-Identifier: GPL-3.0-or-later
#include "codecs/png/header_chunk.h"

#include <algorithm>

#include "codecs/png/png_errors.h"
#include "codecs/png/png_object.h"
#include "codecs/png/row_format.h"
#include "platform/core/limits.h"
#include "platform/graphics/stream.h"

namespace flipbook {

namespace {

constexpr std::uint32_t kMaxSide = 65535;
// Deflate cannot expand one compressed byte to more than 1032 bytes, so a stream that holds fewer
// than 1/1032 of the image data's size cannot hold the picture its header claims.
constexpr std::uint64_t kMaxInflateRatio = 1032;

}  // namespace

void TChunkIHDR::Assign(const TChunk& source) {
    const auto* header = dynamic_cast<const TChunkIHDR*>(&source);
    if (header == nullptr) throw EPngError(EPngError::kChunksNotCompatible);
    width = header->width;
    height = header->height;
    bitDepth = header->bitDepth;
    colorType = header->colorType;
    compressionMethod = header->compressionMethod;
    filterMethod = header->filterMethod;
    interlaceMethod = header->interlaceMethod;
    FreeImageBuffer();
    if (!header->HasImageBuffer()) return;
    BuildImageBuffer();
    pixels_ = header->pixels_;
    alpha_ = header->alpha_;
    colorTable_ = header->colorTable_;
}

bool TChunkIHDR::Load(Stream& stream, const ChunkType& type, std::uint32_t length) {
    TChunk::Load(stream, type, length);
    if (DataSize() < 13) throw EPngInvalidIHDR();
    const std::uint8_t* data = Data().data();
    width = ReadBigEndian32(data);
    height = ReadBigEndian32(data + 4);
    bitDepth = data[8];
    colorType = data[9];
    compressionMethod = data[10];
    filterMethod = data[11];
    interlaceMethod = data[12];
    if (width > kMaxSide || height > kMaxSide) throw EPNGSizeExceeds();
    if (compressionMethod != 0) throw EPNGUnknownCompression();
    if (interlaceMethod > 1) throw EPNGUnknownInterlace();
    // A picture without pixels, or with a colour type and bit depth that PNG does not define, cannot
    // be decoded; refuse it here rather than decode into a buffer without a format.
    if (width == 0 || height == 0 || !IsValidColorTypeAndDepth(colorType, bitDepth)) throw EPngInvalidIHDR();
    if (Owner() != nullptr) Owner()->SetInterlaceMethod(interlaceMethod);

    // Only the object's first chunk is its header; a later "IHDR" keeps its fields but no pixels, so a
    // stream of many headers cannot make us allocate many pictures.
    if (Owner() == nullptr || Owner()->Chunks().Item(0) != this) return true;
    const std::uint64_t imageData =
        FilteredImageBytes(colorType, bitDepth, width, height, interlaceMethod == 1);
    const auto remaining = static_cast<std::uint64_t>(std::max<std::int64_t>(stream.Remaining(), 0));
    if (remaining * kMaxInflateRatio < imageData) throw EPngUnexpectedEnd();
    BuildImageBuffer();
    return true;
}

bool TChunkIHDR::Save(Stream& stream) {
    // 2-bit pictures are held at 4 bits per pixel, and the image data is written from that buffer.
    if (bitDepth == 2) bitDepth = 4;
    ResizeData(13);
    std::uint8_t* data = MutableData();
    WriteBigEndian32(data, width);
    WriteBigEndian32(data + 4, height);
    data[8] = bitDepth;
    data[9] = colorType;
    data[10] = compressionMethod;
    data[11] = filterMethod;
    data[12] = Owner() != nullptr ? Owner()->InterlaceMethod() : interlaceMethod;
    return TChunk::Save(stream);
}

void TChunkIHDR::BuildImageBuffer() {
    FreeImageBuffer();
    if (Owner() != nullptr) Owner()->ReleasePalette();
    const int bitsPerPixel = ImageBufferBitsPerPixel(colorType, bitDepth);
    if (bitsPerPixel == 0 || width == 0 || height == 0) return;

    const auto stride = flipbook::RowStride(width, static_cast<std::uint64_t>(bitsPerPixel));
    const auto pixelBytes = stride ? CheckedMultiply(*stride, height) : std::nullopt;
    const std::uint64_t alphaBytes = HasAlphaPlane(colorType) ? std::uint64_t{width} * height : 0;
    if (!pixelBytes || *pixelBytes > kMaxPixelBytes || alphaBytes > kMaxPixelBytes - *pixelBytes) {
        throw EPNGOutMemory();
    }
    info_.size = 40;
    info_.width = static_cast<std::int32_t>(width);
    info_.height = static_cast<std::int32_t>(height);
    info_.planes = 1;
    info_.bitCount = static_cast<std::uint16_t>(bitsPerPixel);
    info_.compression = kBiRgb;
    hasColorTable_ = bitsPerPixel <= 8;
    rowStride_ = static_cast<std::size_t>(*stride);
    alpha_.assign(static_cast<std::size_t>(alphaBytes), 0);
    pixels_.assign(static_cast<std::size_t>(*pixelBytes), 0);
}

void TChunkIHDR::FreeImageBuffer() {
    info_ = BitmapInfoHeader{};
    info_.size = 0;
    info_.planes = 0;
    colorTable_.fill(RgbQuad{});
    hasColorTable_ = false;
    rowStride_ = 0;
    pixels_.clear();
    pixels_.shrink_to_fit();
    alpha_.clear();
    alpha_.shrink_to_fit();
}

}  // namespace flipbook
