// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "codecs/png/chunk.h"
#include "platform/graphics/bitmap_types.h"

namespace flipbook {

// The end chunk: no data of its own.
class TChunkIEND : public TChunk {
public:
    static constexpr std::string_view kName = "IEND";
    explicit TChunkIEND(TPNGObject* owner) : TChunk(owner, kName) {}
    std::unique_ptr<TChunk> CreateLike(TPNGObject* owner) const override {
        return std::make_unique<TChunkIEND>(owner);
    }
};

// The palette chunk. The colours live in the header's colour table (through the gamma table); this
// chunk keeps how many there are.
class TChunkPLTE : public TChunk {
public:
    static constexpr std::string_view kName = "PLTE";
    explicit TChunkPLTE(TPNGObject* owner) : TChunk(owner, kName) {}
    std::unique_ptr<TChunk> CreateLike(TPNGObject* owner) const override {
        return std::make_unique<TChunkPLTE>(owner);
    }
    void Assign(const TChunk& source) override;
    // Raises EPNGInvalidPalette unless the data is whole entries, at most 256 of them.
    bool Load(Stream& stream, const ChunkType& type, std::uint32_t length) override;
    bool Save(Stream& stream) override;

    std::uint32_t entryCount = 0;
};

// The gamma chunk: the value is its 4-byte big-endian data, 1 until loaded or set. Loading fills the
// owner's gamma and inverse-gamma tables.
class TChunkgAMA : public TChunk {
public:
    static constexpr std::string_view kName = "gAMA";
    explicit TChunkgAMA(TPNGObject* owner);
    std::unique_ptr<TChunk> CreateLike(TPNGObject* owner) const override {
        return std::make_unique<TChunkgAMA>(owner);
    }
    void Assign(const TChunk& source) override;
    bool Load(Stream& stream, const ChunkType& type, std::uint32_t length) override;

    std::uint32_t Value() const;
    void SetValue(std::uint32_t value);
};

// Fills the tables for a gamma value (x 100000); a value of 0 leaves them as they are.
void FillGammaTables(std::uint32_t value, std::array<std::uint8_t, 256>& gamma,
                     std::array<std::uint8_t, 256>& inverseGamma);

// The transparency chunk: one alpha value per palette entry, or one transparent grey or colour.
class TChunktRNS : public TChunk {
public:
    static constexpr std::string_view kName = "tRNS";
    explicit TChunktRNS(TPNGObject* owner) : TChunk(owner, kName) { values.fill(255); }
    std::unique_ptr<TChunk> CreateLike(TPNGObject* owner) const override {
        return std::make_unique<TChunktRNS>(owner);
    }
    void Assign(const TChunk& source) override;
    // Raises EPNGInvalidPalette for more than 256 bytes.
    bool Load(Stream& stream, const ChunkType& type, std::uint32_t length) override;
    bool Save(Stream& stream) override;
    // Makes the chunk describe one fully transparent colour for the header's colour type.
    void SetTransparentColor(Rgb color);

    bool singleColor = false;
    std::array<std::uint8_t, 256> values{};
};

// The time chunk: fields stay 0 unless the data is exactly 7 bytes.
class TChunktIME : public TChunk {
public:
    static constexpr std::string_view kName = "tIME";
    explicit TChunktIME(TPNGObject* owner) : TChunk(owner, kName) {}
    std::unique_ptr<TChunk> CreateLike(TPNGObject* owner) const override {
        return std::make_unique<TChunktIME>(owner);
    }
    bool Load(Stream& stream, const ChunkType& type, std::uint32_t length) override;
    bool Save(Stream& stream) override;

    std::uint16_t year = 0;
    std::uint8_t month = 0;
    std::uint8_t day = 0;
    std::uint8_t hour = 0;
    std::uint8_t minute = 0;
    std::uint8_t second = 0;
};

// A text chunk: keyword and text, bytes kept as they are.
class TChunktEXt : public TChunk {
public:
    static constexpr std::string_view kName = "tEXt";
    explicit TChunktEXt(TPNGObject* owner) : TChunktEXt(owner, kName) {}
    std::unique_ptr<TChunk> CreateLike(TPNGObject* owner) const override {
        return std::make_unique<TChunktEXt>(owner);
    }
    void Assign(const TChunk& source) override;
    bool Load(Stream& stream, const ChunkType& type, std::uint32_t length) override;
    bool Save(Stream& stream) override;

    std::string keyword;
    std::string text;

protected:
    TChunktEXt(TPNGObject* owner, std::string_view className) : TChunk(owner, className) {}
};

// A compressed text chunk: the text is kept inflated; text that cannot be inflated stays empty.
class TChunkzTXt : public TChunktEXt {
public:
    static constexpr std::string_view kName = "zTXt";
    explicit TChunkzTXt(TPNGObject* owner) : TChunktEXt(owner, kName) {}
    std::unique_ptr<TChunk> CreateLike(TPNGObject* owner) const override {
        return std::make_unique<TChunkzTXt>(owner);
    }
    bool Load(Stream& stream, const ChunkType& type, std::uint32_t length) override;
    bool Save(Stream& stream) override;
};

}  // namespace flipbook
