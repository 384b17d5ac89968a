// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Internal to the BMP codec: decoding of run-length compressed pixel data.

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "platform/graphics/bitmap_types.h"

namespace flipbook::bmp_detail {

// Where the decoded pixels go: 32-bit blue, green, red, unused pixels, rows stored top-down.
struct DeviceTarget {
    std::uint8_t* pixels = nullptr;
    std::size_t rowStride = 0;
    int width = 0;
    int height = 0;
};

// The most output bytes one byte of run-length data can produce: a two-byte run of 255 pixels of 4 bytes.
inline constexpr std::size_t kMaxRunLengthExpansion = 255 * 4 / 2;

// Decodes run-length data of 8 bits (indexesPerByte 1) or 4 bits (2) per pixel into the target, whose
// rows are counted from the bottom of the picture as the data counts them. Pixels the data skips (by a
// delta, an early end of line or end of bitmap) keep what the target held; indexes beyond the colour
// table become black. Data that ends early leaves the rest undecoded. Raises EInvalidGraphic when a run
// or delta would leave the picture.
void DecodeRunLength(std::span<const std::uint8_t> data, int indexesPerByte,
                     const std::vector<RgbQuad>& colorTable, const DeviceTarget& target);

}  // namespace flipbook::bmp_detail
