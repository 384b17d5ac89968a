// SPDX-License-Identifier: GPL-3.0-or-later
// The AVX2 row kernels of the full-screen view. Each gives the portable kernel's bytes exactly; tails
// shorter than a vector, and pixels whose loads would pass a row's end, go to the portable kernel.

#include <immintrin.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <utility>

#include "effects/spread_pixels_avx2.h"
#include "effects/view_rows.h"

#define FLIPBOOK_AVX2 __attribute__((target("avx2")))

namespace flipbook::effects_detail {
namespace {

const ViewRowKernels& Tail() {
    return PortableViewRows();
}

FLIPBOOK_AVX2 __m256i Load(const void* at) {
    return _mm256_loadu_si256(static_cast<const __m256i*>(at));
}

FLIPBOOK_AVX2 void Store(void* at, __m256i value) {
    _mm256_storeu_si256(static_cast<__m256i*>(at), value);
}

// round(s / 100) for s = a (100 - k) + b k below 2^15: (s + 50) * 5243 / 2^19 floors to the same
// quotient for every such s.
FLIPBOOK_AVX2 __m256i DivideBy100(__m256i sum) {
    const __m256i rounded = _mm256_add_epi16(sum, _mm256_set1_epi16(50));
    return _mm256_srli_epi16(_mm256_mulhi_epu16(rounded, _mm256_set1_epi16(5243)), 3);
}

FLIPBOOK_AVX2 void Mix(const std::uint8_t* a, const std::uint8_t* b, std::uint8_t* out, std::size_t count,
                       int k) {
    // Byte pairs (a, b) times (100 - k, k), both below 128 as the signed operand needs.
    const __m256i weights = _mm256_set1_epi16(static_cast<short>(k << 8 | (100 - k)));
    std::size_t i = 0;
    for (; i + 32 <= count; i += 32) {
        const __m256i first = Load(a + i);
        const __m256i second = Load(b + i);
        const __m256i low = DivideBy100(_mm256_maddubs_epi16(_mm256_unpacklo_epi8(first, second), weights));
        const __m256i high = DivideBy100(_mm256_maddubs_epi16(_mm256_unpackhi_epi8(first, second), weights));
        Store(out + i, _mm256_packus_epi16(low, high));
    }
    Tail().mix(a + i, b + i, out + i, count - i, k);
}

// A difference picture is shown, not read again soon, so it is written past the caches in aligned
// stores; the bytes before the first aligned one go to the portable kernel.
FLIPBOOK_AVX2 void Difference(const std::uint8_t* a, const std::uint8_t* b, std::uint8_t* out,
                              std::size_t count) {
    std::size_t i = std::min(count, (32 - reinterpret_cast<std::uintptr_t>(out) % 32) % 32);
    Tail().difference(a, b, out, i);
    for (; i + 32 <= count; i += 32) {
        const __m256i first = Load(a + i);
        const __m256i second = Load(b + i);
        __m256i distance = _mm256_or_si256(_mm256_subs_epu8(first, second), _mm256_subs_epu8(second, first));
        distance = _mm256_adds_epu8(distance, distance);
        _mm256_stream_si256(reinterpret_cast<__m256i*>(out + i), _mm256_adds_epu8(distance, distance));
    }
    _mm_sfence();
    Tail().difference(a + i, b + i, out + i, count - i);
}

FLIPBOOK_AVX2 __m256i Lerp16(__m256i first, __m256i second, __m256i firstWeight, __m256i secondWeight) {
    const __m256i sum =
        _mm256_add_epi16(_mm256_mullo_epi16(first, firstWeight), _mm256_mullo_epi16(second, secondWeight));
    return _mm256_srli_epi16(_mm256_add_epi16(sum, _mm256_set1_epi16(128)), 8);
}

// (a (256 - w) + b w + 128) >> 8 for 16-bit a and b, with w << 7 given (w below 256): the same as
// a + floor(((b - a) w + 128) / 256), which the rounded high half of (b - a)(w << 7) gives exactly.
FLIPBOOK_AVX2 __m256i LerpRounded(__m256i a, __m256i b, __m256i scaledWeight) {
    return _mm256_add_epi16(a, _mm256_mulhrs_epi16(_mm256_sub_epi16(b, a), scaledWeight));
}

FLIPBOOK_AVX2 void LerpRow(const std::uint8_t* a, const std::uint8_t* b, std::uint8_t* out, std::size_t count,
                           int w) {
    if (w == 0) {
        std::memcpy(out, a, count);
        return;
    }
    std::size_t i = 0;
    if (w == 128) {
        // (a + b + 1) / 2, the same bytes.
        for (; i + 32 <= count; i += 32) Store(out + i, _mm256_avg_epu8(Load(a + i), Load(b + i)));
    } else if (w < 256) {
        const __m256i zero = _mm256_setzero_si256();
        const __m256i scaledWeight = _mm256_set1_epi16(static_cast<short>(w << 7));
        for (; i + 32 <= count; i += 32) {
            const __m256i first = Load(a + i);
            const __m256i second = Load(b + i);
            const __m256i low = LerpRounded(_mm256_unpacklo_epi8(first, zero),
                                            _mm256_unpacklo_epi8(second, zero), scaledWeight);
            const __m256i high = LerpRounded(_mm256_unpackhi_epi8(first, zero),
                                             _mm256_unpackhi_epi8(second, zero), scaledWeight);
            Store(out + i, _mm256_packus_epi16(low, high));
        }
    }
    Tail().lerp(a + i, b + i, out + i, count - i, w);
}

// Half the width: out pixel x is the rounded-up mean of pixels 2x and 2x + 1, four pixels a step. Each
// 128-bit half gets twelve input bytes; its means land in bytes 0 to 5 of the low half and 6 to 11 of
// the high half, which a dword permute brings beside the low half's.
FLIPBOOK_AVX2 std::size_t Halve(const std::uint8_t* in, std::uint8_t* out, std::size_t inBytes) {
    const __m256i spread = _mm256_setr_epi32(0, 1, 2, 3, 3, 4, 5, 6);
    const __m256i evens = _mm256_setr_epi8(0, 1, 2, 6, 7, 8, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1,  //
                                           -1, -1, -1, -1, -1, -1, 0, 1, 2, 6, 7, 8, -1, -1, -1, -1);
    const __m256i odds = _mm256_setr_epi8(3, 4, 5, 9, 10, 11, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1,  //
                                          -1, -1, -1, -1, -1, -1, 3, 4, 5, 9, 10, 11, -1, -1, -1, -1);
    const __m256i gather = _mm256_setr_epi32(3, 5, 6, 3, 3, 3, 3, 3);
    std::size_t x = 0;
    // A step reads 32 bytes for the 24 it uses.
    for (; 6 * x + 32 <= inBytes; x += 4) {
        const __m256i pixels = _mm256_permutevar8x32_epi32(Load(in + 6 * x), spread);
        const __m256i means =
            _mm256_avg_epu8(_mm256_shuffle_epi8(pixels, evens), _mm256_shuffle_epi8(pixels, odds));
        const __m256i joined = _mm256_or_si256(means, _mm256_permutevar8x32_epi32(means, gather));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 3 * x), _mm256_castsi256_si128(joined));
    }
    return x;
}

// One step of the enlarging resample: 32 output bytes from the windows of one step's tables.
FLIPBOOK_AVX2 void ResampleStep(const std::uint8_t* at, const std::int32_t* starts, const std::uint8_t* picks,
                                const std::int16_t* weights, std::uint8_t* out) {
    const __m256i zero = _mm256_setzero_si256();
    const __m256i firstWindow = _mm256_loadu2_m128i(reinterpret_cast<const __m128i*>(at + starts[2]),
                                                    reinterpret_cast<const __m128i*>(at + starts[0]));
    const __m256i secondWindow = _mm256_loadu2_m128i(reinterpret_cast<const __m128i*>(at + starts[3]),
                                                     reinterpret_cast<const __m128i*>(at + starts[1]));
    const __m256i first = _mm256_shuffle_epi8(firstWindow, Load(picks));
    const __m256i second = _mm256_shuffle_epi8(secondWindow, Load(picks + 32));
    const __m256i low =
        LerpRounded(_mm256_unpacklo_epi8(first, zero), _mm256_unpacklo_epi8(second, zero), Load(weights));
    const __m256i high = LerpRounded(_mm256_unpackhi_epi8(first, zero), _mm256_unpackhi_epi8(second, zero),
                                     Load(weights + 16));
    Store(out, _mm256_packus_epi16(low, high));
}

// Enlarging: 32 output bytes a step from the windows MakeAxisTaps chose, each byte's first and second
// source bytes shuffled out of them and mixed.
FLIPBOOK_AVX2 void ResampleWindows(const std::uint8_t* in, std::uint8_t* out, const AxisTaps& taps) {
    // Held here: to the compiler the stores to out could be any of the tables' bytes.
    const std::size_t kept =
        taps.windowPeriod > 0 ? taps.windowLead + taps.windowPeriod : taps.windowBytes / 32;
    const std::size_t lead = taps.windowLead;
    const std::size_t bytes = taps.windowBytes;
    const std::int32_t shift = taps.windowShift;
    const std::int32_t* const allStarts = taps.windowStarts.data();
    const std::uint8_t* const allPicks = taps.windowPicks.data();
    const std::int16_t* const allWeights = taps.windowWeights.data();
    std::size_t step = 0;
    const std::uint8_t* row = in;
    for (std::size_t done = 0; done < bytes; done += 32) {
        const std::int32_t* starts = allStarts + 4 * step;
        const std::uint8_t* picks = allPicks + 64 * step;
        const std::int16_t* weights = allWeights + 32 * step;
        const std::uint8_t* at = row;
        if (++step == kept) {
            // Once round the period again, its windows that much further along the row.
            step = lead;
            row += shift;
        }
        ResampleStep(at, starts, picks, weights, out + done);
    }
    if (taps.windowEnd)
        ResampleStep(in, allStarts + 4 * kept, allPicks + 64 * kept, allWeights + 32 * kept,
                     out + 3 * taps.first.size() - 32);
}

FLIPBOOK_AVX2 void Resample(const std::uint8_t* in, std::uint8_t* out, const AxisTaps& taps) {
    if (taps.windowBytes > 0) {
        ResampleWindows(in, out, taps);
        for (std::size_t j = taps.windowEnd ? 3 * taps.first.size() : taps.windowBytes;
             j < 3 * taps.first.size(); ++j) {
            const std::size_t x = j / 3;
            const std::size_t channel = j % 3;
            const int w = taps.weight[x];
            out[j] = static_cast<std::uint8_t>(
                (in[3 * static_cast<std::size_t>(taps.first[x]) + channel] * (256 - w) +
                 in[3 * static_cast<std::size_t>(taps.second[x]) + channel] * w + 128) >>
                8);
        }
        return;
    }
    if (taps.halving) {
        const std::size_t done = Halve(in, out, 6 * taps.first.size());
        for (std::size_t x = done; x < taps.first.size(); ++x)
            for (std::size_t channel = 0; channel < 3; ++channel)
                out[3 * x + channel] =
                    static_cast<std::uint8_t>((in[6 * x + channel] + in[6 * x + 3 + channel] + 1) / 2);
        return;
    }
    const __m256i zero = _mm256_setzero_si256();
    const __m256i full = _mm256_set1_epi16(256);
    // The twelve colour bytes of four 4-byte pixels, in each 128-bit half.
    const __m256i pack = _mm256_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1,  //
                                          0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
    const int* source = reinterpret_cast<const int*>(in);
    std::size_t x = 0;
    for (; x + 8 <= static_cast<std::size_t>(taps.safeCount); x += 8) {
        const __m256i firstIndex = Load(taps.first.data() + x);
        const __m256i secondIndex = Load(taps.second.data() + x);
        // Four bytes at each pixel's offset: its colour and one byte of the next, dropped below.
        const __m256i first = _mm256_i32gather_epi32(
            source, _mm256_add_epi32(firstIndex, _mm256_add_epi32(firstIndex, firstIndex)), 1);
        const __m256i second = _mm256_i32gather_epi32(
            source, _mm256_add_epi32(secondIndex, _mm256_add_epi32(secondIndex, secondIndex)), 1);
        const __m256i weight32 =
            _mm256_cvtepu16_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(taps.weight.data() + x)));
        const __m256i weightPairs = _mm256_or_si256(weight32, _mm256_slli_epi32(weight32, 16));
        const __m256i weightLow = _mm256_unpacklo_epi32(weightPairs, weightPairs);
        const __m256i weightHigh = _mm256_unpackhi_epi32(weightPairs, weightPairs);
        const __m256i low = Lerp16(_mm256_unpacklo_epi8(first, zero), _mm256_unpacklo_epi8(second, zero),
                                   _mm256_sub_epi16(full, weightLow), weightLow);
        const __m256i high = Lerp16(_mm256_unpackhi_epi8(first, zero), _mm256_unpackhi_epi8(second, zero),
                                    _mm256_sub_epi16(full, weightHigh), weightHigh);
        const __m256i packed = _mm256_shuffle_epi8(_mm256_packus_epi16(low, high), pack);
        // The second store overwrites the first's four spare bytes.
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 3 * x), _mm256_castsi256_si128(packed));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 3 * x + 12), _mm256_extracti128_si256(packed, 1));
    }
    for (; x < taps.first.size(); ++x) {
        const std::uint8_t* first = in + 3 * static_cast<std::size_t>(taps.first[x]);
        const std::uint8_t* second = in + 3 * static_cast<std::size_t>(taps.second[x]);
        const int w = taps.weight[x];
        for (int channel = 0; channel < 3; ++channel)
            out[3 * x + static_cast<std::size_t>(channel)] =
                static_cast<std::uint8_t>((first[channel] * (256 - w) + second[channel] * w + 128) >> 8);
    }
}

FLIPBOOK_AVX2 void Expand(const std::uint8_t* in, std::uint32_t* out, std::size_t pixels, bool mirrored) {
    const __m256i alpha = _mm256_set1_epi32(static_cast<int>(0xFF000000u));
    const __m256i forward = _mm256_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1,  //
                                             0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1);
    const __m256i backward = _mm256_setr_epi8(9, 10, 11, -1, 6, 7, 8, -1, 3, 4, 5, -1, 0, 1, 2, -1,  //
                                              9, 10, 11, -1, 6, 7, 8, -1, 3, 4, 5, -1, 0, 1, 2, -1);
    std::size_t x = 0;
    // Eight pixels read 28 bytes.
    for (; 3 * x + 28 <= 3 * pixels; x += 8) {
        const __m128i front = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 3 * x));
        const __m128i back = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 3 * x + 12));
        if (mirrored) {
            const __m256i pixels8 = _mm256_set_m128i(front, back);
            Store(out + pixels - 8 - x, _mm256_or_si256(_mm256_shuffle_epi8(pixels8, backward), alpha));
        } else {
            const __m256i pixels8 = _mm256_set_m128i(back, front);
            Store(out + x, _mm256_or_si256(_mm256_shuffle_epi8(pixels8, forward), alpha));
        }
    }
    if (mirrored) {
        Tail().expand(in + 3 * x, out, pixels - x, true);
    } else {
        Tail().expand(in + 3 * x, out + x, pixels - x, false);
    }
}

// Eight pixels of a 24-bit row as eight 32-bit words (blue, green, red, 0), from 28 bytes.
FLIPBOOK_AVX2 __m256i Spread(const std::uint8_t* in) {
    const __m256i forward = _mm256_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1,  //
                                             0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1);
    const __m256i pixels = _mm256_set_m128i(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 12)),
                                            _mm_loadu_si128(reinterpret_cast<const __m128i*>(in)));
    return _mm256_shuffle_epi8(pixels, forward);
}

// The same from the 28 bytes ending with the eighth pixel: for a row's last eight pixels.
FLIPBOOK_AVX2 __m256i SpreadEnding(const std::uint8_t* in) {
    const __m256i forward = _mm256_setr_epi8(4, 5, 6, -1, 7, 8, 9, -1, 10, 11, 12, -1, 13, 14, 15, -1,  //
                                             4, 5, 6, -1, 7, 8, 9, -1, 10, 11, 12, -1, 13, 14, 15, -1);
    const __m256i pixels = _mm256_set_m128i(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 8)),
                                            _mm_loadu_si128(reinterpret_cast<const __m128i*>(in - 4)));
    return _mm256_shuffle_epi8(pixels, forward);
}

// The 2 x 2 means of sixteen pixels of two rows as eight 32-bit words, from 56 bytes of each row. Each
// 128-bit half of a vertical mean holds four pixels; their horizontal pairs go to two words of the
// result, the first eight pixels' to words 0, 1, 4, 5 and the next eight's to 2, 3, 6, 7, which a
// qword permute puts in order.
FLIPBOOK_AVX2 __m256i HalveSpread(const std::uint8_t* upper, const std::uint8_t* lower) {
    const __m256i halves = _mm256_setr_epi32(0, 1, 2, 3, 3, 4, 5, 6);
    const __m256i evensLow = _mm256_setr_epi8(0, 1, 2, -1, 6, 7, 8, -1, -1, -1, -1, -1, -1, -1, -1, -1,  //
                                              0, 1, 2, -1, 6, 7, 8, -1, -1, -1, -1, -1, -1, -1, -1, -1);
    const __m256i oddsLow = _mm256_setr_epi8(3, 4, 5, -1, 9, 10, 11, -1, -1, -1, -1, -1, -1, -1, -1, -1,  //
                                             3, 4, 5, -1, 9, 10, 11, -1, -1, -1, -1, -1, -1, -1, -1, -1);
    const __m256i evensHigh = _mm256_setr_epi8(-1, -1, -1, -1, -1, -1, -1, -1, 0, 1, 2, -1, 6, 7, 8, -1,  //
                                               -1, -1, -1, -1, -1, -1, -1, -1, 0, 1, 2, -1, 6, 7, 8, -1);
    const __m256i oddsHigh = _mm256_setr_epi8(-1, -1, -1, -1, -1, -1, -1, -1, 3, 4, 5, -1, 9, 10, 11, -1,  //
                                              -1, -1, -1, -1, -1, -1, -1, -1, 3, 4, 5, -1, 9, 10, 11, -1);
    const __m256i first = _mm256_permutevar8x32_epi32(_mm256_avg_epu8(Load(upper), Load(lower)), halves);
    const __m256i second =
        _mm256_permutevar8x32_epi32(_mm256_avg_epu8(Load(upper + 24), Load(lower + 24)), halves);
    const __m256i evens =
        _mm256_or_si256(_mm256_shuffle_epi8(first, evensLow), _mm256_shuffle_epi8(second, evensHigh));
    const __m256i odds =
        _mm256_or_si256(_mm256_shuffle_epi8(first, oddsLow), _mm256_shuffle_epi8(second, oddsHigh));
    return _mm256_permute4x64_epi64(_mm256_avg_epu8(evens, odds), 0xD8);
}

// The mix and the difference as above, on bytes or on spread pixels, whose zero fourth bytes stay zero.
// Halfway, the mix's rounded-up (a 50 + b 50) / 100 is the byte average, one instruction for eleven;
// it is the weight the view starts with.
template <Combine combine, bool halfway = false>
FLIPBOOK_AVX2 __m256i CombineWith(__m256i live, __m256i reference, __m256i weights) {
    if constexpr (combine == Combine::Mix && halfway) {
        return _mm256_avg_epu8(live, reference);
    } else if constexpr (combine == Combine::Mix) {
        const __m256i low = DivideBy100(_mm256_maddubs_epi16(_mm256_unpacklo_epi8(live, reference), weights));
        const __m256i high =
            DivideBy100(_mm256_maddubs_epi16(_mm256_unpackhi_epi8(live, reference), weights));
        return _mm256_packus_epi16(low, high);
    } else if constexpr (combine == Combine::Difference) {
        __m256i distance =
            _mm256_or_si256(_mm256_subs_epu8(live, reference), _mm256_subs_epu8(reference, live));
        distance = _mm256_adds_epu8(distance, distance);
        return _mm256_adds_epu8(distance, distance);
    } else {
        return live;
    }
}

// How the live row is made of two rows enlarging (ComposeInput::next): not at all, their byte
// average (weight 128, one instruction), or the rounded multiply of a weight below 128 (above it, the
// rows swap and the weight is 256 - w, which gives the same bytes).
enum class Vertical { None, Half, Weighted };

// With w below 128, (a (256 - w) + b w + 128) >> 8 = a + d for d = floor(((b - a) w + 128) / 256):
// the byte pairs (a, b) times (-w, w) give (b - a) w exactly, the rounded high half of its product
// with 128 gives d, which lies in -127..127 and so packs to signed bytes, and a + d wraps to the
// right byte. Half the byte unpacking of the 16-bit mix.
template <Vertical vertical>
FLIPBOOK_AVX2 __m256i VerticalMix(__m256i live, __m256i next, __m256i pairWeights) {
    if constexpr (vertical == Vertical::Half) {
        return _mm256_avg_epu8(live, next);
    } else if constexpr (vertical == Vertical::Weighted) {
        const __m256i round = _mm256_set1_epi16(128);
        const __m256i low =
            _mm256_mulhrs_epi16(_mm256_maddubs_epi16(_mm256_unpacklo_epi8(live, next), pairWeights), round);
        const __m256i high =
            _mm256_mulhrs_epi16(_mm256_maddubs_epi16(_mm256_unpackhi_epi8(live, next), pairWeights), round);
        return _mm256_add_epi8(live, _mm256_packs_epi16(low, high));
    } else {
        return live;
    }
}

ComposeInput Advanced(ComposeInput input, std::size_t pixels) {
    input.live += (input.lower != nullptr ? 6 : 3) * pixels;
    if (input.lower != nullptr) input.lower += 6 * pixels;
    if (input.next != nullptr) input.next += 3 * pixels;
    if (input.combine != Combine::Copy) input.reference += 3 * pixels;
    return input;
}

// The screen image is painted long after it is written and is larger than the caches it would
// evict, so its rows are written past them, in aligned 32-byte stores; the pixels before the first
// aligned store go to the portable kernel.
// How far ahead of the mix the reference is fetched, in bytes.
constexpr std::uintptr_t kReferenceAhead = 512;

template <Combine combine, bool halving, bool halfway, Vertical vertical>
FLIPBOOK_AVX2 void ComposeRow(const ComposeInput& whole, std::uint32_t* out, std::size_t pixels,
                              bool mirrored) {
    const auto address = reinterpret_cast<std::uintptr_t>(mirrored ? out + pixels : out);
    const std::size_t head =
        std::min(pixels, (mirrored ? address % 32 : (32 - address % 32) % 32) / sizeof(std::uint32_t));
    const __m256i alpha = _mm256_set1_epi32(static_cast<int>(0xFF000000u));
    const __m256i reverse = _mm256_setr_epi32(7, 6, 5, 4, 3, 2, 1, 0);
    const __m256i weights = _mm256_set1_epi16(static_cast<short>(whole.weight << 8 | (100 - whole.weight)));
    // (-w, w) as signed bytes, for the pairs (live, next).
    const __m256i nextWeight =
        _mm256_set1_epi16(static_cast<short>(whole.nextWeight << 8 | (256 - whole.nextWeight)));
    constexpr std::size_t kLiveBytes = halving ? 6 : 3;
    // Eight pixels read 56 bytes of each halved row, 28 of a row at screen size.
    constexpr std::size_t kReach = halving ? 56 : 28;
    // Up to eight pixels, the first of `part`, at `at` in memory order, by the vector step; `part`'s
    // rows are read up to the step's reach.
    const auto step = [&](const ComposeInput& part, std::uint32_t* at, std::size_t count) FLIPBOOK_AVX2 {
        __m256i shown = halving ? HalveSpread(part.live, part.lower) : Spread(part.live);
        if constexpr (vertical != Vertical::None)
            shown = VerticalMix<vertical>(shown, Spread(part.next), nextWeight);
        if constexpr (combine != Combine::Copy)
            shown = CombineWith<combine, halfway>(shown, Spread(part.reference), weights);
        shown = _mm256_or_si256(shown, alpha);
        if (mirrored) shown = _mm256_permutevar8x32_epi32(shown, reverse);
        alignas(32) std::uint32_t pixels8[8];
        _mm256_store_si256(reinterpret_cast<__m256i*>(pixels8), shown);
        std::memcpy(at, mirrored ? pixels8 + 8 - count : pixels8, count * sizeof(std::uint32_t));
    };
    // The same on copies of their bytes, which reads nothing past the rows and costs far less than the
    // portable kernel's per-byte mix.
    const auto few = [&](const ComposeInput& part, std::uint32_t* at, std::size_t count) FLIPBOOK_AVX2 {
        if (count == 0) return;
        alignas(32) std::uint8_t live[64] = {};
        alignas(32) std::uint8_t lower[64] = {};
        alignas(32) std::uint8_t next[32] = {};
        alignas(32) std::uint8_t reference[32] = {};
        std::memcpy(live, part.live, kLiveBytes * count);
        if constexpr (halving) std::memcpy(lower, part.lower, kLiveBytes * count);
        if constexpr (vertical != Vertical::None) std::memcpy(next, part.next, 3 * count);
        if constexpr (combine != Combine::Copy) std::memcpy(reference, part.reference, 3 * count);
        ComposeInput copied = part;
        copied.live = live;
        copied.lower = lower;
        copied.next = next;
        copied.reference = reference;
        step(copied, at, count);
    };
    // The head reads within rows of ten pixels or more in place: copied bytes read back wider than
    // they were written wait for the copies to reach the cache.
    if (head > 0 && pixels >= 10) {
        step(whole, mirrored ? out + pixels - head : out, head);
    } else {
        few(whole, mirrored ? out + pixels - head : out, head);
    }
    const ComposeInput input = Advanced(whole, head);
    if (!mirrored) out += head;
    const std::size_t rowPixels = pixels;
    pixels -= head;
    const auto put = [&](std::size_t at, __m256i shown) FLIPBOOK_AVX2 {
        shown = _mm256_or_si256(shown, alpha);
        if (mirrored) {
            _mm256_stream_si256(reinterpret_cast<__m256i*>(out + pixels - 8 - at),
                                _mm256_permutevar8x32_epi32(shown, reverse));
        } else {
            _mm256_stream_si256(reinterpret_cast<__m256i*>(out + at), shown);
        }
    };
    std::size_t x = 0;
    if constexpr (!halving) {
        // At screen size, combined as the bytes come, in whole vectors, and then spread.
        for (; 3 * x + 96 <= 3 * pixels; x += 32) {
            if constexpr (combine != Combine::Copy) {
                // The reference comes from memory, competing with the streamed screen rows: asked for
                // well ahead (into the next row, the rows lying one after another), it is there in time.
                const auto ahead =
                    reinterpret_cast<std::uintptr_t>(input.reference + 3 * x) + kReferenceAhead;
                _mm_prefetch(reinterpret_cast<const char*>(ahead), _MM_HINT_T0);
                _mm_prefetch(reinterpret_cast<const char*>(ahead + 64), _MM_HINT_T0);
            }
            __m256i bytes[3];
            for (std::size_t part = 0; part < 3; ++part) {
                bytes[part] = Load(input.live + 3 * x + 32 * part);
                if constexpr (vertical != Vertical::None)
                    bytes[part] =
                        VerticalMix<vertical>(bytes[part], Load(input.next + 3 * x + 32 * part), nextWeight);
                if constexpr (combine != Combine::Copy)
                    bytes[part] = CombineWith<combine, halfway>(
                        bytes[part], Load(input.reference + 3 * x + 32 * part), weights);
            }
            __m256i spread[4];
            Spread32(bytes, spread);
            for (std::size_t part = 0; part < 4; ++part) put(x + 8 * part, spread[part]);
        }
    }
    for (; kLiveBytes * x + kReach <= kLiveBytes * pixels; x += 8) {
        __m256i live =
            halving ? HalveSpread(input.live + 6 * x, input.lower + 6 * x) : Spread(input.live + 3 * x);
        if constexpr (vertical != Vertical::None)
            live = VerticalMix<vertical>(live, Spread(input.next + 3 * x), nextWeight);
        __m256i shown = live;
        if constexpr (combine != Combine::Copy)
            shown = CombineWith<combine, halfway>(live, Spread(input.reference + 3 * x), weights);
        put(x, shown);
    }
    // Later plain stores, from this thread or the painting one, must not pass the streamed ones.
    _mm_sfence();
    if constexpr (!halving) {
        // At screen size the last pixels come from the row's last eight, read back from its end, their
        // first ones written again with the same values.
        if (x < pixels && pixels >= 8 && rowPixels >= 10) {
            // The vector steps leave up to nine.
            if (pixels - x > 8) {
                const std::size_t before = pixels - x - 8;
                few(Advanced(input, x), mirrored ? out + pixels - x - before : out + x, before);
                x += before;
            }
            const std::size_t count = pixels - x;
            const ComposeInput last = Advanced(input, pixels - 8);
            __m256i shown = SpreadEnding(last.live);
            if constexpr (vertical != Vertical::None)
                shown = VerticalMix<vertical>(shown, SpreadEnding(last.next), nextWeight);
            if constexpr (combine != Combine::Copy)
                shown = CombineWith<combine, halfway>(shown, SpreadEnding(last.reference), weights);
            shown = _mm256_or_si256(shown, alpha);
            if (mirrored) shown = _mm256_permutevar8x32_epi32(shown, reverse);
            alignas(32) std::uint32_t pixels8[8];
            _mm256_store_si256(reinterpret_cast<__m256i*>(pixels8), shown);
            std::memcpy(mirrored ? out : out + x, mirrored ? pixels8 : pixels8 + 8 - count,
                        count * sizeof(std::uint32_t));
            x = pixels;
        }
    }
    for (; x < pixels; x += 8) {
        const std::size_t count = std::min<std::size_t>(8, pixels - x);
        few(Advanced(input, x), mirrored ? out + pixels - x - count : out + x, count);
    }
}

template <bool halving, Vertical vertical = Vertical::None>
FLIPBOOK_AVX2 void ComposeAs(const ComposeInput& input, std::uint32_t* out, std::size_t pixels,
                             bool mirrored) {
    switch (input.combine) {
        case Combine::Mix:
            if (input.weight == 50)
                return ComposeRow<Combine::Mix, halving, true, vertical>(input, out, pixels, mirrored);
            return ComposeRow<Combine::Mix, halving, false, vertical>(input, out, pixels, mirrored);
        case Combine::Difference:
            return ComposeRow<Combine::Difference, halving, false, vertical>(input, out, pixels, mirrored);
        case Combine::Copy:
            return ComposeRow<Combine::Copy, halving, false, vertical>(input, out, pixels, mirrored);
    }
}

FLIPBOOK_AVX2 void Compose(const ComposeInput& whole, std::uint32_t* out, std::size_t pixels, bool mirrored) {
    if (whole.lower != nullptr) return ComposeAs<true>(whole, out, pixels, mirrored);
    if (whole.next == nullptr) return ComposeAs<false>(whole, out, pixels, mirrored);
    // A weight of 0 or 256 is one of the two rows alone.
    ComposeInput input = whole;
    if (input.nextWeight <= 0 || input.nextWeight >= 256) {
        if (input.nextWeight >= 256) input.live = input.next;
        input.next = nullptr;
        return ComposeAs<false>(input, out, pixels, mirrored);
    }
    if (input.nextWeight == 128) return ComposeAs<false, Vertical::Half>(input, out, pixels, mirrored);
    if (input.nextWeight > 128) {
        std::swap(input.live, input.next);
        input.nextWeight = 256 - input.nextWeight;
    }
    ComposeAs<false, Vertical::Weighted>(input, out, pixels, mirrored);
}

FLIPBOOK_AVX2 void Average(std::uint32_t* pixels, std::size_t count, __m256i with) {
    const __m256i alpha = _mm256_set1_epi32(static_cast<int>(0xFF000000u));
    for (std::size_t i = 0; i + 8 <= count; i += 8)
        Store(pixels + i, _mm256_or_si256(_mm256_avg_epu8(Load(pixels + i), with), alpha));
}

FLIPBOOK_AVX2 void Lighten(std::uint32_t* pixels, std::size_t count) {
    // (p + 255 + 1) / 2 = p / 2 + 128.
    Average(pixels, count, _mm256_set1_epi8(-1));
    const std::size_t done = count / 8 * 8;
    Tail().lighten(pixels + done, count - done);
}

FLIPBOOK_AVX2 void Darken(std::uint32_t* pixels, std::size_t count) {
    Average(pixels, count, _mm256_setzero_si256());
    const std::size_t done = count / 8 * 8;
    Tail().darken(pixels + done, count - done);
}

constexpr ViewRowKernels kAvx2{Mix, Difference, LerpRow, Resample, Expand, Compose, Lighten, Darken};

}  // namespace

const ViewRowKernels& Avx2ViewRows() {
    return kAvx2;
}

}  // namespace flipbook::effects_detail
