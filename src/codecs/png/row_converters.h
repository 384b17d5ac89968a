// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

#include "codecs/png/row_format.h"

namespace flipbook {

// What a converter needs besides the rows: the picture's width, the sample depth and the gamma table
// that colour samples pass through.
struct RowConversion {
    std::uint32_t width;
    std::uint8_t bitDepth;
    const std::uint8_t* gamma;
    bool identityGamma;  // every entry of the gamma table holds its own index
};

// Turns one unfiltered PNG row into one image-buffer row and, for colour types 4 and 6, one
// alpha-plane row (alpha is null for the other types).
using RowConverter = void (*)(const std::uint8_t* source, std::uint8_t* target, std::uint8_t* alpha,
                              const RowConversion& conversion);
// The same for one Adam7 pass row: writes the pass's columns of the image row, or-ing packed
// samples into bytes that start cleared.
using PassConverter = void (*)(const std::uint8_t* source, std::uint8_t* target, std::uint8_t* alpha,
                               const RowConversion& conversion, const Adam7Pass& pass);

// The converters for a colour type and bit depth; none for pairs PNG does not define.
RowConverter ChooseRowConverter(std::uint8_t colorType, std::uint8_t bitDepth);
PassConverter ChoosePassConverter(std::uint8_t colorType, std::uint8_t bitDepth);

}  // namespace flipbook
