// The AVX-512 row kernels of the full-screen view where a wider vector pays: the mix, the difference
// and the expansion to screen pixels, each giving the AVX2 kernel's bytes. The rest are the AVX2 ones.

#include <immintrin.h>

#include <cstdint>

#include "effects/view_rows.h"

#define FLIPBOOK_AVX512 __attribute__((target("avx512f,avx512bw")))

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

FLIPBOOK_AVX512 __m512i FourQuarters(const std::uint8_t* in, bool mirrored) {
    // Quarter q holds pixels 4q to 4q + 3 (mirrored: 12 - 4q to 15 - 4q); each load reads 16 bytes.
    const auto quarter = [in, mirrored](int q) {
        return _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 12 * (mirrored ? 3 - q : q)));
    };
    __m512i pixels = _mm512_castsi128_si512(quarter(0));
    pixels = _mm512_inserti32x4(pixels, quarter(1), 1);
    pixels = _mm512_inserti32x4(pixels, quarter(2), 2);
    return _mm512_inserti32x4(pixels, quarter(3), 3);
}

FLIPBOOK_AVX512 void Expand(const std::uint8_t* in, std::uint32_t* out, std::size_t pixels, bool mirrored) {
    const __m512i alpha = _mm512_set1_epi32(static_cast<int>(0xFF000000u));
    // Per 128-bit quarter: colour bytes 3p to 3p + 2 into pixel p's low three bytes.
    const auto dword = [](int first) {
        return static_cast<int>(0xFF000000u | static_cast<unsigned>(first + 2) << 16 |
                                static_cast<unsigned>(first + 1) << 8 | static_cast<unsigned>(first));
    };
    const __m512i forward = _mm512_set4_epi32(dword(9), dword(6), dword(3), dword(0));
    const __m512i backward = _mm512_set4_epi32(dword(0), dword(3), dword(6), dword(9));
    std::size_t x = 0;
    // Sixteen pixels read 52 bytes.
    for (; 3 * x + 52 <= 3 * pixels; x += 16) {
        const __m512i quarters = FourQuarters(in + 3 * x, mirrored);
        if (mirrored) {
            Store(out + pixels - 16 - x, _mm512_or_si512(_mm512_shuffle_epi8(quarters, backward), alpha));
        } else {
            Store(out + x, _mm512_or_si512(_mm512_shuffle_epi8(quarters, forward), alpha));
        }
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
