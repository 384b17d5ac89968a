// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>
#include <vector>

#include "codecs/png/chunk_io.h"

namespace flipbook {

class Stream;
class TPNGObject;
class TChunkIHDR;

// One chunk of a PNG stream: its type letters and its data as read, or as prepared for writing.
// Subclasses give the known types their meaning; an unknown ancillary type stays a plain TChunk.
class TChunk {
public:
    // The class's chunk type: the letters after "TChunk" in the class name; empty for the base class.
    static constexpr std::string_view kName = "";

    explicit TChunk(TPNGObject* owner) : TChunk(owner, kName) {}
    virtual ~TChunk() = default;
    TChunk(const TChunk&) = delete;
    TChunk& operator=(const TChunk&) = delete;

    // The virtual constructor: a new, empty chunk of this chunk's own class.
    virtual std::unique_ptr<TChunk> CreateLike(TPNGObject* owner) const {
        return std::make_unique<TChunk>(owner);
    }
    // Copies another chunk's content; subclasses raise EPngError when the source is of another class.
    virtual void Assign(const TChunk& source);
    // Reads the data and the CRC from a stream positioned just behind the type field. Raises
    // EPngInvalidCRC for a damaged or cut-short chunk; false ends the chunk loop.
    virtual bool Load(Stream& stream, const ChunkType& type, std::uint32_t length);
    // Writes the whole chunk: length, type, data and CRC.
    virtual bool Save(Stream& stream);

    const ChunkType& Type() const { return type_; }
    void SetType(const ChunkType& type) { type_ = type; }
    TPNGObject* Owner() const { return owner_; }
    const std::vector<std::uint8_t>& Data() const { return data_; }
    std::uint32_t DataSize() const { return static_cast<std::uint32_t>(data_.size()); }
    // The data size becomes the count; the bytes up to the old size are kept, new ones are 0.
    void ResizeData(std::uint32_t count) { data_.resize(count); }
    std::uint8_t* MutableData() { return data_.data(); }
    // Entry 0 of the owner's list as a header chunk; raises EPNGHeaderNotPresent when it is not one.
    TChunkIHDR& Header() const;

protected:
    TChunk(TPNGObject* owner, std::string_view className);

private:
    std::vector<std::uint8_t> data_;
    TPNGObject* owner_;
    ChunkType type_{};
};

// Reads a chunk's stored CRC and compares it with the complement of the running value.
void CheckStoredCrc(Stream& stream, std::uint32_t runningCrc);

// Writes a complete chunk; used by the base save and by the image data writer.
void WriteChunk(Stream& stream, const ChunkType& type, const std::uint8_t* data, std::uint32_t size);

// One registered chunk class: its type letters and how to make an instance.
struct ChunkClass {
    std::string_view name;
    std::function<std::unique_ptr<TChunk>(TPNGObject* owner)> create;
};

// Adds a class to the process-wide registry; later look-ups take the first class of a name.
void RegisterChunkClass(ChunkClass chunkClass);
const std::vector<ChunkClass>& RegisteredChunkClasses();
// A new chunk of the first registered class whose name is the type (case-sensitive), else a plain
// TChunk, with the type letters stored.
std::unique_ptr<TChunk> CreateChunkForType(TPNGObject* owner, const ChunkType& type);

}  // namespace flipbook
