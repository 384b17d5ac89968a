// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

namespace flipbook {

// Where an encoder takes its pixels: the image-buffer row, the alpha-plane row (null without alpha)
// and which columns (first, first + step, ... for count pixels).
struct PixelRun {
    const std::uint8_t* row;
    const std::uint8_t* alpha;
    std::uint32_t first;
    std::uint32_t step;
    std::uint32_t count;
};

// Writes the PNG samples of a run of image-buffer pixels (16-bit samples as the 8-bit value times 256;
// colour through the inverse-gamma table; sub-byte samples packed, most significant bits first).
using RowEncoder = void (*)(const PixelRun& run, std::uint8_t* raw, std::uint8_t bitDepth,
                            const std::uint8_t* inverseGamma);

// The encoder for a colour type and bit depth; none for pairs PNG does not define.
RowEncoder ChooseRowEncoder(std::uint8_t colorType, std::uint8_t bitDepth);

}  // namespace flipbook
