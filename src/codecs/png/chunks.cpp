// SPDX-License-Identifier: GPL-3.0-or-later
#include "codecs/png/chunks.h"

#include <zlib.h>

#include <algorithm>
#include <cmath>

#include "codecs/png/header_chunk.h"
#include "codecs/png/png_errors.h"
#include "codecs/png/png_object.h"
#include "codecs/png/row_format.h"

namespace flipbook {

namespace {

// Compressed text is for captions and comments; anything that inflates beyond this is refused
// (left empty) rather than allowed to take memory without bound.
constexpr std::size_t kMaxInflatedText = std::size_t{8} << 20;

// Inflates a whole zlib stream; false when it is damaged, incomplete, asks for a dictionary or grows
// beyond kMaxInflatedText.
bool InflateText(const std::uint8_t* input, std::size_t size, std::string& output) {
    z_stream stream{};
    if (inflateInit(&stream) != Z_OK) return false;
    stream.next_in = const_cast<Bytef*>(input);
    stream.avail_in = static_cast<uInt>(size);
    std::uint8_t work[16384];
    int result = Z_OK;
    do {
        stream.next_out = work;
        stream.avail_out = sizeof work;
        result = inflate(&stream, Z_NO_FLUSH);
        if (result == Z_OK || result == Z_STREAM_END) {
            output.append(reinterpret_cast<const char*>(work), sizeof work - stream.avail_out);
            if (output.size() > kMaxInflatedText) result = Z_MEM_ERROR;
        }
    } while (result == Z_OK);
    inflateEnd(&stream);
    if (result == Z_STREAM_END) return true;
    output.clear();
    return false;
}

}  // namespace

void TChunkPLTE::Assign(const TChunk& source) {
    const auto* palette = dynamic_cast<const TChunkPLTE*>(&source);
    if (palette == nullptr) throw EPngError(EPngError::kChunksNotCompatible);
    entryCount = palette->entryCount;
}

bool TChunkPLTE::Load(Stream& stream, const ChunkType& type, std::uint32_t length) {
    TChunk::Load(stream, type, length);
    if (length % 3 != 0 || length / 3 > 256) throw EPNGInvalidPalette();
    entryCount = length / 3;
    TChunkIHDR& header = Header();
    const auto& gamma = Owner()->GammaTable();
    const std::uint8_t* data = Data().data();
    for (std::uint32_t index = 0; index < entryCount; ++index) {
        RgbQuad& entry = header.ColorTable()[index];
        entry.red = gamma[data[3 * index]];
        entry.green = gamma[data[3 * index + 1]];
        entry.blue = gamma[data[3 * index + 2]];
        entry.reserved = 0;
    }
    return true;
}

bool TChunkPLTE::Save(Stream& stream) {
    const std::uint32_t count = std::min<std::uint32_t>(entryCount, 256);
    ResizeData(3 * count);
    const TChunkIHDR& header = Header();
    const auto& inverseGamma = Owner()->InverseGammaTable();
    std::uint8_t* data = MutableData();
    for (std::uint32_t index = 0; index < count; ++index) {
        const RgbQuad& entry = header.ColorTable()[index];
        data[3 * index] = inverseGamma[entry.red];
        data[3 * index + 1] = inverseGamma[entry.green];
        data[3 * index + 2] = inverseGamma[entry.blue];
    }
    return TChunk::Save(stream);
}

TChunkgAMA::TChunkgAMA(TPNGObject* owner) : TChunk(owner, kName) {
    SetValue(1);
}

void TChunkgAMA::Assign(const TChunk& source) {
    const auto* gamma = dynamic_cast<const TChunkgAMA*>(&source);
    if (gamma == nullptr) throw EPngError(EPngError::kChunksNotCompatible);
    SetValue(gamma->Value());
}

bool TChunkgAMA::Load(Stream& stream, const ChunkType& type, std::uint32_t length) {
    TChunk::Load(stream, type, length);
    if (DataSize() != 4) SetValue(1);
    if (Owner() != nullptr) FillGammaTables(Value(), Owner()->GammaTable(), Owner()->InverseGammaTable());
    return true;
}

std::uint32_t TChunkgAMA::Value() const {
    return ReadBigEndian32(Data().data());
}

void TChunkgAMA::SetValue(std::uint32_t value) {
    ResizeData(4);
    WriteBigEndian32(MutableData(), value);
}

void FillGammaTables(std::uint32_t value, std::array<std::uint8_t, 256>& gamma,
                     std::array<std::uint8_t, 256>& inverseGamma) {
    if (value == 0) return;
    // The extended-precision powers are slow next to decoding a small picture, and pictures tend to
    // share a few values: keep the last tables made on this thread.
    struct CachedTable {
        std::uint32_t value = 0;
        std::array<std::uint8_t, 256> table{};
    };
    thread_local std::array<CachedTable, 4> cache{};
    thread_local std::size_t nextSlot = 0;
    auto cached = std::find_if(cache.begin(), cache.end(),
                               [&](const CachedTable& entry) { return entry.value == value; });
    if (cached == cache.end()) {
        cached = cache.begin() + static_cast<std::ptrdiff_t>(nextSlot);
        nextSlot = (nextSlot + 1) % cache.size();
        const long double exponent = 1.0L / ((static_cast<long double>(value) / 100000.0L) * 2.2L);
        for (std::size_t index = 0; index < 256; ++index) {
            const long double base = static_cast<long double>(index) / 255.0L;
            const long double power = index == 0 ? 0.0L : std::pow(base, exponent);
            // nearbyint rounds to nearest with ties to even in the default rounding mode.
            cached->table[index] = static_cast<std::uint8_t>(std::nearbyint(power * 255.0L));
        }
        cached->value = value;
    }
    const std::array<std::uint8_t, 256>& cachedTable = cached->table;
    for (std::size_t index = 0; index < 256; ++index) {
        gamma[index] = cachedTable[index];
        // When several entries map to one value, the largest wins.
        inverseGamma[cachedTable[index]] = static_cast<std::uint8_t>(index);
    }
}

void TChunktRNS::Assign(const TChunk& source) {
    if (const auto* transparency = dynamic_cast<const TChunktRNS*>(&source)) {
        values = transparency->values;
        singleColor = transparency->singleColor;
    }
    TChunk::Assign(source);
}

bool TChunktRNS::Load(Stream& stream, const ChunkType& type, std::uint32_t length) {
    TChunk::Load(stream, type, length);
    if (length > 256) throw EPNGInvalidPalette();
    values.fill(255);
    std::copy(Data().begin(), Data().end(), values.begin());
    switch (Header().colorType) {
        case kColorGrey:
        case kColorRgb:
            singleColor = true;
            break;
        case kColorPalette:
            singleColor = std::count_if(values.begin(), values.begin() + length,
                                        [](std::uint8_t value) { return value != 255; }) == 1;
            break;
        default:
            break;
    }
    return true;
}

bool TChunktRNS::Save(Stream& stream) {
    if (DataSize() <= 256) std::copy_n(values.begin(), DataSize(), MutableData());
    return TChunk::Save(stream);
}

void TChunktRNS::SetTransparentColor(Rgb color) {
    values.fill(0);
    singleColor = true;
    const TChunkIHDR& header = Header();
    switch (header.colorType) {
        case kColorGrey:
            ResizeData(2);
            WriteBigEndian16(MutableData(), color.red);
            break;
        case kColorRgb:
            ResizeData(6);
            WriteBigEndian16(MutableData(), color.red);
            WriteBigEndian16(MutableData() + 2, color.green);
            WriteBigEndian16(MutableData() + 4, color.blue);
            break;
        case kColorPalette: {
            const auto& table = header.ColorTable();
            const auto match = std::find_if(table.begin(), table.end(), [&](const RgbQuad& entry) {
                return entry.red == color.red && entry.green == color.green && entry.blue == color.blue;
            });
            const auto index = match == table.end() ? 0 : static_cast<std::uint32_t>(match - table.begin());
            ResizeData(index + 1);
            std::fill_n(MutableData(), index, std::uint8_t{255});
            MutableData()[index] = 0;
            break;
        }
        default:
            break;
    }
    // The save writes the value table over the data, so the table must hold the data's bytes.
    std::copy_n(Data().begin(), std::min<std::uint32_t>(DataSize(), 256), values.begin());
}

bool TChunktIME::Load(Stream& stream, const ChunkType& type, std::uint32_t length) {
    TChunk::Load(stream, type, length);
    if (DataSize() != 7) return true;
    const std::uint8_t* data = Data().data();
    year = ReadBigEndian16(data);
    month = data[2];
    day = data[3];
    hour = data[4];
    minute = data[5];
    second = data[6];
    return true;
}

bool TChunktIME::Save(Stream& stream) {
    ResizeData(7);
    std::uint8_t* data = MutableData();
    WriteBigEndian16(data, year);
    data[2] = month;
    data[3] = day;
    data[4] = hour;
    data[5] = minute;
    data[6] = second;
    return TChunk::Save(stream);
}

void TChunktEXt::Assign(const TChunk& source) {
    if (const auto* textChunk = dynamic_cast<const TChunktEXt*>(&source)) {
        keyword = textChunk->keyword;
        text = textChunk->text;
    }
}

bool TChunktEXt::Load(Stream& stream, const ChunkType& type, std::uint32_t length) {
    TChunk::Load(stream, type, length);
    if (DataSize() < 3) return true;
    const auto* data = reinterpret_cast<const char*>(Data().data());
    const std::string_view all(data, DataSize());
    const std::size_t zero = all.find('\0');
    keyword = std::string(all.substr(0, zero));
    text = zero == std::string_view::npos ? std::string() : std::string(all.substr(zero + 1));
    return true;
}

bool TChunktEXt::Save(Stream& stream) {
    ResizeData(static_cast<std::uint32_t>(keyword.size() + 1 + text.size()));
    std::uint8_t* data = MutableData();
    std::copy(keyword.begin(), keyword.end(), data);
    data[keyword.size()] = 0;
    std::copy(text.begin(), text.end(), data + keyword.size() + 1);
    return TChunk::Save(stream);
}

bool TChunkzTXt::Load(Stream& stream, const ChunkType& type, std::uint32_t length) {
    TChunktEXt::Load(stream, type, length);
    if (DataSize() < 4) return true;
    const std::string_view all(reinterpret_cast<const char*>(Data().data()), DataSize());
    const std::size_t zero = all.find('\0');
    keyword = std::string(all.substr(0, zero));
    text.clear();
    // Without a zero byte, or with nothing after it, there is no compression method to read.
    if (zero == std::string_view::npos || zero + 1 >= DataSize()) return true;
    if (Data()[zero + 1] != 0) return true;
    InflateText(Data().data() + zero + 2, DataSize() - zero - 2, text);
    return true;
}

bool TChunkzTXt::Save(Stream& stream) {
    uLongf compressedSize = compressBound(static_cast<uLong>(text.size()));
    std::vector<std::uint8_t> compressed(compressedSize);
    if (compress2(compressed.data(), &compressedSize, reinterpret_cast<const Bytef*>(text.data()),
                  static_cast<uLong>(text.size()), Z_DEFAULT_COMPRESSION) != Z_OK) {
        throw EPNGOutMemory();
    }
    ResizeData(static_cast<std::uint32_t>(keyword.size() + 2 + compressedSize));
    std::uint8_t* data = MutableData();
    std::copy(keyword.begin(), keyword.end(), data);
    data[keyword.size()] = 0;
    data[keyword.size() + 1] = 0;
    std::copy_n(compressed.begin(), compressedSize, data + keyword.size() + 2);
    return TChunk::Save(stream);
}

}  // namespace flipbook
