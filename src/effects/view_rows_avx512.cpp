// The AVX-512 row kernels of the full-screen view where a wider vector pays: the mix, the difference
// and the expansion to screen pixels (with the byte permute of AVX-512 VBMI), each giving the AVX2
// kernel's bytes. The rest are the AVX2 ones.

#include <immintrin.h>

#include <cstdint>

#include "effects/view_rows.h"

#define FLIPBOOK_AVX512 __attribute__((target("avx512f,avx512bw,avx512vbmi")))

namespace flipbook::effects_detail {
namespace {

const ViewRowKernels& Narrower() {
    return Avx2ViewRows();
}

FLIPBOOK_AVX512 __m512i Load(const void* at) {
    return _mm512_loadu_si512(at);
}

FLIPBOOK_AVX512 void Store(void* at, __m512i value) {
    _mm512_storeu_si512(at, value);
}

// As the AVX2 kernel: (s + 50) * 5243 / 2^19 is round(s / 100) for every s below 2^15.
FLIPBOOK_AVX512 __m512i DivideBy100(__m512i sum) {
    const __m512i rounded = _mm512_add_epi16(sum, _mm512_set1_epi16(50));
    return _mm512_srli_epi16(_mm512_mulhi_epu16(rounded, _mm512_set1_epi16(5243)), 3);
}

FLIPBOOK_AVX512 void Mix(const std::uint8_t* a, const std::uint8_t* b, std::uint8_t* out, std::size_t count,
                         int k) {
    const __m512i weights = _mm512_set1_epi16(static_cast<short>(k << 8 | (100 - k)));
    std::size_t i = 0;
    for (; i + 64 <= count; i += 64) {
        const __m512i first = Load(a + i);
        const __m512i second = Load(b + i);
        const __m512i low = DivideBy100(_mm512_maddubs_epi16(_mm512_unpacklo_epi8(first, second), weights));
        const __m512i high = DivideBy100(_mm512_maddubs_epi16(_mm512_unpackhi_epi8(first, second), weights));
        Store(out + i, _mm512_packus_epi16(low, high));
    }
    Narrower().mix(a + i, b + i, out + i, count - i, k);
}

FLIPBOOK_AVX512 void Difference(const std::uint8_t* a, const std::uint8_t* b, std::uint8_t* out,
                                std::size_t count) {
    std::size_t i = 0;
    for (; i + 64 <= count; i += 64) {
        const __m512i first = Load(a + i);
        const __m512i second = Load(b + i);
        __m512i distance = _mm512_or_si512(_mm512_subs_epu8(first, second), _mm512_subs_epu8(second, first));
        distance = _mm512_adds_epu8(distance, distance);
        Store(out + i, _mm512_adds_epu8(distance, distance));
    }
    Narrower().difference(a + i, b + i, out + i, count - i);
}

// Sixteen pixels a step: one byte permute spreads 48 colour bytes over 64, pixel p's to bytes 4p to
// 4p + 2 (mirrored, pixel 15 - p's).
FLIPBOOK_AVX512 __m512i SpreadIndexes(bool mirrored) {
    alignas(64) std::uint8_t indexes[64];
    for (int byte = 0; byte < 64; ++byte) {
        const int pixel = mirrored ? 15 - byte / 4 : byte / 4;
        indexes[byte] = static_cast<std::uint8_t>(byte % 4 == 3 ? 0 : 3 * pixel + byte % 4);
    }
    return _mm512_load_si512(indexes);
}

FLIPBOOK_AVX512 void Expand(const std::uint8_t* in, std::uint32_t* out, std::size_t pixels, bool mirrored) {
    const __m512i alpha = _mm512_set1_epi32(static_cast<int>(0xFF000000u));
    const __m512i spread = SpreadIndexes(mirrored);
    std::size_t x = 0;
    // A step reads 64 bytes for the 48 it uses.
    for (; 3 * x + 64 <= 3 * pixels; x += 16) {
        const __m512i spreadPixels =
            _mm512_or_si512(_mm512_maskz_permutexvar_epi8(~__mmask64{0}, spread, Load(in + 3 * x)), alpha);
        Store(mirrored ? out + pixels - 16 - x : out + x, spreadPixels);
    }
    if (mirrored) {
        Narrower().expand(in + 3 * x, out, pixels - x, true);
    } else {
        Narrower().expand(in + 3 * x, out + x, pixels - x, false);
    }
}

const ViewRowKernels kAvx512 = [] {
    ViewRowKernels kernels = Avx2ViewRows();
    kernels.mix = Mix;
    kernels.difference = Difference;
    kernels.expand = Expand;
    return kernels;
}();

}  // namespace

const ViewRowKernels& Avx512ViewRows() {
    return kAvx512;
}

}  // namespace flipbook::effects_detail
