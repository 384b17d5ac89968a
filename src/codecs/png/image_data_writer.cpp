// SPDX-License-Identifier: GPL-3.0-or-later
#include "codecs/png/image_data_writer.h"

#include <algorithm>

#include "codecs/png/chunk.h"
#include "codecs/png/png_errors.h"

namespace flipbook {

namespace {

constexpr ChunkType kIdat = MakeChunkType("IDAT");
constexpr int kWindowBits = 15;
constexpr int kMemoryLevel = 8;

}  // namespace

void WriteImageDataChunks(Stream& stream, std::span<const std::uint8_t> compressed, std::uint32_t chunkSize) {
    for (std::size_t at = 0; at < compressed.size(); at += chunkSize) {
        const std::size_t size = std::min<std::size_t>(chunkSize, compressed.size() - at);
        WriteChunk(stream, kIdat, compressed.data() + at, static_cast<std::uint32_t>(size));
    }
}

ImageDataWriter::ImageDataWriter(Stream& stream, int level, std::uint32_t chunkSize)
    : stream_(stream), output_(chunkSize) {
    const int result = deflateInit2(&zlib_, level, Z_DEFLATED, kWindowBits, kMemoryLevel, Z_DEFAULT_STRATEGY);
    if (result == Z_MEM_ERROR) throw EPNGOutMemory();
    if (result != Z_OK) throw EPNGZLIBError(result);
    zlib_.next_out = output_.data();
    zlib_.avail_out = static_cast<uInt>(output_.size());
}

ImageDataWriter::~ImageDataWriter() {
    deflateEnd(&zlib_);
}

void ImageDataWriter::WriteChunkFromBuffer() {
    const auto used = static_cast<std::uint32_t>(output_.size() - zlib_.avail_out);
    if (used > 0) WriteChunk(stream_, kIdat, output_.data(), used);
    zlib_.next_out = output_.data();
    zlib_.avail_out = static_cast<uInt>(output_.size());
}

void ImageDataWriter::Write(const std::uint8_t* bytes, std::size_t count) {
    zlib_.next_in = const_cast<Bytef*>(bytes);
    zlib_.avail_in = static_cast<uInt>(count);
    while (zlib_.avail_in > 0) {
        const int result = deflate(&zlib_, Z_NO_FLUSH);
        // Without flushing, deflate takes all the input or fills the output; anything else would
        // make no progress.
        if (result != Z_OK) throw EPNGZLIBError(result);
        if (zlib_.avail_out == 0) WriteChunkFromBuffer();
    }
}

void ImageDataWriter::Finish() {
    for (;;) {
        const int result = deflate(&zlib_, Z_FINISH);
        if (result == Z_STREAM_END) break;
        if (result != Z_OK) throw EPNGZLIBError(result);
        WriteChunkFromBuffer();
    }
    WriteChunkFromBuffer();
}

}  // namespace flipbook
