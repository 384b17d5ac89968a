// SPDX-License-Identifier: GPL-3.0-or-later
#include "codecs/png/row_converters.h"

#include <cstring>

namespace flipbook {

namespace {

// Rows in order.

void CopyPacked(const std::uint8_t* source, std::uint8_t* target, std::uint8_t*,
                const RowConversion& conversion) {
    std::memcpy(target, source, (std::size_t{conversion.width} * conversion.bitDepth + 7) / 8);
}

// 2-bit samples become 4-bit indexes; grey levels are spread over the 16-level ramp (s * 5).
template <int Scale>
void Widen2To4(const std::uint8_t* source, std::uint8_t* target, std::uint8_t*,
               const RowConversion& conversion) {
    for (std::uint32_t x = 0; x < conversion.width; ++x) {
        const int sample = (source[x / 4] >> (6 - 2 * (x % 4))) & 3;
        const auto nibble = static_cast<std::uint8_t>(sample * Scale);
        if (x % 2 == 0) {
            target[x / 2] = static_cast<std::uint8_t>(nibble << 4);
        } else {
            target[x / 2] = static_cast<std::uint8_t>(target[x / 2] | nibble);
        }
    }
}

void HighBytes(const std::uint8_t* source, std::uint8_t* target, std::uint8_t*,
               const RowConversion& conversion) {
    for (std::uint32_t x = 0; x < conversion.width; ++x) target[x] = source[2 * x];
}

// Red, green, blue samples of Bytes bytes each (high byte first), Stride bytes a pixel, alpha after
// the colour when Stride has room for it.
template <int Bytes, int Stride>
void ColorRow(const std::uint8_t* source, std::uint8_t* target, std::uint8_t* alpha,
              const RowConversion& conversion) {
    const std::uint8_t* gamma = conversion.gamma;
    if (conversion.identityGamma && Stride == 3) {
        // Without a gamma chunk the samples only change places, which the compiler can vectorise.
        for (std::uint32_t x = 0; x < conversion.width; ++x, target += 3, source += 3) {
            target[0] = source[2];
            target[1] = source[1];
            target[2] = source[0];
        }
        return;
    }
    for (std::uint32_t x = 0; x < conversion.width; ++x) {
        const std::uint8_t* pixel = source + std::size_t{x} * Stride;
        target[0] = gamma[pixel[2 * Bytes]];
        target[1] = gamma[pixel[Bytes]];
        target[2] = gamma[pixel[0]];
        target += 3;
        if constexpr (Stride == 4 * Bytes) alpha[x] = pixel[3 * Bytes];
    }
}

template <int Bytes>
void GreyAlphaRow(const std::uint8_t* source, std::uint8_t* target, std::uint8_t* alpha,
                  const RowConversion& conversion) {
    for (std::uint32_t x = 0; x < conversion.width; ++x) {
        target[x] = source[2 * Bytes * x];
        alpha[x] = source[2 * Bytes * x + Bytes];
    }
}

// Adam7 passes: pixel k of the pass row lands in column pass.columnStart + k * pass.columnStep.

void PassPacked(const std::uint8_t* source, std::uint8_t* target, std::uint8_t*,
                const RowConversion& conversion, const Adam7Pass& pass) {
    const std::uint32_t depth = conversion.bitDepth;
    const std::uint32_t mask = (1u << depth) - 1;
    std::uint32_t k = 0;
    for (std::uint32_t c = pass.columnStart; c < conversion.width; c += pass.columnStep, ++k) {
        const std::uint32_t sourceBit = k * depth;
        const std::uint32_t sample = (source[sourceBit / 8] >> (8 - depth - sourceBit % 8)) & mask;
        const std::uint32_t targetBit = c * depth;
        target[targetBit / 8] =
            static_cast<std::uint8_t>(target[targetBit / 8] | (sample << (8 - depth - targetBit % 8)));
    }
}

template <int Scale>
void PassWiden2To4(const std::uint8_t* source, std::uint8_t* target, std::uint8_t*,
                   const RowConversion& conversion, const Adam7Pass& pass) {
    std::uint32_t k = 0;
    for (std::uint32_t c = pass.columnStart; c < conversion.width; c += pass.columnStep, ++k) {
        const std::uint32_t sample = (source[k / 4] >> (6 - 2 * (k % 4))) & 3;
        const std::uint32_t nibble = sample * Scale;
        target[c / 2] = static_cast<std::uint8_t>(target[c / 2] | (c % 2 == 0 ? nibble << 4 : nibble));
    }
}

void PassHighBytes(const std::uint8_t* source, std::uint8_t* target, std::uint8_t*,
                   const RowConversion& conversion, const Adam7Pass& pass) {
    std::uint32_t k = 0;
    for (std::uint32_t c = pass.columnStart; c < conversion.width; c += pass.columnStep, ++k)
        target[c] = source[2 * k];
}

template <int Bytes, int Stride>
void PassColor(const std::uint8_t* source, std::uint8_t* target, std::uint8_t* alpha,
               const RowConversion& conversion, const Adam7Pass& pass) {
    const std::uint8_t* gamma = conversion.gamma;
    const std::uint8_t* pixel = source;
    for (std::uint32_t c = pass.columnStart; c < conversion.width; c += pass.columnStep, pixel += Stride) {
        target[3 * c] = gamma[pixel[2 * Bytes]];
        target[3 * c + 1] = gamma[pixel[Bytes]];
        target[3 * c + 2] = gamma[pixel[0]];
        if constexpr (Stride == 4 * Bytes) alpha[c] = pixel[3 * Bytes];
    }
}

template <int Bytes>
void PassGreyAlpha(const std::uint8_t* source, std::uint8_t* target, std::uint8_t* alpha,
                   const RowConversion& conversion, const Adam7Pass& pass) {
    const std::uint8_t* pixel = source;
    for (std::uint32_t c = pass.columnStart; c < conversion.width; c += pass.columnStep, pixel += 2 * Bytes) {
        target[c] = pixel[0];
        alpha[c] = pixel[Bytes];
    }
}

}  // namespace

RowConverter ChooseRowConverter(std::uint8_t colorType, std::uint8_t bitDepth) {
    if (!IsValidColorTypeAndDepth(colorType, bitDepth)) return nullptr;
    const bool wide = bitDepth == 16;
    switch (colorType) {
        case kColorGrey:
        case kColorPalette:
            if (bitDepth == 2) return colorType == kColorGrey ? Widen2To4<5> : Widen2To4<1>;
            return wide ? HighBytes : CopyPacked;
        case kColorRgb:
            return wide ? ColorRow<2, 6> : ColorRow<1, 3>;
        case kColorGreyAlpha:
            return wide ? GreyAlphaRow<2> : GreyAlphaRow<1>;
        case kColorRgbAlpha:
            return wide ? ColorRow<2, 8> : ColorRow<1, 4>;
        default:
            return nullptr;
    }
}

PassConverter ChoosePassConverter(std::uint8_t colorType, std::uint8_t bitDepth) {
    if (!IsValidColorTypeAndDepth(colorType, bitDepth)) return nullptr;
    const bool wide = bitDepth == 16;
    switch (colorType) {
        case kColorGrey:
        case kColorPalette:
            if (bitDepth == 2) return colorType == kColorGrey ? PassWiden2To4<5> : PassWiden2To4<1>;
            return wide ? PassHighBytes : PassPacked;
        case kColorRgb:
            return wide ? PassColor<2, 6> : PassColor<1, 3>;
        case kColorGreyAlpha:
            return wide ? PassGreyAlpha<2> : PassGreyAlpha<1>;
        case kColorRgbAlpha:
            return wide ? PassColor<2, 8> : PassColor<1, 4>;
        default:
            return nullptr;
    }
}

}  // namespace flipbook
