// SPDX-License-Identifier: GPL-3.0-or-later
// Pixel layouts and the conversion of a Bitmap from one pixel format to another.
#include <algorithm>
#include <bit>
#include <limits>

#include "platform/core/exception.h"
#include "platform/core/limits.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/pixel_layout.h"

namespace flipbook {
namespace graphics_detail {

ChannelMask::ChannelMask(std::uint32_t mask) : mask_(mask) {
    if (mask == 0) return;
    shift_ = std::countr_zero(mask);
    // A mask with holes is read as the span from its lowest to its highest bit.
    const int span = 32 - std::countl_zero(mask) - shift_;
    maximum_ = span >= 32 ? std::numeric_limits<std::uint32_t>::max() : (std::uint32_t{1} << span) - 1;
}

std::uint8_t ChannelMask::Decode(std::uint32_t pixel) const {
    if (maximum_ == 0) return 0;
    const std::uint64_t value = (pixel & mask_) >> shift_;
    return static_cast<std::uint8_t>((value * 255 + maximum_ / 2) / maximum_);
}

std::uint32_t ChannelMask::Encode(std::uint8_t value) const {
    if (maximum_ == 0) return 0;
    const std::uint64_t scaled = (std::uint64_t{value} * maximum_ + 127) / 255;
    return static_cast<std::uint32_t>(scaled << shift_) & mask_;
}

ColorMasks EffectiveMasks(const BitmapInfoHeader& header, const ColorMasks& masks) {
    if (header.compression == kBiBitFields) return masks;
    if (header.bitCount == 16) return {0x7C00, 0x03E0, 0x001F};
    if (header.bitCount == 32) return {0xFF0000, 0x00FF00, 0x0000FF};
    return {};
}

PixelLayout::PixelLayout(const BitmapInfoHeader& header, const ColorMasks& masks,
                         const std::vector<RgbQuad>& colorTable)
    : bits_(header.bitCount), colorTable_(&colorTable) {
    const ColorMasks effective = EffectiveMasks(header, masks);
    if (bits_ <= 8) {
        kind_ = Kind::Palette;
    } else if (bits_ == 24) {
        kind_ = Kind::Bgr24;
    } else if (bits_ == 32 && effective == ColorMasks{0xFF0000, 0x00FF00, 0x0000FF}) {
        kind_ = Kind::Bgrx32;
    } else {
        kind_ = Kind::Masked;
        red_ = ChannelMask(effective.red);
        green_ = ChannelMask(effective.green);
        blue_ = ChannelMask(effective.blue);
    }
}

std::uint32_t PixelLayout::Load(const std::uint8_t* row, int x) const {
    const auto index = static_cast<std::size_t>(x);
    switch (bits_) {
        case 1:
            return (row[index / 8] >> (7 - index % 8)) & 1u;
        case 4:
            return (row[index / 2] >> (index % 2 == 0 ? 4 : 0)) & 0xFu;
        case 8:
            return row[index];
        case 16:
            return row[2 * index] | std::uint32_t{row[2 * index + 1]} << 8;
        case 24: {
            const std::uint8_t* p = row + 3 * index;
            return p[0] | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16;
        }
        default: {
            const std::uint8_t* p = row + 4 * index;
            return p[0] | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 | std::uint32_t{p[3]} << 24;
        }
    }
}

void PixelLayout::Store(std::uint8_t* row, int x, std::uint32_t value) const {
    const auto index = static_cast<std::size_t>(x);
    switch (bits_) {
        case 1: {
            const auto bit = static_cast<std::uint8_t>(0x80u >> (index % 8));
            row[index / 8] = static_cast<std::uint8_t>((row[index / 8] & ~bit) | ((value & 1u) ? bit : 0));
            return;
        }
        case 4: {
            const int shift = index % 2 == 0 ? 4 : 0;
            row[index / 2] =
                static_cast<std::uint8_t>((row[index / 2] & ~(0xF << shift)) | (value & 0xFu) << shift);
            return;
        }
        case 8:
            row[index] = static_cast<std::uint8_t>(value);
            return;
        case 16:
            row[2 * index] = static_cast<std::uint8_t>(value);
            row[2 * index + 1] = static_cast<std::uint8_t>(value >> 8);
            return;
        case 24: {
            std::uint8_t* p = row + 3 * index;
            p[0] = static_cast<std::uint8_t>(value);
            p[1] = static_cast<std::uint8_t>(value >> 8);
            p[2] = static_cast<std::uint8_t>(value >> 16);
            return;
        }
        default: {
            std::uint8_t* p = row + 4 * index;
            p[0] = static_cast<std::uint8_t>(value);
            p[1] = static_cast<std::uint8_t>(value >> 8);
            p[2] = static_cast<std::uint8_t>(value >> 16);
            p[3] = static_cast<std::uint8_t>(value >> 24);
            return;
        }
    }
}

std::uint32_t PixelLayout::Encode(Rgb color) const {
    switch (kind_) {
        case Kind::Bgr24:
        case Kind::Bgrx32:
            return color.blue | std::uint32_t{color.green} << 8 | std::uint32_t{color.red} << 16;
        case Kind::Masked:
            return red_.Encode(color.red) | green_.Encode(color.green) | blue_.Encode(color.blue);
        case Kind::Palette:
            break;
    }
    if (haveLast_ && lastColor_ == color) return lastIndex_;
    const std::vector<RgbQuad>& table = *colorTable_;
    const std::size_t usable = std::min(table.size(), std::size_t{1} << bits_);
    std::uint32_t best = 0;
    int bestDistance = std::numeric_limits<int>::max();
    for (std::size_t i = 0; i < usable && bestDistance != 0; ++i) {
        const int dr = table[i].red - color.red;
        const int dg = table[i].green - color.green;
        const int db = table[i].blue - color.blue;
        const int distance = dr * dr + dg * dg + db * db;
        if (distance < bestDistance) {
            bestDistance = distance;
            best = static_cast<std::uint32_t>(i);
        }
    }
    lastColor_ = color;
    lastIndex_ = best;
    haveLast_ = true;
    return best;
}

Rgb PixelLayout::Decode(std::uint32_t value) const {
    switch (kind_) {
        case Kind::Bgr24:
        case Kind::Bgrx32:
            return {static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 8),
                    static_cast<std::uint8_t>(value)};
        case Kind::Masked:
            return {red_.Decode(value), green_.Decode(value), blue_.Decode(value)};
        case Kind::Palette:
            break;
    }
    // An index beyond the table reads as black, as it would on screen.
    if (value >= colorTable_->size()) return kBlack;
    const RgbQuad& entry = (*colorTable_)[value];
    return {entry.red, entry.green, entry.blue};
}

void PixelLayout::ReadRow(const std::uint8_t* row, int width, Rgb* colors) const {
    if (kind_ == Kind::Bgr24) {
        for (int x = 0; x < width; ++x, row += 3) colors[x] = {row[2], row[1], row[0]};
        return;
    }
    for (int x = 0; x < width; ++x) colors[x] = Read(row, x);
}

void PixelLayout::WriteRow(std::uint8_t* row, int width, const Rgb* colors) const {
    if (kind_ == Kind::Bgr24) {
        for (int x = 0; x < width; ++x, row += 3) {
            row[0] = colors[x].blue;
            row[1] = colors[x].green;
            row[2] = colors[x].red;
        }
        return;
    }
    for (int x = 0; x < width; ++x) Write(row, x, colors[x]);
}

std::vector<RgbQuad> FixedColorTable(int bitsPerPixel) {
    auto quad = [](int red, int green, int blue) {
        return RgbQuad{static_cast<std::uint8_t>(blue), static_cast<std::uint8_t>(green),
                       static_cast<std::uint8_t>(red), 0};
    };
    if (bitsPerPixel == 1) return {quad(0, 0, 0), quad(255, 255, 255)};
    if (bitsPerPixel == 4) {
        return {quad(0, 0, 0),       quad(128, 0, 0),   quad(0, 128, 0),   quad(128, 128, 0),
                quad(0, 0, 128),     quad(128, 0, 128), quad(0, 128, 128), quad(192, 192, 192),
                quad(128, 128, 128), quad(255, 0, 0),   quad(0, 255, 0),   quad(255, 255, 0),
                quad(0, 0, 255),     quad(255, 0, 255), quad(0, 255, 255), quad(255, 255, 255)};
    }
    // 8 bits: a 6 x 6 x 6 colour cube and 40 greys between its levels.
    std::vector<RgbQuad> table;
    table.reserve(256);
    for (int red = 0; red < 6; ++red)
        for (int green = 0; green < 6; ++green)
            for (int blue = 0; blue < 6; ++blue) table.push_back(quad(red * 51, green * 51, blue * 51));
    for (int grey = 1; table.size() < 256; ++grey) {
        const int level = (grey * 255 + 20) / 41;
        table.push_back(quad(level, level, level));
    }
    return table;
}

}  // namespace graphics_detail

namespace {

struct FormatDescription {
    std::uint16_t bitCount = 24;
    std::uint32_t compression = kBiRgb;
    ColorMasks masks{};
    bool deviceDependent = false;
};

FormatDescription Describe(PixelFormat format) {
    switch (format) {
        case PixelFormat::Bit1:
            return {1, kBiRgb, {}, false};
        case PixelFormat::Bit4:
            return {4, kBiRgb, {}, false};
        case PixelFormat::Bit8:
            return {8, kBiRgb, {}, false};
        case PixelFormat::Bit15:
            return {16, kBiRgb, {}, false};
        case PixelFormat::Bit16:
            return {16, kBiBitFields, {0xF800, 0x07E0, 0x001F}, false};
        case PixelFormat::Bit24:
            return {24, kBiRgb, {}, false};
        case PixelFormat::Bit32:
            return {32, kBiRgb, {}, false};
        case PixelFormat::Device:
            return {32, kBiRgb, {}, true};
        case PixelFormat::Custom:
            break;
    }
    // A custom layout has no masks of its own to go by.
    throw EInvalidGraphic();
}

}  // namespace

void Bitmap::SetPixelFormat(PixelFormat format) {
    if (header_.bitCount != 0 && GetPixelFormat() == format) return;
    const FormatDescription target = Describe(format);
    requestedFormat_ = format;

    BitmapInfoHeader header = header_;
    header.size = 40;
    header.planes = 1;
    header.bitCount = target.bitCount;
    header.compression = target.compression;
    std::vector<RgbQuad> colorTable;
    if (target.bitCount <= 8) colorTable = graphics_detail::FixedColorTable(target.bitCount);

    const int width = Width();
    const int height = Height();
    const std::size_t stride = *flipbook::RowStride(static_cast<std::uint64_t>(width), target.bitCount);
    const auto bytes = CheckedMultiply(stride, static_cast<std::uint64_t>(height));
    if (!bytes || *bytes > kMaxPixelBytes) throw EInvalidGraphic();
    PixelMemory pixels(*bytes, 0);

    if (!Empty()) {
        const graphics_detail::PixelLayout from(header_, masks_, colorTable_);
        const graphics_detail::PixelLayout to(header, target.masks, colorTable);
        std::vector<Rgb> row(static_cast<std::size_t>(width));
        // Both memories keep the same row order, so rows correspond by their memory index.
        for (int y = 0; y < height; ++y) {
            from.ReadRow(std::as_const(pixels_).data() + static_cast<std::size_t>(y) * rowStride_, width, row.data());
            to.WriteRow(pixels.data() + static_cast<std::size_t>(y) * stride, width, row.data());
        }
        header.sizeImage = static_cast<std::uint32_t>(*bytes);
    }
    header.clrUsed = 0;
    header.clrImportant = 0;

    header_ = header;
    masks_ = target.masks;
    colorTable_ = std::move(colorTable);
    pixels_ = std::move(pixels);
    rowStride_ = stride;
    deviceDependent_ = target.deviceDependent;
    Changed();
}

}  // namespace flipbook
