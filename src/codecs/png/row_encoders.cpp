// SPDX-License-Identifier: GPL-3.0-or-later
#include "codecs/png/row_encoders.h"

#include <cstring>

#include "codecs/png/row_format.h"

namespace flipbook {

namespace {

void PackedSamples(const PixelRun& run, std::uint8_t* raw, std::uint8_t bitDepth, const std::uint8_t*) {
    const std::uint32_t depth = bitDepth;
    const std::uint32_t mask = (1u << depth) - 1;
    const std::uint32_t bytes = (run.count * depth + 7) / 8;
    if (run.first == 0 && run.step == 1) {
        // A whole row is already in PNG's packing.
        std::memcpy(raw, run.row, bytes);
        return;
    }
    for (std::uint32_t i = 0; i < bytes; ++i) raw[i] = 0;
    for (std::uint32_t k = 0, c = run.first; k < run.count; ++k, c += run.step) {
        const std::uint32_t sourceBit = c * depth;
        const std::uint32_t sample = (run.row[sourceBit / 8] >> (8 - depth - sourceBit % 8)) & mask;
        const std::uint32_t targetBit = k * depth;
        raw[targetBit / 8] =
            static_cast<std::uint8_t>(raw[targetBit / 8] | (sample << (8 - depth - targetBit % 8)));
    }
}

void WideSamples(const PixelRun& run, std::uint8_t* raw, std::uint8_t, const std::uint8_t*) {
    for (std::uint32_t k = 0, c = run.first; k < run.count; ++k, c += run.step) {
        raw[2 * k] = run.row[c];
        raw[2 * k + 1] = 0;
    }
}

// Colour from blue, green, red with alpha after it when Alpha; Bytes bytes a sample.
template <int Bytes, bool Alpha>
void ColorSamples(const PixelRun& run, std::uint8_t* raw, std::uint8_t, const std::uint8_t* inverseGamma) {
    const std::uint8_t* row = run.row;
    for (std::uint32_t k = 0, c = run.first; k < run.count; ++k, c += run.step) {
        const std::uint8_t* pixel = row + 3 * std::size_t{c};
        raw[0] = inverseGamma[pixel[2]];
        raw[Bytes] = inverseGamma[pixel[1]];
        raw[2 * Bytes] = inverseGamma[pixel[0]];
        if constexpr (Alpha) raw[3 * Bytes] = run.alpha[c];
        if constexpr (Bytes == 2) {
            raw[1] = raw[3] = raw[5] = 0;
            if constexpr (Alpha) raw[7] = 0;
        }
        raw += (Alpha ? 4 : 3) * Bytes;
    }
}

template <int Bytes>
void GreyAlphaSamples(const PixelRun& run, std::uint8_t* raw, std::uint8_t, const std::uint8_t*) {
    for (std::uint32_t k = 0, c = run.first; k < run.count; ++k, c += run.step) {
        raw[0] = run.row[c];
        raw[Bytes] = run.alpha[c];
        if constexpr (Bytes == 2) raw[1] = raw[3] = 0;
        raw += 2 * Bytes;
    }
}

}  // namespace

RowEncoder ChooseRowEncoder(std::uint8_t colorType, std::uint8_t bitDepth) {
    if (!IsValidColorTypeAndDepth(colorType, bitDepth)) return nullptr;
    const bool wide = bitDepth == 16;
    switch (colorType) {
        case kColorGrey:
        case kColorPalette:
            return wide ? WideSamples : PackedSamples;
        case kColorRgb:
            return wide ? ColorSamples<2, false> : ColorSamples<1, false>;
        case kColorGreyAlpha:
            return wide ? GreyAlphaSamples<2> : GreyAlphaSamples<1>;
        case kColorRgbAlpha:
            return wide ? ColorSamples<2, true> : ColorSamples<1, true>;
        default:
            return nullptr;
    }
}

}  // namespace flipbook
