// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "codecs/png/chunk.h"
#include "platform/graphics/bitmap_types.h"

namespace flipbook {

// The header chunk. Beside the header fields it holds the decoded picture: the image buffer (a
// device-independent bitmap: bottom-up rows padded to 4 bytes, 1, 4, 8 or 24 bits per pixel, a
// 256-entry colour table) and, for colour types 4 and 6, the alpha plane (one byte a pixel, top-down).
class TChunkIHDR : public TChunk {
public:
    static constexpr std::string_view kName = "IHDR";

    explicit TChunkIHDR(TPNGObject* owner) : TChunk(owner, kName) {}
    std::unique_ptr<TChunk> CreateLike(TPNGObject* owner) const override {
        return std::make_unique<TChunkIHDR>(owner);
    }
    // Copies the header fields, the pixels, the alpha plane and the colour table of another header.
    void Assign(const TChunk& source) override;
    // Reads and checks the header (EPngInvalidIHDR, EPNGSizeExceeds, EPNGUnknownCompression,
    // EPNGUnknownInterlace) and, for the object's first chunk, builds the image buffer.
    bool Load(Stream& stream, const ChunkType& type, std::uint32_t length) override;
    bool Save(Stream& stream) override;

    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint8_t bitDepth = 0;
    std::uint8_t colorType = 0;
    std::uint8_t compressionMethod = 0;
    std::uint8_t filterMethod = 0;
    std::uint8_t interlaceMethod = 0;

    // Makes a new image buffer, cleared, for the header fields; drops the owner's cached palette.
    // Raises EPNGOutMemory when the pixels would exceed the size limit.
    void BuildImageBuffer();
    bool HasImageBuffer() const { return !pixels_.empty(); }

    // The image buffer's description: width, positive height, bits per pixel (0 without a buffer).
    const BitmapInfoHeader& BitmapInfo() const { return info_; }
    int BitsPerPixel() const { return info_.bitCount; }
    bool HasColorTable() const { return hasColorTable_; }
    std::array<RgbQuad, 256>& ColorTable() { return colorTable_; }
    const std::array<RgbQuad, 256>& ColorTable() const { return colorTable_; }
    std::size_t RowStride() const { return rowStride_; }
    std::uint8_t* Pixels() { return pixels_.data(); }
    const std::uint8_t* Pixels() const { return pixels_.data(); }
    std::size_t PixelBytes() const { return pixels_.size(); }
    // Image row y counted from the top of the picture.
    std::uint8_t* ScanLine(std::uint32_t y) { return pixels_.data() + rowStride_ * (height - 1 - y); }
    const std::uint8_t* ScanLine(std::uint32_t y) const {
        return pixels_.data() + rowStride_ * (height - 1 - y);
    }
    // One byte a pixel, rows top-down; empty unless the colour type has alpha.
    std::vector<std::uint8_t>& AlphaPlane() { return alpha_; }
    const std::vector<std::uint8_t>& AlphaPlane() const { return alpha_; }

private:
    void FreeImageBuffer();

    BitmapInfoHeader info_{};
    std::array<RgbQuad, 256> colorTable_{};
    bool hasColorTable_ = false;
    std::size_t rowStride_ = 0;
    std::vector<std::uint8_t> pixels_;
    std::vector<std::uint8_t> alpha_;
};

}  // namespace flipbook
