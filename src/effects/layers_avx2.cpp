// SPDX-License-Identifier: GPL-3.0-or-later
// The AVX2 row kernel of the onion layers. Sources go in pairs, their bytes side by side, so one
// multiply-add of bytes gives both of their weighted values in 16 bits. A weight of up to 1600 does not
// fit the multiply's signed bytes, so each is split into sixteens and ones, w = 16 h + l: the h add up
// to at most 100 and the l are below 16, so both weighted sums stay below 2^15, and the quotient by 1600
// follows from them without a division (see DivideBy1600). Pixels before the first aligned store and
// after the last whole block go to the portable kernel.

#include <immintrin.h>

#include <algorithm>
#include <cstdint>

#include "effects/layers_kernels.h"
#include "effects/spread_pixels_avx2.h"

#define FLIPBOOK_AVX2 __attribute__((target("avx2")))

namespace flipbook::effects_detail {
namespace {

FLIPBOOK_AVX2 __m256i Load(const std::uint8_t* at) {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at));
}

// The sources of one row as pairs, with the sixteens and the ones of their weights as byte pairs (first
// low, second high). An odd source out is paired with the live row at weight 0.
template <int kPairs>
struct Pairs {
    const std::uint8_t* first[kPairs];
    const std::uint8_t* second[kPairs];
    __m256i sixteens[kPairs];
    __m256i ones[kPairs];
};

template <int kPairs>
FLIPBOOK_AVX2 Pairs<kPairs> MakePairs(const OnionRows& rows, const OnionWeights& weights) {
    const std::uint8_t* sources[2 * kPairs];
    int sourceWeights[2 * kPairs];
    sources[0] = rows.live;
    sourceWeights[0] = weights.live;
    for (int j = 1; j < 2 * kPairs; ++j) {
        const bool picture = j <= weights.count;
        sources[j] = picture ? rows.pictures[static_cast<std::size_t>(j - 1)] : rows.live;
        sourceWeights[j] = picture ? weights.pictures[static_cast<std::size_t>(j - 1)] : 0;
    }
    Pairs<kPairs> pairs;
    for (int pair = 0; pair < kPairs; ++pair) {
        pairs.first[pair] = sources[2 * pair];
        pairs.second[pair] = sources[2 * pair + 1];
        const int first = sourceWeights[2 * pair];
        const int second = sourceWeights[2 * pair + 1];
        pairs.sixteens[pair] = _mm256_set1_epi16(static_cast<short>((second / 16) << 8 | first / 16));
        pairs.ones[pair] = _mm256_set1_epi16(static_cast<short>((second % 16) << 8 | first % 16));
    }
    return pairs;
}

// floor((16 a + b') / 1600) for the sums a of the sixteens and b' = b + 800 of the ones (the sums start
// at the 800 that rounds), as bytes. That is floor((a + floor(b' / 16)) / 100), whose dividend stays
// below 25500 + 1484; and floor(x / 100) is (x * 5243) >> 19 for every x below 43690.
FLIPBOOK_AVX2 __m256i DivideBy1600(__m256i sixteens, __m256i roundedOnes) {
    const __m256i rounded = _mm256_srli_epi16(roundedOnes, 4);
    return _mm256_srli_epi16(_mm256_mulhi_epu16(_mm256_add_epi16(sixteens, rounded), _mm256_set1_epi16(5243)),
                             3);
}

// The shown bytes of 32 source bytes at offset `at`. The unpacks and the pack work within 128-bit halves
// and undo each other's order, so the bytes come out where they went in.
template <int kPairs>
FLIPBOOK_AVX2 __m256i MixBlock(const Pairs<kPairs>& pairs, std::size_t at) {
    __m256i sixteensLow = _mm256_setzero_si256();
    __m256i sixteensHigh = _mm256_setzero_si256();
    // At most 6 x 255 x 15 + 800 = 23750: the ones stay below 2^15.
    __m256i onesLow = _mm256_set1_epi16(kOnionWeightWhole / 2);
    __m256i onesHigh = onesLow;
    for (int pair = 0; pair < kPairs; ++pair) {
        const __m256i first = Load(pairs.first[pair] + at);
        const __m256i second = Load(pairs.second[pair] + at);
        const __m256i low = _mm256_unpacklo_epi8(first, second);
        const __m256i high = _mm256_unpackhi_epi8(first, second);
        sixteensLow = _mm256_add_epi16(sixteensLow, _mm256_maddubs_epi16(low, pairs.sixteens[pair]));
        sixteensHigh = _mm256_add_epi16(sixteensHigh, _mm256_maddubs_epi16(high, pairs.sixteens[pair]));
        onesLow = _mm256_add_epi16(onesLow, _mm256_maddubs_epi16(low, pairs.ones[pair]));
        onesHigh = _mm256_add_epi16(onesHigh, _mm256_maddubs_epi16(high, pairs.ones[pair]));
    }
    return _mm256_packus_epi16(DivideBy1600(sixteensLow, onesLow), DivideBy1600(sixteensHigh, onesHigh));
}

OnionRows Advanced(OnionRows rows, std::size_t pixels, int count) {
    rows.live += 3 * pixels;
    for (int j = 0; j < count; ++j) rows.pictures[static_cast<std::size_t>(j)] += 3 * pixels;
    return rows;
}

// The screen image is painted long after it is written and is larger than the caches, so its rows are
// written past them in aligned stores, as the single onion skin's are.
template <int kPairs>
FLIPBOOK_AVX2 void ComposeRow(const OnionRows& whole, const OnionWeights& weights, std::uint32_t* out,
                              std::size_t pixels, bool mirrored) {
    const auto address = reinterpret_cast<std::uintptr_t>(mirrored ? out + pixels : out);
    const std::size_t head =
        std::min(pixels, (mirrored ? address % 32 : (32 - address % 32) % 32) / sizeof(std::uint32_t));
    ComposeOnionLayersPortable(whole, weights, mirrored ? out + pixels - head : out, head, mirrored);
    const OnionRows rows = Advanced(whole, head, weights.count);
    if (!mirrored) out += head;
    pixels -= head;

    const Pairs<kPairs> pairs = MakePairs<kPairs>(rows, weights);
    const __m256i alpha = _mm256_set1_epi32(static_cast<int>(0xFF000000u));
    const __m256i reverse = _mm256_setr_epi32(7, 6, 5, 4, 3, 2, 1, 0);
    std::size_t x = 0;
    for (; x + 32 <= pixels; x += 32) {
        __m256i bytes[3];
        for (std::size_t part = 0; part < 3; ++part) bytes[part] = MixBlock(pairs, 3 * x + 32 * part);
        __m256i spread[4];
        Spread32(bytes, spread);
        for (std::size_t part = 0; part < 4; ++part) {
            const __m256i shown = _mm256_or_si256(spread[part], alpha);
            const std::size_t at = x + 8 * part;
            if (mirrored) {
                _mm256_stream_si256(reinterpret_cast<__m256i*>(out + pixels - 8 - at),
                                    _mm256_permutevar8x32_epi32(shown, reverse));
            } else {
                _mm256_stream_si256(reinterpret_cast<__m256i*>(out + at), shown);
            }
        }
    }
    // Later plain stores, from this thread or the painting one, must not pass the streamed ones.
    _mm_sfence();
    ComposeOnionLayersPortable(Advanced(rows, x, weights.count), weights, mirrored ? out : out + x,
                               pixels - x, mirrored);
}

}  // namespace

FLIPBOOK_AVX2 void ComposeOnionLayersAvx2(const OnionRows& rows, const OnionWeights& weights,
                                          std::uint32_t* out, std::size_t pixels, bool mirrored) {
    // The live row and the pictures, two a pair.
    switch ((weights.count + 2) / 2) {
        case 1:
            return ComposeRow<1>(rows, weights, out, pixels, mirrored);
        case 2:
            return ComposeRow<2>(rows, weights, out, pixels, mirrored);
        default:
            return ComposeRow<3>(rows, weights, out, pixels, mirrored);
    }
}

}  // namespace flipbook::effects_detail
