// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace flipbook {

class Stream;

// Writes a complete compressed stream as "IDAT" chunks of exactly the chunk size, the last one holding
// the rest; never an empty one.
void WriteImageDataChunks(Stream& stream, std::span<const std::uint8_t> compressed, std::uint32_t chunkSize);

// Compresses filtered rows with zlib and writes the compressed data as "IDAT" chunks of exactly the
// chunk size, the last one holding the rest; never an empty one.
class ImageDataWriter {
public:
    // Raises EPNGOutMemory when zlib cannot get its memory, EPNGZLIBError for a level it refuses.
    ImageDataWriter(Stream& stream, int level, std::uint32_t chunkSize);
    ~ImageDataWriter();
    ImageDataWriter(const ImageDataWriter&) = delete;
    ImageDataWriter& operator=(const ImageDataWriter&) = delete;

    void Write(const std::uint8_t* bytes, std::size_t count);
    // Ends the zlib stream and writes the last chunk.
    void Finish();

private:
    void WriteChunkFromBuffer();

    Stream& stream_;
    z_stream zlib_{};
    std::vector<std::uint8_t> output_;
};

}  // namespace flipbook
