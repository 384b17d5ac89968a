// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Internal to the effects folder: one block of a + ((b - a) * multiplier + 2^14) >> 15, the answer of
// weights whose answers depend on the difference alone (see blend_difference.cpp).

#if defined(__x86_64__) && defined(__SSE2__)
#include <immintrin.h>

namespace flipbook::effects_detail {

__attribute__((target("avx2"))) inline __m256i MixDifferenceBlock(__m256i a, __m256i b, __m256i multiplier) {
    const __m256i zero = _mm256_setzero_si256();
    const __m256i aLow = _mm256_unpacklo_epi8(a, zero);
    const __m256i aHigh = _mm256_unpackhi_epi8(a, zero);
    const __m256i dLow = _mm256_sub_epi16(_mm256_unpacklo_epi8(b, zero), aLow);
    const __m256i dHigh = _mm256_sub_epi16(_mm256_unpackhi_epi8(b, zero), aHigh);
    const __m256i low = _mm256_add_epi16(aLow, _mm256_mulhrs_epi16(dLow, multiplier));
    const __m256i high = _mm256_add_epi16(aHigh, _mm256_mulhrs_epi16(dHigh, multiplier));
    // Unpacking and packing both work within 128-bit lanes, so the byte order comes back.
    return _mm256_packus_epi16(low, high);
}

__attribute__((target("avx512f,avx512bw"))) inline __m512i MixDifferenceBlock(__m512i a, __m512i b,
                                                                              __m512i multiplier) {
    const __m512i zero = _mm512_setzero_si512();
    const __m512i aLow = _mm512_unpacklo_epi8(a, zero);
    const __m512i aHigh = _mm512_unpackhi_epi8(a, zero);
    const __m512i dLow = _mm512_sub_epi16(_mm512_unpacklo_epi8(b, zero), aLow);
    const __m512i dHigh = _mm512_sub_epi16(_mm512_unpackhi_epi8(b, zero), aHigh);
    const __m512i low = _mm512_add_epi16(aLow, _mm512_mulhrs_epi16(dLow, multiplier));
    const __m512i high = _mm512_add_epi16(aHigh, _mm512_mulhrs_epi16(dHigh, multiplier));
    return _mm512_packus_epi16(low, high);
}

// The even mix of two blocks: the rounded-up average, less one where the sum is odd and that average is
// odd too, which is the extended-precision answer at weight 0.5, ties to even.
__attribute__((target("avx2"))) inline __m256i MixHalvesBlock(__m256i a, __m256i b) {
    const __m256i average = _mm256_avg_epu8(a, b);
    const __m256i odd =
        _mm256_and_si256(_mm256_and_si256(_mm256_xor_si256(a, b), average), _mm256_set1_epi8(1));
    return _mm256_sub_epi8(average, odd);
}
__attribute__((target("avx512f,avx512bw"))) inline __m512i MixHalvesBlock(__m512i a, __m512i b) {
    const __m512i average = _mm512_avg_epu8(a, b);
    const __m512i odd =
        _mm512_and_si512(_mm512_and_si512(_mm512_xor_si512(a, b), average), _mm512_set1_epi8(1));
    return _mm512_sub_epi8(average, odd);
}

}  // namespace flipbook::effects_detail

#endif
