// SPDX-License-Identifier: GPL-3.0-or-later
#include "codecs/png/image_data_reader.h"

#include <algorithm>

#include "codecs/png/chunk.h"
#include "codecs/png/png_errors.h"
#include "platform/graphics/stream.h"

namespace flipbook {

namespace {

constexpr ChunkType kIdat = MakeChunkType("IDAT");

}  // namespace

ImageDataReader::ImageDataReader(Stream& stream, const ChunkType& type, std::uint32_t length)
    : stream_(stream),
      input_(std::make_unique_for_overwrite<std::uint8_t[]>(kInputBlockSize)),
      runningCrc_(UpdateCrc(kCrcStart, type)),
      chunkRemaining_(length) {
    if (length > kMaxChunkLength) throw EPngInvalidCRC();
    const int result = inflateInit(&zlib_);
    if (result != Z_OK) throw EPNGZLIBError(result);
}

ImageDataReader::~ImageDataReader() {
    inflateEnd(&zlib_);
}

bool ImageDataReader::ReadRow(std::uint8_t* row, std::size_t count) {
    if (ended_) return false;
    zlib_.next_out = row;
    zlib_.avail_out = static_cast<uInt>(count);
    while (zlib_.avail_out > 0) {
        if (zlib_.avail_in == 0 && !FillInput()) {
            ended_ = true;
            return false;
        }
        const int result = inflate(&zlib_, Z_NO_FLUSH);
        if (result == Z_STREAM_END || result == Z_NEED_DICT) {
            // Calling inflate again could make no progress: whatever rows are still missing stay
            // cleared. A preset dictionary is not something PNG image data can have.
            ended_ = true;
            return zlib_.avail_out == 0 && result == Z_STREAM_END;
        }
        if (result < 0) throw EPNGZLIBError(result);
    }
    return true;
}

bool ImageDataReader::FillInput() {
    // Empty "IDAT" chunks are valid; step over them to the next one with data.
    while (chunkRemaining_ == 0) NextChunk();
    const std::size_t wanted = std::min<std::size_t>(chunkRemaining_, kInputBlockSize);
    const std::size_t got = stream_.Read(input_.get(), wanted);
    if (got == 0) return false;  // the stream ends inside the chunk
    runningCrc_ = UpdateCrc(runningCrc_, input_.get(), got);
    chunkRemaining_ -= static_cast<std::uint32_t>(got);
    zlib_.next_in = input_.get();
    zlib_.avail_in = static_cast<uInt>(got);
    return true;
}

void ImageDataReader::NextChunk() {
    CheckStoredCrc(stream_, runningCrc_);
    std::uint8_t frame[8];
    if (stream_.Read(frame, sizeof frame) != sizeof frame) throw EPngUnexpectedEnd();
    const ChunkType type{static_cast<char>(frame[4]), static_cast<char>(frame[5]),
                         static_cast<char>(frame[6]), static_cast<char>(frame[7])};
    if (type != kIdat) throw EPNGMissingMultipleIDAT();
    const std::uint32_t length = ReadBigEndian32(frame);
    if (length > kMaxChunkLength) throw EPngInvalidCRC();
    runningCrc_ = UpdateCrc(kCrcStart, type);
    chunkRemaining_ = length;
}

void ImageDataReader::Finish() {
    while (chunkRemaining_ > 0) {
        const std::size_t wanted = std::min<std::size_t>(chunkRemaining_, kInputBlockSize);
        const std::size_t got = stream_.Read(input_.get(), wanted);
        if (got == 0) break;
        runningCrc_ = UpdateCrc(runningCrc_, input_.get(), got);
        chunkRemaining_ -= static_cast<std::uint32_t>(got);
    }
    CheckStoredCrc(stream_, runningCrc_);
}

}  // namespace flipbook
