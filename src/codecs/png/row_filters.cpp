// SPDX-License-Identifier: GPL-3.0-or-later
#include "codecs/png/row_filters.h"

#include <algorithm>
#include <cstring>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace flipbook {

namespace {

#ifdef __SSE2__
// Whole-pixel forms for 3- and 4-byte pixels: each pixel depends on the one to its left, so the
// work is done one pixel at a time, all of its bytes at once in 16-bit lanes.

// Loads a pixel's bytes into 16-bit lanes. Four bytes are read even for 3-byte pixels (the extra lane
// is never stored), except for the last pixel of a row, whose bytes are put together one by one.
inline __m128i Widen(std::uint32_t value) {
    return _mm_unpacklo_epi8(_mm_cvtsi32_si128(static_cast<int>(value)), _mm_setzero_si128());
}
inline __m128i LoadFour(const std::uint8_t* bytes) {
    std::uint32_t value;
    std::memcpy(&value, bytes, 4);
    return Widen(value);
}
template <std::size_t Bytes>
inline __m128i LoadLast(const std::uint8_t* bytes) {
    if constexpr (Bytes == 4) return LoadFour(bytes);
    return Widen(std::uint32_t{bytes[0]} | (std::uint32_t{bytes[1]} << 8) | (std::uint32_t{bytes[2]} << 16));
}

template <std::size_t Bytes>
inline void StorePixel(std::uint8_t* bytes, __m128i pixel) {
    const auto value = static_cast<std::uint32_t>(_mm_cvtsi128_si32(_mm_packus_epi16(pixel, pixel)));
    std::memcpy(bytes, &value, Bytes);
}

inline __m128i Absolute(__m128i value) {
    return _mm_max_epi16(value, _mm_sub_epi16(_mm_setzero_si128(), value));
}

inline __m128i Select(__m128i mask, __m128i ifSet, __m128i ifClear) {
    return _mm_or_si128(_mm_and_si128(mask, ifSet), _mm_andnot_si128(mask, ifClear));
}

// Runs step(pixel index, filtered pixel, pixel above) over the row, pixel by pixel.
template <std::size_t Bytes, typename Step>
inline void ForEachPixel(std::uint8_t* row, const std::uint8_t* previous, std::size_t count, Step step) {
    if (count == 0) return;
    const std::size_t last = count - Bytes;
    for (std::size_t i = 0; i < last; i += Bytes) step(i, LoadFour(row + i), LoadFour(previous + i));
    step(last, LoadLast<Bytes>(row + last), LoadLast<Bytes>(previous + last));
}

template <std::size_t Bytes>
void UnfilterSubPixels(std::uint8_t* row, std::size_t count) {
    __m128i left = _mm_setzero_si128();
    ForEachPixel<Bytes>(row, row, count, [&](std::size_t i, __m128i filtered, __m128i) {
        left = _mm_add_epi8(left, filtered);
        StorePixel<Bytes>(row + i, left);
    });
}

template <std::size_t Bytes>
void UnfilterAveragePixels(std::uint8_t* row, const std::uint8_t* previous, std::size_t count) {
    __m128i left = _mm_setzero_si128();
    const __m128i lowByte = _mm_set1_epi16(0xFF);
    ForEachPixel<Bytes>(row, previous, count, [&](std::size_t i, __m128i filtered, __m128i above) {
        const __m128i average = _mm_srli_epi16(_mm_add_epi16(left, above), 1);
        left = _mm_and_si128(_mm_add_epi16(filtered, average), lowByte);
        StorePixel<Bytes>(row + i, left);
    });
}

template <std::size_t Bytes>
void UnfilterPaethPixels(std::uint8_t* row, const std::uint8_t* previous, std::size_t count) {
    __m128i left = _mm_setzero_si128();
    __m128i upperLeft = _mm_setzero_si128();
    const __m128i lowByte = _mm_set1_epi16(0xFF);
    ForEachPixel<Bytes>(row, previous, count, [&](std::size_t i, __m128i filtered, __m128i above) {
        const __m128i towardsLeft = _mm_sub_epi16(above, upperLeft);  // p - a
        const __m128i towardsAbove = _mm_sub_epi16(left, upperLeft);  // p - b
        const __m128i distanceLeft = Absolute(towardsLeft);
        const __m128i distanceAbove = Absolute(towardsAbove);
        const __m128i distanceUpperLeft = Absolute(_mm_add_epi16(towardsLeft, towardsAbove));
        const __m128i smallest = _mm_min_epi16(distanceUpperLeft, _mm_min_epi16(distanceLeft, distanceAbove));
        // Ties go to the left, then to the one above.
        const __m128i nearest = Select(_mm_cmpeq_epi16(smallest, distanceLeft), left,
                                       Select(_mm_cmpeq_epi16(smallest, distanceAbove), above, upperLeft));
        left = _mm_and_si128(_mm_add_epi16(filtered, nearest), lowByte);
        StorePixel<Bytes>(row + i, left);
        upperLeft = above;
    });
}
#endif

void UnfilterSub(std::uint8_t* row, std::size_t count, std::size_t distance) {
    for (std::size_t i = distance; i < count; ++i)
        row[i] = static_cast<std::uint8_t>(row[i] + row[i - distance]);
}

void UnfilterUp(std::uint8_t* row, const std::uint8_t* previous, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) row[i] = static_cast<std::uint8_t>(row[i] + previous[i]);
}

void UnfilterAverage(std::uint8_t* row, const std::uint8_t* previous, std::size_t count,
                     std::size_t distance) {
    if (distance == 1) {
        // One byte a pixel: the left byte stays in a register.
        int left = 0;
        for (std::size_t i = 0; i < count; ++i) {
            left = (row[i] + ((previous[i] + left) >> 1)) & 0xFF;
            row[i] = static_cast<std::uint8_t>(left);
        }
        return;
    }
    const std::size_t head = std::min(distance, count);
    for (std::size_t i = 0; i < head; ++i) row[i] = static_cast<std::uint8_t>(row[i] + previous[i] / 2);
    for (std::size_t i = head; i < count; ++i) {
        row[i] = static_cast<std::uint8_t>(row[i] + ((previous[i] + row[i - distance]) >> 1));
    }
}

// The predictor without branches (photographs make the choice unpredictable); same choice as
// PaethPredictor: the upper-left only when strictly nearest, then above only when strictly nearer.
inline int PaethFast(int a, int b, int c) {
    const int towardsLeft = b - c;
    const int towardsAbove = a - c;
    const int distanceLeft = towardsLeft < 0 ? -towardsLeft : towardsLeft;
    const int distanceAbove = towardsAbove < 0 ? -towardsAbove : towardsAbove;
    const int sum = towardsLeft + towardsAbove;
    const int distanceUpperLeft = sum < 0 ? -sum : sum;
    const int takeAbove = -static_cast<int>(distanceAbove < distanceLeft);
    const int nearer = a ^ ((a ^ b) & takeAbove);
    const int nearerDistance = std::min(distanceLeft, distanceAbove);
    const int takeUpperLeft = -static_cast<int>(distanceUpperLeft < nearerDistance);
    return nearer ^ ((nearer ^ c) & takeUpperLeft);
}

void UnfilterPaeth(std::uint8_t* row, const std::uint8_t* previous, std::size_t count, std::size_t distance) {
    if (distance == 1) {
        // One byte a pixel: the left and upper-left bytes stay in registers.
        int left = 0;
        int upperLeft = 0;
        for (std::size_t i = 0; i < count; ++i) {
            const int above = previous[i];
            left = (row[i] + PaethFast(left, above, upperLeft)) & 0xFF;
            row[i] = static_cast<std::uint8_t>(left);
            upperLeft = above;
        }
        return;
    }
    const std::size_t head = std::min(distance, count);
    // Without a left neighbour the predictor is the byte above.
    for (std::size_t i = 0; i < head; ++i) row[i] = static_cast<std::uint8_t>(row[i] + previous[i]);
    for (std::size_t i = head; i < count; ++i) {
        row[i] = static_cast<std::uint8_t>(row[i] +
                                           PaethFast(row[i - distance], previous[i], previous[i - distance]));
    }
}

}  // namespace

void UnfilterRow(std::uint8_t filterType, std::uint8_t* row, const std::uint8_t* previous, std::size_t count,
                 std::size_t distance) {
#ifdef __SSE2__
    // Rows of whole 3- or 4-byte pixels, the common case of photographs.
    if ((distance == 3 || distance == 4) && count % distance == 0) {
        switch (filterType) {
            case kFilterSub:
                distance == 3 ? UnfilterSubPixels<3>(row, count) : UnfilterSubPixels<4>(row, count);
                return;
            case kFilterAverage:
                distance == 3 ? UnfilterAveragePixels<3>(row, previous, count)
                              : UnfilterAveragePixels<4>(row, previous, count);
                return;
            case kFilterPaeth:
                distance == 3 ? UnfilterPaethPixels<3>(row, previous, count)
                              : UnfilterPaethPixels<4>(row, previous, count);
                return;
            default:
                break;
        }
    }
#endif
    switch (filterType) {
        case kFilterSub:
            UnfilterSub(row, count, distance);
            break;
        case kFilterUp:
            UnfilterUp(row, previous, count);
            break;
        case kFilterAverage:
            UnfilterAverage(row, previous, count, distance);
            break;
        case kFilterPaeth:
            UnfilterPaeth(row, previous, count, distance);
            break;
        default:
            break;
    }
}

void FilterSub(const std::uint8_t* raw, std::uint8_t* out, std::size_t count, std::size_t distance) {
    const std::size_t head = std::min(distance, count);
    std::copy_n(raw, head, out);
    for (std::size_t i = head; i < count; ++i) out[i] = static_cast<std::uint8_t>(raw[i] - raw[i - distance]);
}

void FilterUp(const std::uint8_t* raw, const std::uint8_t* previous, std::uint8_t* out, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) out[i] = static_cast<std::uint8_t>(raw[i] - previous[i]);
}

void FilterAverage(const std::uint8_t* raw, const std::uint8_t* previous, std::uint8_t* out,
                   std::size_t count, std::size_t distance) {
    const std::size_t head = std::min(distance, count);
    for (std::size_t i = 0; i < head; ++i) out[i] = static_cast<std::uint8_t>(raw[i] - previous[i] / 2);
    for (std::size_t i = head; i < count; ++i) {
        out[i] = static_cast<std::uint8_t>(raw[i] - ((previous[i] + raw[i - distance]) >> 1));
    }
}

void FilterPaeth(const std::uint8_t* raw, const std::uint8_t* previous, std::uint8_t* out, std::size_t count,
                 std::size_t distance) {
    const std::size_t head = std::min(distance, count);
    for (std::size_t i = 0; i < head; ++i) out[i] = static_cast<std::uint8_t>(raw[i] - previous[i]);
    for (std::size_t i = head; i < count; ++i) {
        out[i] = static_cast<std::uint8_t>(raw[i] -
                                           PaethFast(raw[i - distance], previous[i], previous[i - distance]));
    }
}

std::size_t ScoreFilteredRow(const std::uint8_t* row, std::size_t count) {
    std::size_t score = 0;
    for (std::size_t j = 2; j < count; ++j) {
        if (row[j] == row[j - 1] || row[j] == row[j - 2]) ++score;
    }
    return score;
}

}  // namespace flipbook
