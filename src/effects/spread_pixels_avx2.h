// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The pixel kernels' one way to take 24-bit pixels apart on AVX2; included only by files compiled for it.

#include <immintrin.h>

namespace flipbook::effects_detail {

// Thirty-two 24-bit pixels, 96 bytes in three vectors, as four vectors of eight 32-bit words
// (blue, green, red, 0): each eight pixels' 24 bytes are brought into two 128-bit halves of 12.
__attribute__((target("avx2"))) inline void Spread32(const __m256i (&bytes)[3], __m256i (&pixels)[4]) {
    const __m256i forward = _mm256_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1,  //
                                             0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1);
    const __m256i fromStart = _mm256_setr_epi32(0, 1, 2, 3, 3, 4, 5, 6);
    const __m256i fromMiddle = _mm256_setr_epi32(2, 3, 4, 5, 5, 6, 7, 7);
    const __m256i across01 = _mm256_permute2x128_si256(bytes[0], bytes[1], 0x21);
    const __m256i across12 = _mm256_permute2x128_si256(bytes[1], bytes[2], 0x21);
    pixels[0] = _mm256_shuffle_epi8(_mm256_permutevar8x32_epi32(bytes[0], fromStart), forward);
    pixels[1] = _mm256_shuffle_epi8(_mm256_permutevar8x32_epi32(across01, fromMiddle), forward);
    pixels[2] = _mm256_shuffle_epi8(_mm256_permutevar8x32_epi32(across12, fromStart), forward);
    pixels[3] = _mm256_shuffle_epi8(_mm256_permutevar8x32_epi32(bytes[2], fromMiddle), forward);
}

}  // namespace flipbook::effects_detail
