// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <memory>

#include "codecs/png/chunk_io.h"

namespace flipbook {

class Stream;

// Inflates the image data of consecutive "IDAT" chunks straight from the stream, one filtered row at a
// time, checking each chunk's CRC as it is left. Only a fixed input block is buffered.
class ImageDataReader {
public:
    // The stream stands just behind the type field of the first "IDAT" chunk of that length.
    ImageDataReader(Stream& stream, const ChunkType& type, std::uint32_t length);
    ~ImageDataReader();
    ImageDataReader(const ImageDataReader&) = delete;
    ImageDataReader& operator=(const ImageDataReader&) = delete;

    // Fills the row with count bytes and returns true; false when the stream or the zlib stream ends
    // first (the rest of the picture is missing). Raises EPngInvalidCRC for a damaged chunk,
    // EPNGMissingMultipleIDAT when the data runs on into another chunk type, EPNGZLIBError for
    // damaged compressed data.
    bool ReadRow(std::uint8_t* row, std::size_t count);
    // Reads what is left of the current chunk and checks its CRC (EPngInvalidCRC).
    void Finish();

private:
    void NextChunk();
    bool FillInput();

    static constexpr std::size_t kInputBlockSize = 65535;

    Stream& stream_;
    z_stream zlib_{};
    std::unique_ptr<std::uint8_t[]> input_;
    std::uint32_t runningCrc_;
    std::uint32_t chunkRemaining_;  // data bytes of the current chunk not yet read
    bool ended_ = false;            // the zlib stream or the stream has ended
};

}  // namespace flipbook
