// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Builds PNG streams for tests: chunks with their CRC, image data compressed by zlib, and pictures
// written and read by the system's libpng as an independent second implementation.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace flipbook {
class Bitmap;
class TPNGObject;
}  // namespace flipbook

namespace flipbook::testing {

using Bytes = std::vector<std::uint8_t>;

// One chunk: length, type, data, CRC.
Bytes Chunk(std::string_view type, const Bytes& data);
// A chunk whose stored CRC is wrong.
Bytes ChunkWithBadCrc(std::string_view type, const Bytes& data);
Bytes IhdrData(std::uint32_t width, std::uint32_t height, std::uint8_t bitDepth, std::uint8_t colorType,
               std::uint8_t interlace = 0, std::uint8_t compression = 0, std::uint8_t filter = 0);
// zlib's compressed form of the bytes.
Bytes Deflate(const Bytes& raw, int level = 6);
Bytes Concat(std::initializer_list<Bytes> parts);
Bytes Signature();
Bytes BigEndian32(std::uint32_t value);

// The signature, an "IHDR", the data compressed into one "IDAT", and an "IEND".
Bytes SimplePng(const Bytes& ihdrData, const Bytes& filteredRows, const Bytes& extraChunksBeforeIdat = {});

// A picture in libpng's terms: rows of samples as PNG stores them (packed, 16-bit big-endian).
struct LibpngPicture {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    int bitDepth = 8;
    int colorType = 2;
    std::vector<Bytes> rows;
    Bytes palette;       // red, green, blue triples for colour type 3
    Bytes transparency;  // raw tRNS data, when not empty
};
struct LibpngWriteOptions {
    bool interlace = false;
    int filters = 0xF8;  // PNG_ALL_FILTERS
    int level = 6;
};
Bytes WriteWithLibpng(const LibpngPicture& picture, const LibpngWriteOptions& options = {});
// Reads with libpng without transformations; raises std::runtime_error when libpng rejects it.
LibpngPicture ReadWithLibpng(const Bytes& file);

// Our own decoder: the bytes loaded into an object, or assigned on into a Bitmap.
void LoadPng(TPNGObject& png, const Bytes& file);
Bitmap DecodePng(const Bytes& file);

// The concatenated data of every "IDAT" chunk of a PNG file, and the chunk sizes in order.
Bytes IdatData(const Bytes& file, std::vector<std::uint32_t>* chunkSizes = nullptr);

}  // namespace flipbook::testing
