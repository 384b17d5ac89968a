// SPDX-License-Identifier: GPL-3.0-or-later
// Filling the object from a Bitmap.
#include <algorithm>
#include <cstring>

#include "codecs/png/chunks.h"
#include "codecs/png/data_chunk.h"
#include "codecs/png/header_chunk.h"
#include "codecs/png/png_object.h"
#include "codecs/png/row_format.h"
#include "platform/graphics/bitmap.h"

namespace flipbook {

void TPNGObject::AssignFromBitmap(const Bitmap& source) {
    AssignFromBitmap(source, source.Transparent(), source.TransparentColor());
}

void TPNGObject::AssignFromBitmap(const Bitmap& source, bool transparent, Rgb transparentColor) {
    Clear();
    // An empty Bitmap has no picture to hold: the object stays empty too.
    if (source.Empty()) return;
    const int bitsPerPixel = source.BitsPerPixel();
    const bool palette = bitsPerPixel < 16;

    auto header = std::make_unique<TChunkIHDR>(this);
    TChunkIHDR& headerChunk = *header;
    chunks_.Add(std::move(header));
    TChunkPLTE* paletteChunk = nullptr;
    if (palette) {
        auto chunk = std::make_unique<TChunkPLTE>(this);
        paletteChunk = chunk.get();
        chunks_.Add(std::move(chunk));
    }
    TChunktRNS* transparencyChunk = nullptr;
    if (transparent) {
        auto chunk = std::make_unique<TChunktRNS>(this);
        transparencyChunk = chunk.get();
        chunks_.Add(std::move(chunk));
    }
    chunks_.Add(std::make_unique<TChunkIDAT>(this));
    chunks_.Add(std::make_unique<TChunkIEND>(this));

    headerChunk.width = static_cast<std::uint32_t>(source.Width());
    headerChunk.height = static_cast<std::uint32_t>(source.Height());
    headerChunk.bitDepth = static_cast<std::uint8_t>(palette ? bitsPerPixel : 8);
    headerChunk.colorType = palette ? kColorPalette : kColorRgb;
    headerChunk.compressionMethod = 0;
    headerChunk.interlaceMethod = 0;
    headerChunk.BuildImageBuffer();

    // Other formats than 24 bits and palettes arrive as 24-bit blue, green, red.
    Bitmap converted;
    const Bitmap* pixels = &source;
    if (!palette && bitsPerPixel != 24) {
        converted = source;
        converted.SetPixelFormat(PixelFormat::Bit24);
        pixels = &converted;
    }
    if (palette) {
        const auto& table = source.ColorTable();
        std::copy_n(table.begin(), std::min<std::size_t>(table.size(), 256),
                    headerChunk.ColorTable().begin());
    }
    const std::size_t rowBytes = std::min(headerChunk.RowStride(), pixels->RowStride());
    for (std::uint32_t y = 0; y < headerChunk.height; ++y) {
        std::memcpy(headerChunk.ScanLine(y), pixels->ScanLine(static_cast<int>(y)), rowBytes);
    }
    if (paletteChunk != nullptr) paletteChunk->entryCount = 1u << bitsPerPixel;
    if (transparencyChunk != nullptr) transparencyChunk->SetTransparentColor(transparentColor);
}

}  // namespace flipbook
