// SPDX-License-Identifier: GPL-3.0-or-later
// Turning a loaded picture into a Bitmap or onto a canvas, and reading and setting its pixels.
#include <cstring>
#include <limits>

#include "codecs/png/chunks.h"
#include "codecs/png/header_chunk.h"
#include "codecs/png/png_errors.h"
#include "codecs/png/png_object.h"
#include "codecs/png/row_format.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/canvas.h"

namespace flipbook {

namespace {

Rgb ToRgb(const RgbQuad& entry) {
    return Rgb{entry.red, entry.green, entry.blue};
}

// The index of a packed pixel of 1, 4 or 8 bits, most significant bits first.
std::uint8_t IndexAt(const std::uint8_t* row, int x, int bits) {
    const int perByte = 8 / bits;
    const int shift = 8 - bits - bits * (x % perByte);
    return static_cast<std::uint8_t>((row[x / perByte] >> shift) & ((1 << bits) - 1));
}

// The first entry nearest to the colour among the first count entries.
std::uint8_t NearestIndex(const std::array<RgbQuad, 256>& table, int count, Rgb color) {
    int best = 0;
    int bestDistance = std::numeric_limits<int>::max();
    for (int index = 0; index < count; ++index) {
        const RgbQuad& entry = table[static_cast<std::size_t>(index)];
        const int red = entry.red - color.red;
        const int green = entry.green - color.green;
        const int blue = entry.blue - color.blue;
        const int distance = red * red + green * green + blue * blue;
        if (distance < bestDistance) {
            bestDistance = distance;
            best = index;
        }
    }
    return static_cast<std::uint8_t>(best);
}

std::uint8_t Blend(std::uint8_t source, std::uint8_t alpha, std::uint8_t under) {
    return static_cast<std::uint8_t>((source * alpha + (255 - alpha) * under + 255) >> 8);
}

}  // namespace

void TPNGObject::AssignTo(Bitmap& target) const {
    const TChunkIHDR& header = Header();
    if (!header.HasImageBuffer()) throw EPNGHeaderNotPresent();
    std::vector<RgbQuad> colorTable;
    if (header.HasColorTable()) {
        colorTable.assign(header.ColorTable().begin(),
                          header.ColorTable().begin() + (1 << header.BitsPerPixel()));
    }
    Bitmap picture;
    picture.CreateSection(header.BitmapInfo(), ColorMasks{}, std::move(colorTable));
    std::memcpy(picture.MutablePixels(), header.Pixels(),
                std::min(picture.PixelBytes(), header.PixelBytes()));
    if (TransparencyMode() == PngTransparencyMode::SingleColor) {
        picture.SetTransparentColor(TransparentColor());
        picture.SetTransparent(true);
    }
    target = std::move(picture);
}

PngTransparencyMode TPNGObject::TransparencyMode() const {
    const TChunkIHDR& header = Header();
    const auto* transparency = chunks_.ItemOfClass<TChunktRNS>();
    switch (header.colorType) {
        case kColorGrey:
        case kColorRgb:
            return transparency ? PngTransparencyMode::SingleColor : PngTransparencyMode::None;
        case kColorPalette:
            if (transparency == nullptr) return PngTransparencyMode::None;
            return transparency->singleColor ? PngTransparencyMode::SingleColor
                                             : PngTransparencyMode::Partial;
        case kColorGreyAlpha:
        case kColorRgbAlpha:
            return PngTransparencyMode::Partial;
        default:
            return PngTransparencyMode::None;
    }
}

Rgb TPNGObject::TransparentColor() const {
    const auto* transparency = chunks_.ItemOfClass<TChunktRNS>();
    if (transparency == nullptr || !HasHeader()) return kBlack;
    const auto& values = transparency->values;
    switch (Header().colorType) {
        case kColorGrey:
            return Rgb{values[1], values[1], values[1]};
        case kColorRgb:
            return Rgb{values[1], values[3], values[5]};
        case kColorPalette: {
            const auto* palette = chunks_.ItemOfClass<TChunkPLTE>();
            const std::uint32_t entries = palette ? palette->entryCount : 0;
            const std::uint32_t count = std::min<std::uint32_t>(transparency->DataSize(), 256);
            for (std::uint32_t index = 0; index < count; ++index) {
                // An index beyond the palette has no colour; it cannot name the transparent one.
                if (values[index] == 0) return index < entries ? PaletteColor(index) : kBlack;
            }
            return kBlack;
        }
        default:
            return kBlack;
    }
}

Rgb TPNGObject::PaletteColor(std::uint32_t index) const {
    const auto* palette = chunks_.ItemOfClass<TChunkPLTE>();
    if (palette == nullptr || index >= palette->entryCount || index > 255) {
        throw EPngError(EPngError::kNoSuchPaletteEntry);
    }
    return ToRgb(Header().ColorTable()[index]);
}

const PngPalette* TPNGObject::Palette() const {
    if (!HasHeader()) return nullptr;
    const TChunkIHDR& header = Header();
    if (header.colorType != kColorGrey && header.colorType != kColorPalette) return nullptr;
    if (!palette_) {
        palette_.emplace();
        for (std::size_t index = 0; index < 256; ++index)
            (*palette_)[index] = ToRgb(header.ColorTable()[index]);
    }
    return &*palette_;
}

std::uint8_t* TPNGObject::ScanLine(int y) {
    return Header().ScanLine(static_cast<std::uint32_t>(y));
}

Rgb TPNGObject::Pixel(int x, int y) const {
    if (x < 0 || y < 0 || x >= Width() || y >= Height() || !Header().HasImageBuffer()) return kBlack;
    const TChunkIHDR& header = Header();
    const std::uint8_t* row = header.ScanLine(static_cast<std::uint32_t>(y));
    if (header.BitsPerPixel() == 24) return Rgb{row[3 * x + 2], row[3 * x + 1], row[3 * x]};
    const std::uint8_t index = IndexAt(row, x, header.BitsPerPixel());
    // The palette's colours went through the gamma table when they were loaded; they are given as
    // the assigned Bitmap shows them.
    if (header.colorType == kColorPalette) return PaletteColor(index);
    return ToRgb(header.ColorTable()[index]);
}

void TPNGObject::SetPixel(int x, int y, Rgb color) {
    if (x < 0 || y < 0 || x >= Width() || y >= Height() || !Header().HasImageBuffer()) return;
    TChunkIHDR& header = Header();
    std::uint8_t* row = header.ScanLine(static_cast<std::uint32_t>(y));
    const int bits = header.BitsPerPixel();
    if (bits == 24) {
        row[3 * x] = color.blue;
        row[3 * x + 1] = color.green;
        row[3 * x + 2] = color.red;
        return;
    }
    // Only indexes the pixel can hold are candidates.
    const std::uint8_t index = NearestIndex(header.ColorTable(), 1 << bits, color);
    const int perByte = 8 / bits;
    const int shift = 8 - bits - bits * (x % perByte);
    const int mask = ((1 << bits) - 1) << shift;
    std::uint8_t& target = row[x / perByte];
    target = static_cast<std::uint8_t>((target & ~mask) | (index << shift));
}

void TPNGObject::Draw(Canvas& canvas, const Rect& rectangle) const {
    if (!HasHeader() || !Header().HasImageBuffer()) return;
    const PngTransparencyMode mode = TransparencyMode();
    if (mode != PngTransparencyMode::Partial) {
        Bitmap picture;
        AssignTo(picture);
        if (mode == PngTransparencyMode::None) {
            canvas.StretchDraw(rectangle, picture);
        } else {
            canvas.CopyRectTransparent(rectangle, picture, TransparentColor());
        }
        return;
    }
    // Per-pixel transparency is blended at the picture's own size.
    const TChunkIHDR& header = Header();
    const Bitmap& surface = canvas.Owner();
    const auto* transparency = chunks_.ItemOfClass<TChunktRNS>();
    const int width = static_cast<int>(header.width);
    const int height = static_cast<int>(header.height);
    for (int y = 0; y < height; ++y) {
        const int targetY = rectangle.top + y;
        if (targetY < 0 || targetY >= surface.Height()) continue;
        const std::uint8_t* row = header.ScanLine(static_cast<std::uint32_t>(y));
        const std::uint8_t* alphaRow = header.AlphaPlane().empty()
                                           ? nullptr
                                           : header.AlphaPlane().data() + std::size_t(y) * header.width;
        for (int x = 0; x < width; ++x) {
            const int targetX = rectangle.left + x;
            if (targetX < 0 || targetX >= surface.Width()) continue;
            Rgb source;
            std::uint8_t alpha = 255;
            if (header.colorType == kColorRgbAlpha) {
                source = Rgb{row[3 * x + 2], row[3 * x + 1], row[3 * x]};
                alpha = alphaRow[x];
            } else if (header.colorType == kColorGreyAlpha) {
                source = Rgb{row[x], row[x], row[x]};
                alpha = alphaRow[x];
            } else {
                const std::uint8_t index = IndexAt(row, x, header.BitsPerPixel());
                source = ToRgb(header.ColorTable()[index]);
                alpha = transparency != nullptr ? transparency->values[index] : 255;
            }
            const Rgb under = canvas.Pixel(targetX, targetY);
            canvas.SetPixel(targetX, targetY,
                            Rgb{Blend(source.red, alpha, under.red), Blend(source.green, alpha, under.green),
                                Blend(source.blue, alpha, under.blue)});
        }
    }
}

}  // namespace flipbook
