// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "codecs/png/chunk.h"

namespace flipbook {

// The image data chunk. Loading decodes the whole picture into the header's image buffer, pulling
// the following "IDAT" chunks from the stream itself; saving compresses the image buffer and writes
// it as one or more "IDAT" chunks. It keeps no data of its own.
class TChunkIDAT : public TChunk {
public:
    static constexpr std::string_view kName = "IDAT";
    explicit TChunkIDAT(TPNGObject* owner) : TChunk(owner, kName) {}
    std::unique_ptr<TChunk> CreateLike(TPNGObject* owner) const override {
        return std::make_unique<TChunkIDAT>(owner);
    }
    // Raises EPngInvalidCRC, EPNGMissingMultipleIDAT or EPNGZLIBError; a stream or zlib stream that
    // ends early leaves the missing rows cleared.
    bool Load(Stream& stream, const ChunkType& type, std::uint32_t length) override;
    bool Save(Stream& stream) override;
};

}  // namespace flipbook
