// SPDX-License-Identifier: GPL-3.0-or-later
// Weights that are no slider position. For most of them, say 0.333, no byte pair lands within reach of a
// halfway case, so the extended-precision answer is a + round(weight * (b - a)), a value that depends on
// the difference alone; one rounding multiply of 16-bit lanes gives it exactly. Whether it does is
// checked against the full answer table for all 511 differences, so the fast path can never disagree.
#include <algorithm>
#include <cmath>
#include <cstdint>

#include "effects/blend_difference_blocks.h"
#include "effects/blend_kernel.h"

namespace flipbook::effects_detail {

namespace {

// What the rounding multiply gives: (d * m + 2^14) >> 15, the shift rounding towards minus infinity.
int RoundingProduct(int difference, int multiplier) {
    return (difference * multiplier + (1 << 14)) >> 15;
}

#if defined(__x86_64__) && defined(__SSE2__)

bool Streams(TargetWrite write, const std::uint8_t* target, std::uintptr_t alignment) {
    return write == TargetWrite::Streamed && reinterpret_cast<std::uintptr_t>(target) % alignment == 0;
}

// The whole 32-byte blocks of count bytes, each target block block(a, b) of the sources' blocks;
// returns how many bytes it did.
template <class Block>
__attribute__((target("avx2"))) std::size_t EachBlockAvx2(const std::uint8_t* first,
                                                          const std::uint8_t* second, std::uint8_t* target,
                                                          std::size_t count, const Block& block,
                                                          TargetWrite write) {
    std::size_t i = 0;
    const bool streams = Streams(write, target, 32);
    for (; i + 32 <= count; i += 32) {
        const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(first + i));
        const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(second + i));
        if (streams)
            _mm256_stream_si256(reinterpret_cast<__m256i*>(target + i), block(a, b));
        else
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(target + i), block(a, b));
    }
    // Streamed bytes are seen by other threads in order with what follows only after a fence.
    if (streams) _mm_sfence();
    return i;
}

// The same in 64-byte blocks.
template <class Block>
__attribute__((target("avx512f,avx512bw"))) std::size_t EachBlockAvx512(const std::uint8_t* first,
                                                                        const std::uint8_t* second,
                                                                        std::uint8_t* target,
                                                                        std::size_t count, const Block& block,
                                                                        TargetWrite write) {
    std::size_t i = 0;
    if (Streams(write, target, 64)) {
        for (; i + 64 <= count; i += 64)
            _mm512_stream_si512(reinterpret_cast<__m512i*>(target + i),
                                block(_mm512_loadu_si512(first + i), _mm512_loadu_si512(second + i)));
        _mm_sfence();
        return i;
    }
    for (; i + 64 <= count; i += 64)
        _mm512_storeu_si512(target + i, block(_mm512_loadu_si512(first + i), _mm512_loadu_si512(second + i)));
    return i;
}

struct DifferenceAvx2 {
    __m256i weight;
    __attribute__((target("avx2"))) __m256i operator()(__m256i a, __m256i b) const {
        return MixDifferenceBlock(a, b, weight);
    }
};
struct DifferenceAvx512 {
    __m512i weight;
    __attribute__((target("avx512f,avx512bw"))) __m512i operator()(__m512i a, __m512i b) const {
        return MixDifferenceBlock(a, b, weight);
    }
};
struct HalvesAvx2 {
    __attribute__((target("avx2"))) __m256i operator()(__m256i a, __m256i b) const {
        return MixHalvesBlock(a, b);
    }
};
struct HalvesAvx512 {
    __attribute__((target("avx512f,avx512bw"))) __m512i operator()(__m512i a, __m512i b) const {
        return MixHalvesBlock(a, b);
    }
};

__attribute__((target("avx2"))) std::size_t MixAvx2(const std::uint8_t* first, const std::uint8_t* second,
                                                    std::uint8_t* target, std::size_t count,
                                                    std::int16_t multiplier, TargetWrite write) {
    return EachBlockAvx2(first, second, target, count, DifferenceAvx2{_mm256_set1_epi16(multiplier)}, write);
}
__attribute__((target("avx512f,avx512bw"))) std::size_t MixAvx512(const std::uint8_t* first,
                                                                  const std::uint8_t* second,
                                                                  std::uint8_t* target, std::size_t count,
                                                                  std::int16_t multiplier,
                                                                  TargetWrite write) {
    return EachBlockAvx512(first, second, target, count, DifferenceAvx512{_mm512_set1_epi16(multiplier)},
                           write);
}

// Weight 0.25 (or 0.75, the bytes swapped): s = 3a + b is four times the exact value, which
// (s + 1 + ((s >> 2) & 1)) >> 2 rounds half to even: the remainders 0 and 1 go down, 3 up, and 2 up
// exactly when s >> 2 is odd.
struct QuartersAvx2 {
    __attribute__((target("avx2"))) static __m256i OfPairs(__m256i pairs) {
        const __m256i one = _mm256_set1_epi16(1);
        const __m256i sum = _mm256_maddubs_epi16(pairs, _mm256_set1_epi16(1 << 8 | 3));
        const __m256i odd = _mm256_and_si256(_mm256_srli_epi16(sum, 2), one);
        return _mm256_srli_epi16(_mm256_add_epi16(_mm256_add_epi16(sum, one), odd), 2);
    }
    __attribute__((target("avx2"))) __m256i operator()(__m256i a, __m256i b) const {
        // Unpacking and packing both work within 128-bit lanes, so the byte order comes back.
        return _mm256_packus_epi16(OfPairs(_mm256_unpacklo_epi8(a, b)), OfPairs(_mm256_unpackhi_epi8(a, b)));
    }
};

#endif

}  // namespace

std::size_t MixQuarters(const std::uint8_t* first, const std::uint8_t* second, std::uint8_t* target,
                        std::size_t count, TargetWrite write) {
#if defined(__x86_64__) && defined(__SSE2__)
    return EachBlockAvx2(first, second, target, count, QuartersAvx2{}, write);
#else
    (void)first, (void)second, (void)target, (void)count, (void)write;
    return 0;
#endif
}

std::optional<std::int16_t> DifferenceMultiplier(const std::array<std::uint8_t, 65536>& answers,
                                                 long double weight) {
    if (!(weight >= 0 && weight <= 1)) return std::nullopt;
    std::array<int, 511> offset{};  // the answer minus a, by difference + 255
    for (int difference = -255; difference <= 255; ++difference) {
        const int first = std::max(0, -difference);
        const int expected = answers[static_cast<std::size_t>(first << 8 | (first + difference))] - first;
        for (int a = first + 1; a <= std::min(255, 255 - difference); ++a)
            if (answers[static_cast<std::size_t>(a << 8 | (a + difference))] - a != expected)
                return std::nullopt;
        offset[static_cast<std::size_t>(difference + 255)] = expected;
    }
    return MultiplierGiving(weight, [&](int difference) {
        return std::optional<int>(offset[static_cast<std::size_t>(difference + 255)]);
    });
}

std::optional<std::int16_t> MultiplierGiving(
    long double weight, const std::function<std::optional<int>(int difference)>& offset) {
    const auto nearest = static_cast<int>(std::nearbyintl(weight * 32768));
    for (int multiplier = nearest - 1; multiplier <= nearest + 1; ++multiplier) {
        if (multiplier < -32768 || multiplier > 32767) continue;
        bool gives = true;
        for (int difference = -255; difference <= 255 && gives; ++difference) {
            const std::optional<int> wanted = offset(difference);
            gives = !wanted || RoundingProduct(difference, multiplier) == *wanted;
        }
        if (gives) return static_cast<std::int16_t>(multiplier);
    }
    return std::nullopt;
}

std::size_t MixHalves(const std::uint8_t* first, const std::uint8_t* second, std::uint8_t* target,
                      std::size_t count, bool avx512, TargetWrite write) {
#if defined(__x86_64__) && defined(__SSE2__)
    return avx512 ? EachBlockAvx512(first, second, target, count, HalvesAvx512{}, write)
                  : EachBlockAvx2(first, second, target, count, HalvesAvx2{}, write);
#else
    (void)first, (void)second, (void)target, (void)count, (void)avx512, (void)write;
    return 0;
#endif
}

std::size_t MixByDifference(const std::uint8_t* first, const std::uint8_t* second, std::uint8_t* target,
                            std::size_t count, std::int16_t multiplier, bool avx512, TargetWrite write) {
#if defined(__x86_64__) && defined(__SSE2__)
    return avx512 ? MixAvx512(first, second, target, count, multiplier, write)
                  : MixAvx2(first, second, target, count, multiplier, write);
#else
    (void)first, (void)second, (void)target, (void)count, (void)multiplier, (void)avx512, (void)write;
    return 0;
#endif
}

}  // namespace flipbook::effects_detail
