// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstdint>
#include <optional>

namespace flipbook {

// PNG colour types.
inline constexpr std::uint8_t kColorGrey = 0;
inline constexpr std::uint8_t kColorRgb = 2;
inline constexpr std::uint8_t kColorPalette = 3;
inline constexpr std::uint8_t kColorGreyAlpha = 4;
inline constexpr std::uint8_t kColorRgbAlpha = 6;

// True for the colour-type and bit-depth pairs PNG allows.
constexpr bool IsValidColorTypeAndDepth(std::uint8_t colorType, std::uint8_t bitDepth) {
    switch (colorType) {
        case kColorGrey:
            return bitDepth == 1 || bitDepth == 2 || bitDepth == 4 || bitDepth == 8 || bitDepth == 16;
        case kColorPalette:
            return bitDepth == 1 || bitDepth == 2 || bitDepth == 4 || bitDepth == 8;
        case kColorRgb:
        case kColorGreyAlpha:
        case kColorRgbAlpha:
            return bitDepth == 8 || bitDepth == 16;
        default:
            return false;
    }
}

// Bits per pixel of the image buffer that holds such a picture (2-bit samples widened to 4, 16-bit
// samples cut to their high byte, colour as 24-bit blue, green, red); 0 for pairs it cannot hold.
constexpr int ImageBufferBitsPerPixel(std::uint8_t colorType, std::uint8_t bitDepth) {
    switch (colorType) {
        case kColorGrey:
        case kColorPalette:
        case kColorGreyAlpha:
            switch (bitDepth) {
                case 1:
                case 4:
                case 8:
                    return bitDepth;
                case 2:
                    return 4;
                case 16:
                    return 8;
                default:
                    return 0;
            }
        case kColorRgb:
        case kColorRgbAlpha:
            return bitDepth == 8 || bitDepth == 16 ? 24 : 0;
        default:
            return 0;
    }
}

constexpr bool HasAlphaPlane(std::uint8_t colorType) {
    return colorType == kColorGreyAlpha || colorType == kColorRgbAlpha;
}

// Samples per pixel of a colour type.
constexpr std::uint64_t SamplesPerPixel(std::uint8_t colorType) {
    switch (colorType) {
        case kColorRgb:
            return 3;
        case kColorGreyAlpha:
            return 2;
        case kColorRgbAlpha:
            return 4;
        default:
            return 1;
    }
}

// Bytes of one PNG row of so many pixels, without its filter byte.
constexpr std::uint64_t RowByteCount(std::uint8_t colorType, std::uint8_t bitDepth, std::uint64_t pixels) {
    return (pixels * bitDepth * SamplesPerPixel(colorType) + 7) / 8;
}

// The filter's byte distance to the same byte of the pixel on the left (at least 1).
constexpr std::uint32_t PixelDistance(std::uint8_t colorType, std::uint8_t bitDepth) {
    const auto bits = static_cast<std::uint32_t>(bitDepth * SamplesPerPixel(colorType));
    return bits < 8 ? 1 : bits / 8;
}

// The seven passes of Adam7: where each starts and how far it steps, in rows and columns.
struct Adam7Pass {
    std::uint32_t rowStart;
    std::uint32_t columnStart;
    std::uint32_t rowStep;
    std::uint32_t columnStep;
};
inline constexpr std::array<Adam7Pass, 7> kAdam7Passes{{
    {0, 0, 8, 8},
    {0, 4, 8, 8},
    {4, 0, 8, 4},
    {0, 2, 4, 4},
    {2, 0, 4, 2},
    {0, 1, 2, 2},
    {1, 0, 2, 1},
}};

// Pixels of a pass row across a picture of that width (0 when the pass has no column there).
constexpr std::uint32_t PassWidth(const Adam7Pass& pass, std::uint32_t width) {
    return width > pass.columnStart ? (width - pass.columnStart + pass.columnStep - 1) / pass.columnStep : 0;
}
constexpr std::uint32_t PassHeight(const Adam7Pass& pass, std::uint32_t height) {
    return height > pass.rowStart ? (height - pass.rowStart + pass.rowStep - 1) / pass.rowStep : 0;
}

// Bytes of filtered image data (rows with their filter bytes) that a complete picture holds.
constexpr std::uint64_t FilteredImageBytes(std::uint8_t colorType, std::uint8_t bitDepth, std::uint32_t width,
                                           std::uint32_t height, bool adam7) {
    if (!adam7) return height * (RowByteCount(colorType, bitDepth, width) + 1);
    std::uint64_t total = 0;
    for (const Adam7Pass& pass : kAdam7Passes) {
        const std::uint32_t passWidth = PassWidth(pass, width);
        if (passWidth == 0) continue;
        total += PassHeight(pass, height) * (RowByteCount(colorType, bitDepth, passWidth) + 1);
    }
    return total;
}

}  // namespace flipbook
