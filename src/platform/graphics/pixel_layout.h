// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Internal to the graphics folder: reading and writing single pixels of any of the Bitmap's layouts.

#include <cstdint>
#include <vector>

#include "platform/graphics/bitmap_types.h"

namespace flipbook::graphics_detail {

// One colour channel of a 16- or 32-bit pixel, described by its mask.
class ChannelMask {
public:
    ChannelMask() = default;
    explicit ChannelMask(std::uint32_t mask);

    std::uint8_t Decode(std::uint32_t pixel) const;
    std::uint32_t Encode(std::uint8_t value) const;

private:
    std::uint32_t mask_ = 0;
    int shift_ = 0;
    std::uint32_t maximum_ = 0;  // the largest channel value after shifting
};

// How the pixels of one Bitmap description are laid out in a row.
class PixelLayout {
public:
    // The table must outlive the layout; it is only used for 1, 4 and 8 bits.
    PixelLayout(const BitmapInfoHeader& header, const ColorMasks& masks,
                const std::vector<RgbQuad>& colorTable);

    int BitsPerPixel() const { return bits_; }

    // The raw pixel value: an index for palette formats, the packed value otherwise.
    std::uint32_t Load(const std::uint8_t* row, int x) const;
    void Store(std::uint8_t* row, int x, std::uint32_t value) const;

    // A colour in this layout; palette formats take the nearest colour-table entry.
    std::uint32_t Encode(Rgb color) const;
    Rgb Decode(std::uint32_t value) const;

    Rgb Read(const std::uint8_t* row, int x) const { return Decode(Load(row, x)); }
    void Write(std::uint8_t* row, int x, Rgb color) const { Store(row, x, Encode(color)); }
    void ReadRow(const std::uint8_t* row, int width, Rgb* colors) const;
    void WriteRow(std::uint8_t* row, int width, const Rgb* colors) const;

private:
    enum class Kind { Palette, Masked, Bgr24, Bgrx32 };

    Kind kind_ = Kind::Bgr24;
    int bits_ = 24;
    const std::vector<RgbQuad>* colorTable_ = nullptr;
    ChannelMask red_, green_, blue_;
    // Palette writes often repeat one colour (fills, flat areas); remembering the last answer saves a search.
    mutable Rgb lastColor_{};
    mutable std::uint32_t lastIndex_ = 0;
    mutable bool haveLast_ = false;
};

// The masks a 16- or 32-bit description stands for: its own with bit fields, the standard ones without.
ColorMasks EffectiveMasks(const BitmapInfoHeader& header, const ColorMasks& masks);

// The fixed colour table used when converting to 1, 4 or 8 bits.
std::vector<RgbQuad> FixedColorTable(int bitsPerPixel);

}  // namespace flipbook::graphics_detail
