// SPDX-License-Identifier: GPL-3.0-or-later
#include "effects/histogram.h"

#include <bit>
#include <string>

#include "effects/instruction_sets.h"

#include "platform/core/exception.h"
#include "platform/graphics/bitmap.h"

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace flipbook {

namespace {

// Neighbouring pixels of a camera frame mostly share their levels, and an increment of a counter
// waits for the one before it of the same counter; pixels taken in turn by four sets of counters,
// added up at the end, seldom wait.
struct Counters {
    std::array<std::array<std::uint32_t, 256>, 4> luma{}, red{}, green{}, blue{};
    std::uint32_t high = 0;
    std::uint32_t low = 0;

    void Count(const std::uint8_t* pixel, std::size_t set) {
        const std::uint8_t b = pixel[0];
        const std::uint8_t g = pixel[1];
        const std::uint8_t r = pixel[2];
        ++blue[set][b];
        ++green[set][g];
        ++red[set][r];
        ++luma[set][Luma(r, g, b)];
        high += (b == 255) | (g == 255) | (r == 255);
        low += (b | g | r) == 0;
    }
};

#if defined(__x86_64__)
#define FLIPBOOK_AVX2 __attribute__((target("avx2")))

// Eight sampled pixels counted in turn into the four sets. Blue and green come as eight levels a word,
// lowest first, taken apart in registers; red and luma are read back as bytes from where they were
// stored. Half the indices each way keeps the arithmetic units and the loads equally busy.
FLIPBOOK_AVX2 inline void CountEight(Counters& counters, std::uint64_t blue, std::uint64_t green,
                                     const std::uint8_t* red, const std::uint8_t* luma) {
    for (std::size_t i = 0; i < 8; ++i) {
        const std::size_t set = i % 4;
        ++counters.blue[set][blue & 255];
        ++counters.green[set][green & 255];
        ++counters.red[set][red[i]];
        ++counters.luma[set][luma[i]];
        blue >>= 8;
        green >>= 8;
    }
}

FLIPBOOK_AVX2 __m256i LoadHalves(const std::uint8_t* low, const std::uint8_t* high) {
    return _mm256_inserti128_si256(
        _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(low))),
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(high)), 1);
}

// The sampled pixels of a row, sixteen at a time from 96 bytes (32 pixels, every second one sampled),
// as long as those bytes lie in the row. Each 128-bit half takes eight of them from its 48 bytes: the
// shuffles gather blue and green side by side and red alone, the luma is worked out for all sixteen at
// once in 16 bits, and only the increments of the counters are done one by one. Returns the sampled
// pixels counted.
FLIPBOOK_AVX2 std::size_t CountRowAvx2(const std::uint8_t* row, std::size_t pixels, Counters& counters) {
    // Where blue (bytes 0..7) and green (8..15), and red (0..7), of pixels 0, 6, ..., 42 of 48 bytes come
    // from in each 16 of them; -1 gives a zero, so the three shuffled parts are put together by or.
    const __m256i blueGreen0 = _mm256_broadcastsi128_si256(
        _mm_setr_epi8(0, 6, 12, -1, -1, -1, -1, -1, 1, 7, 13, -1, -1, -1, -1, -1));
    const __m256i blueGreen1 = _mm256_broadcastsi128_si256(
        _mm_setr_epi8(-1, -1, -1, 2, 8, 14, -1, -1, -1, -1, -1, 3, 9, 15, -1, -1));
    const __m256i blueGreen2 = _mm256_broadcastsi128_si256(
        _mm_setr_epi8(-1, -1, -1, -1, -1, -1, 4, 10, -1, -1, -1, -1, -1, -1, 5, 11));
    const __m256i red0 = _mm256_broadcastsi128_si256(
        _mm_setr_epi8(2, 8, 14, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1));
    const __m256i red1 = _mm256_broadcastsi128_si256(
        _mm_setr_epi8(-1, -1, -1, 4, 10, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1));
    const __m256i red2 = _mm256_broadcastsi128_si256(
        _mm_setr_epi8(-1, -1, -1, -1, -1, 0, 6, 12, -1, -1, -1, -1, -1, -1, -1, -1));
    // 29 blue + 77 red in one multiply-add of byte pairs (at most 27030); green's 150 does not fit a
    // signed byte and is multiplied in 16 bits. The whole stays below 2^16.
    const __m256i blueRedWeights = _mm256_set1_epi16(static_cast<short>(77 << 8 | 29));
    const __m256i greenWeight = _mm256_set1_epi16(150);
    const __m256i half = _mm256_set1_epi16(128);
    const __m256i zero = _mm256_setzero_si256();
    const __m256i full = _mm256_set1_epi8(-1);
    std::uint32_t high = 0;
    std::uint32_t low = 0;
    std::size_t column = 0;
    for (; 2 * (column + 16) <= pixels; column += 16) {
        const std::uint8_t* at = row + 6 * column;
        const __m256i a = LoadHalves(at, at + 48);
        const __m256i b = LoadHalves(at + 16, at + 64);
        const __m256i c = LoadHalves(at + 32, at + 80);
        const __m256i blueGreen = _mm256_or_si256(
            _mm256_or_si256(_mm256_shuffle_epi8(a, blueGreen0), _mm256_shuffle_epi8(b, blueGreen1)),
            _mm256_shuffle_epi8(c, blueGreen2));
        const __m256i red =
            _mm256_or_si256(_mm256_or_si256(_mm256_shuffle_epi8(a, red0), _mm256_shuffle_epi8(b, red1)),
                            _mm256_shuffle_epi8(c, red2));
        const __m256i blueRed = _mm256_maddubs_epi16(_mm256_unpacklo_epi8(blueGreen, red), blueRedWeights);
        const __m256i green = _mm256_mullo_epi16(_mm256_unpackhi_epi8(blueGreen, zero), greenWeight);
        const __m256i luma16 = _mm256_srli_epi16(_mm256_add_epi16(_mm256_add_epi16(blueRed, green), half), 8);
        // Luma of pixels 0..7 in bytes 0..7 of the low half, 8..15 in the high half.
        const __m256i luma = _mm256_packus_epi16(luma16, luma16);

        // Bytes 0..7 of each half: a channel at 255, or all at 0. Green's flags are moved down beside
        // blue's; the upper bytes of each half hold green or nothing and are masked out of the count.
        const __m256i greenDown = _mm256_bsrli_epi128(blueGreen, 8);
        const __m256i any255 = _mm256_or_si256(
            _mm256_or_si256(_mm256_cmpeq_epi8(blueGreen, full), _mm256_cmpeq_epi8(greenDown, full)),
            _mm256_cmpeq_epi8(red, full));
        const __m256i allZero =
            _mm256_cmpeq_epi8(_mm256_or_si256(_mm256_or_si256(blueGreen, greenDown), red), zero);
        constexpr std::uint32_t kFirstEight = 0x00FF00FFu;
        high += static_cast<std::uint32_t>(
            std::popcount(static_cast<std::uint32_t>(_mm256_movemask_epi8(any255)) & kFirstEight));
        low += static_cast<std::uint32_t>(
            std::popcount(static_cast<std::uint32_t>(_mm256_movemask_epi8(allZero)) & kFirstEight));

        // Red and luma of pixels 0..7 in bytes 0..7, of 8..15 in bytes 16..23.
        alignas(32) std::uint8_t redLuma[64];
        _mm256_store_si256(reinterpret_cast<__m256i*>(redLuma), red);
        _mm256_store_si256(reinterpret_cast<__m256i*>(redLuma + 32), luma);
        // The compiler would take the bytes out of the vectors one by one, two operations each; hiding
        // where they are makes it load them, which costs one.
        const std::uint8_t* stored = redLuma;
        asm("" : "+r"(stored));
        const __m128i blueGreenLow = _mm256_castsi256_si128(blueGreen);
        const __m128i blueGreenHigh = _mm256_extracti128_si256(blueGreen, 1);
        CountEight(counters, static_cast<std::uint64_t>(_mm_cvtsi128_si64(blueGreenLow)),
                   static_cast<std::uint64_t>(_mm_extract_epi64(blueGreenLow, 1)), stored, stored + 32);
        CountEight(counters, static_cast<std::uint64_t>(_mm_cvtsi128_si64(blueGreenHigh)),
                   static_cast<std::uint64_t>(_mm_extract_epi64(blueGreenHigh, 1)), stored + 16, stored + 48);
    }
    counters.high += high;
    counters.low += low;
    return column;
}
#endif

}  // namespace

Histogram MeasureHistogram(const FrameRows& frame) {
    Histogram histogram;
    if (frame.width <= 0 || frame.height <= 0) return histogram;
    Counters counters;
    const auto columns = static_cast<std::size_t>(frame.width + 1) / 2;
#if defined(__x86_64__)
    const bool avx2 = ActiveInstructionSet() >= InstructionSet::Avx2;
#endif
    for (int y = 0; y < frame.height; y += 2) {
        const int memoryRow = frame.topDown ? y : frame.height - 1 - y;
        const std::uint8_t* row = frame.pixels + static_cast<std::size_t>(memoryRow) * frame.rowStride;
        std::size_t column = 0;
#if defined(__x86_64__)
        if (avx2) column = CountRowAvx2(row, static_cast<std::size_t>(frame.width), counters);
#endif
        for (; column + 4 <= columns; column += 4)
            for (std::size_t set = 0; set < 4; ++set) counters.Count(row + 6 * (column + set), set);
        for (; column < columns; ++column) counters.Count(row + 6 * column, 0);
    }
    for (std::size_t level = 0; level < 256; ++level) {
        for (std::size_t set = 0; set < 4; ++set) {
            histogram.luma[level] += counters.luma[set][level];
            histogram.red[level] += counters.red[set][level];
            histogram.green[level] += counters.green[set][level];
            histogram.blue[level] += counters.blue[set][level];
        }
    }
    histogram.clippedHigh = counters.high;
    histogram.clippedLow = counters.low;
    const auto rows = (static_cast<std::size_t>(frame.height) + 1) / 2;
    histogram.sampled = static_cast<std::uint32_t>(columns * rows);
    return histogram;
}

void MarkClippedPixels(const FrameRows& frame, Bitmap& display) {
    if (display.BitsPerPixel() != 24 || display.Width() != frame.width || display.Height() != frame.height)
        throw Exception("Clipped pixels are marked on a 24-bit copy of the frame's size");
    // A display without a clipped pixel is not written, and so not counted as changed.
    std::uint8_t* displayPixels = nullptr;
    for (int y = 0; y < frame.height; ++y) {
        const int memoryRow = frame.topDown ? y : frame.height - 1 - y;
        const std::uint8_t* row = frame.pixels + static_cast<std::size_t>(memoryRow) * frame.rowStride;
        for (int x = 0; x < frame.width; ++x) {
            const std::uint8_t* pixel = row + 3 * x;
            const Clipping clipping = ClippingOf(pixel[0], pixel[1], pixel[2]);
            if (clipping == Clipping::None) continue;
            if (displayPixels == nullptr) displayPixels = display.MutablePixels();
            std::uint8_t* shown =
                displayPixels +
                static_cast<std::size_t>(display.TopDown() ? y : frame.height - 1 - y) * display.RowStride();
            const std::uint32_t mark = ClippingMark(clipping, x, y);
            shown[3 * x] = static_cast<std::uint8_t>(mark);
            shown[3 * x + 1] = static_cast<std::uint8_t>(mark >> 8);
            shown[3 * x + 2] = static_cast<std::uint8_t>(mark >> 16);
        }
    }
}

void MarkClippedRow(const std::uint8_t* source, std::uint32_t* shown, std::size_t pixels, int y,
                    bool mirrored) {
    for (std::size_t x = 0; x < pixels; ++x) {
        const std::uint8_t* pixel = source + 3 * x;
        const Clipping clipping = ClippingOf(pixel[0], pixel[1], pixel[2]);
        if (clipping == Clipping::None) continue;
        const std::size_t at = mirrored ? pixels - 1 - x : x;
        shown[at] = ClippingMark(clipping, static_cast<int>(at), y);
    }
}

}  // namespace flipbook
