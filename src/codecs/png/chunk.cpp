// SPDX-License-Identifier: GPL-3.0-or-later
#include "codecs/png/chunk.h"

#include <cstring>

#include "codecs/png/header_chunk.h"
#include "codecs/png/png_errors.h"
#include "codecs/png/png_object.h"
#include "platform/graphics/stream.h"

namespace flipbook {

TChunk::TChunk(TPNGObject* owner, std::string_view className) : owner_(owner) {
    if (className.size() == 4) type_ = MakeChunkType(className);
}

void TChunk::Assign(const TChunk& source) {
    type_ = source.type_;
    data_ = source.data_;
}

bool TChunk::Load(Stream& stream, const ChunkType& type, std::uint32_t length) {
    // The length is checked against what the stream can still deliver before anything is allocated;
    // a chunk that cannot be complete fails the way a short read would, with the CRC error.
    if (length > kMaxChunkLength) throw EPngInvalidCRC();  // malformed: no valid chunk is this long
    if (static_cast<std::int64_t>(length) > stream.Remaining()) throw EPngInvalidCRC();  // truncated
    data_.assign(length, 0);
    if (length > 0 && stream.Read(data_.data(), length) != length) throw EPngInvalidCRC();
    CheckStoredCrc(stream, UpdateCrc(UpdateCrc(kCrcStart, type), data_.data(), data_.size()));
    return true;
}

bool TChunk::Save(Stream& stream) {
    WriteChunk(stream, type_, data_.data(), DataSize());
    return true;
}

TChunkIHDR& TChunk::Header() const {
    if (owner_ == nullptr || !owner_->HasHeader()) throw EPNGHeaderNotPresent();
    return owner_->Header();
}

void CheckStoredCrc(Stream& stream, std::uint32_t runningCrc) {
    std::uint8_t stored[4];
    if (stream.Read(stored, sizeof stored) != sizeof stored) throw EPngInvalidCRC();
    if (ReadBigEndian32(stored) != ~runningCrc) throw EPngInvalidCRC();
}

void WriteChunk(Stream& stream, const ChunkType& type, const std::uint8_t* data, std::uint32_t size) {
    std::uint8_t frame[8];
    WriteBigEndian32(frame, size);
    std::memcpy(frame + 4, type.data(), type.size());
    stream.WriteBuffer(frame, sizeof frame);
    if (size > 0) stream.WriteBuffer(data, size);
    std::uint8_t crc[4];
    WriteBigEndian32(crc, ~UpdateCrc(UpdateCrc(kCrcStart, type), data, size));
    stream.WriteBuffer(crc, sizeof crc);
}

namespace {

std::vector<ChunkClass>& Registry() {
    static std::vector<ChunkClass> registry;
    return registry;
}

}  // namespace

void RegisterChunkClass(ChunkClass chunkClass) {
    Registry().push_back(std::move(chunkClass));
}

const std::vector<ChunkClass>& RegisteredChunkClasses() {
    return Registry();
}

std::unique_ptr<TChunk> CreateChunkForType(TPNGObject* owner, const ChunkType& type) {
    const std::string_view name(type.data(), type.size());
    std::unique_ptr<TChunk> chunk;
    for (const ChunkClass& chunkClass : Registry()) {
        if (chunkClass.name == name) {
            chunk = chunkClass.create(owner);
            break;
        }
    }
    if (!chunk) chunk = std::make_unique<TChunk>(owner);
    chunk->SetType(type);
    return chunk;
}

}  // namespace flipbook
