// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

namespace flipbook {

// Compression values of the device-independent info header.
inline constexpr std::uint32_t kBiRgb = 0;
inline constexpr std::uint32_t kBiRle8 = 1;
inline constexpr std::uint32_t kBiRle4 = 2;
inline constexpr std::uint32_t kBiBitFields = 3;

// The 40-byte device-independent info header, as held in memory (its file form is little-endian).
struct BitmapInfoHeader {
    std::uint32_t size = 40;
    std::int32_t width = 0;
    std::int32_t height = 0;  // positive: bottom-up rows; negative: top-down rows
    std::uint16_t planes = 1;
    std::uint16_t bitCount = 0;
    std::uint32_t compression = kBiRgb;
    std::uint32_t sizeImage = 0;
    std::int32_t xPelsPerMeter = 0;
    std::int32_t yPelsPerMeter = 0;
    std::uint32_t clrUsed = 0;
    std::uint32_t clrImportant = 0;

    bool operator==(const BitmapInfoHeader&) const = default;
};

// The three bit-field masks that go with 16- and 32-bit pixels.
struct ColorMasks {
    std::uint32_t red = 0;
    std::uint32_t green = 0;
    std::uint32_t blue = 0;

    bool operator==(const ColorMasks&) const = default;
};

// One colour-table entry, in its file order.
struct RgbQuad {
    std::uint8_t blue = 0;
    std::uint8_t green = 0;
    std::uint8_t red = 0;
    std::uint8_t reserved = 0;

    bool operator==(const RgbQuad&) const = default;
};

// A colour as red, green and blue bytes.
struct Rgb {
    std::uint8_t red = 0;
    std::uint8_t green = 0;
    std::uint8_t blue = 0;

    bool operator==(const Rgb&) const = default;
};
inline constexpr Rgb kWhite{255, 255, 255};
inline constexpr Rgb kBlack{0, 0, 0};

// Pixel formats of a Bitmap. Device is the screen's own format, which here is 32-bit blue, green,
// red and an unused byte; Custom is 16 or 32 bits with masks that are none of the standard ones.
enum class PixelFormat { Device, Bit1, Bit4, Bit8, Bit15, Bit16, Bit24, Bit32, Custom };

// A rectangle given by its edges: left and top inside, right and bottom outside.
struct Rect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;

    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
    bool operator==(const Rect&) const = default;
};

}  // namespace flipbook
