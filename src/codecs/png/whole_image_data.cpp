// SPDX-License-Identifier: GPL-3.0-or-later
#include "codecs/png/whole_image_data.h"

#include <libdeflate.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <vector>

#include "platform/graphics/stream.h"

namespace flipbook {

namespace {

constexpr ChunkType kIdat = MakeChunkType("IDAT");

// Deflate turns at most 1032 bytes of output into one byte (a run of 258-byte matches costs two bits
// each); a zlib stream that could not fill the picture is left to the row-by-row reader.
constexpr std::uint64_t kMostInflatedPerByte = 1032;

struct DecompressorDeleter {
    void operator()(libdeflate_decompressor* decompressor) const {
        libdeflate_free_decompressor(decompressor);
    }
};

// Appends one chunk's data and checks its CRC; false when the stream ends early or the CRC differs.
bool AppendChunk(Stream& stream, const ChunkType& type, std::uint32_t length,
                 std::vector<std::uint8_t>& data) {
    if (length > kMaxChunkLength || std::int64_t{length} + 4 > stream.Remaining()) return false;
    const std::size_t start = data.size();
    data.resize(start + length);
    if (stream.Read(data.data() + start, length) != length) return false;
    std::uint8_t stored[4];
    if (stream.Read(stored, sizeof stored) != sizeof stored) return false;
    const std::uint32_t crc = UpdateCrc(UpdateCrc(kCrcStart, type), data.data() + start, length);
    return ~crc == ReadBigEndian32(stored);
}

// The compressed data of the consecutive "IDAT" chunks, the stream left before the chunk after them;
// nothing when one of them is not whole.
std::optional<std::vector<std::uint8_t>> GatherChunks(Stream& stream, const ChunkType& type,
                                                      std::uint32_t length, std::uint64_t filteredBytes) {
    std::vector<std::uint8_t> data;
    // Growing by copying would cost more than the reading. Room for the picture's rows stored
    // uncompressed (five bytes a 65,535-byte block, and the zlib frame) is what the data normally
    // needs at most, and never more than the stream has left.
    const std::uint64_t stored = filteredBytes + filteredBytes / 65535 * 5 + 64;
    data.reserve(static_cast<std::size_t>(std::min<std::uint64_t>(
        stored, static_cast<std::uint64_t>(std::max<std::int64_t>(stream.Remaining(), 0)))));
    if (!AppendChunk(stream, type, length, data)) return std::nullopt;
    for (;;) {
        std::uint8_t frame[8];
        const std::size_t got = stream.Read(frame, sizeof frame);
        // A file that ends here has no end chunk; the row-by-row reader leaves that to the chunk layer.
        if (got != sizeof frame) return std::nullopt;
        const ChunkType next{static_cast<char>(frame[4]), static_cast<char>(frame[5]),
                             static_cast<char>(frame[6]), static_cast<char>(frame[7])};
        if (next != kIdat) {
            stream.Seek(-static_cast<std::int64_t>(sizeof frame), SeekOrigin::Current);
            return data;
        }
        if (!AppendChunk(stream, next, ReadBigEndian32(frame), data)) return std::nullopt;
    }
}

}  // namespace

std::unique_ptr<std::uint8_t[]> InflateWholeImageData(Stream& stream, const ChunkType& type,
                                                      std::uint32_t length, std::uint64_t filteredBytes) {
    const std::int64_t start = stream.Position();
    auto compressed = GatherChunks(stream, type, length, filteredBytes);
    if (compressed && filteredBytes > 0 && filteredBytes / kMostInflatedPerByte <= compressed->size()) {
        const std::unique_ptr<libdeflate_decompressor, DecompressorDeleter> decompressor(
            libdeflate_alloc_decompressor());
        if (decompressor) {
            // Every byte is written before it is read, so none is cleared first.
            auto filtered =
                std::make_unique_for_overwrite<std::uint8_t[]>(static_cast<std::size_t>(filteredBytes));
            // With no room for the actual size, anything but exactly the picture's bytes is a failure.
            const libdeflate_result result =
                libdeflate_zlib_decompress(decompressor.get(), compressed->data(), compressed->size(),
                                           filtered.get(), static_cast<std::size_t>(filteredBytes), nullptr);
            if (result == LIBDEFLATE_SUCCESS) return filtered;
        }
    }
    stream.SetPosition(start);
    return nullptr;
}

}  // namespace flipbook
