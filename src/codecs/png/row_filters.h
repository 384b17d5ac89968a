// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>

namespace flipbook {

// Row filter types.
inline constexpr std::uint8_t kFilterNone = 0;
inline constexpr std::uint8_t kFilterSub = 1;
inline constexpr std::uint8_t kFilterUp = 2;
inline constexpr std::uint8_t kFilterAverage = 3;
inline constexpr std::uint8_t kFilterPaeth = 4;

// The Paeth predictor: the neighbour (left a, above b, upper-left c) closest to a + b - c, ties going
// to the left, then to the one above.
inline std::uint8_t PaethPredictor(int a, int b, int c) {
    const int p = a + b - c;
    const int pa = p > a ? p - a : a - p;
    const int pb = p > b ? p - b : b - p;
    const int pc = p > c ? p - c : c - p;
    if (pa <= pb && pa <= pc) return static_cast<std::uint8_t>(a);
    return static_cast<std::uint8_t>(pb <= pc ? b : c);
}

// Undoes a row's filter in place. The row and the previous (already unfiltered) row hold count bytes;
// distance is the byte distance to the pixel on the left. Unknown filter types leave the row as it is.
void UnfilterRow(std::uint8_t filterType, std::uint8_t* row, const std::uint8_t* previous, std::size_t count,
                 std::size_t distance);

// The encoder's filters: each writes the filtered form of raw into out (count bytes).
void FilterSub(const std::uint8_t* raw, std::uint8_t* out, std::size_t count, std::size_t distance);
void FilterUp(const std::uint8_t* raw, const std::uint8_t* previous, std::uint8_t* out, std::size_t count);
void FilterAverage(const std::uint8_t* raw, const std::uint8_t* previous, std::uint8_t* out,
                   std::size_t count, std::size_t distance);
void FilterPaeth(const std::uint8_t* raw, const std::uint8_t* previous, std::uint8_t* out, std::size_t count,
                 std::size_t distance);

// How well a filtered row should compress: the positions j from 2 to count - 1 at which byte j equals
// byte j - 1 or byte j - 2.
std::size_t ScoreFilteredRow(const std::uint8_t* row, std::size_t count);

}  // namespace flipbook
